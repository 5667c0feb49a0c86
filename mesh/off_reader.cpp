// OFF, read by hand: CGAL's OFF reader converts a face's corner count, read
// from the file as a double, straight to an unsigned size (undefined for a
// negative or huge count) and sizes its arrays from the header's counts, so a
// hostile file is not safe in it. The format is one keyword line, the counts,
// then one line per vertex and one per face; '#' starts a comment.
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "mesh/import_readers.h"

namespace plumfold::detail {
namespace {

// The file's lines with comments removed, as white-space-separated tokens;
// lines with no tokens are skipped.
class OffLines {
public:
    explicit OffLines(std::string_view bytes) : bytes_(bytes) {}

    bool next(std::vector<std::string>& tokens) {
        tokens.clear();
        while (tokens.empty() && at_ < bytes_.size()) {
            size_t end = bytes_.find('\n', at_);
            if (end == std::string_view::npos) end = bytes_.size();
            std::string_view line = bytes_.substr(at_, end - at_);
            at_ = end + 1;
            line = line.substr(0, line.find('#'));
            for (size_t i = 0; i < line.size();) {
                while (i < line.size() && isSpace(line[i])) ++i;
                const size_t start = i;
                while (i < line.size() && !isSpace(line[i])) ++i;
                if (i > start) tokens.emplace_back(line.substr(start, i - start));
            }
        }
        return !tokens.empty();
    }
    size_t bytesLeft() const { return at_ < bytes_.size() ? bytes_.size() - at_ : 0; }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
    std::string_view bytes_;
    size_t at_ = 0;
};

bool wholeNumber(const std::string& token, long long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(token.c_str(), &end, 10);
    return *end == '\0' && errno == 0;
}

bool realNumber(const std::string& token, double& value) {
    char* end = nullptr;
    value = std::strtod(token.c_str(), &end);
    return *end == '\0' && !token.empty();
}

}  // namespace

std::string readOffSoup(std::string_view bytes, PolygonSoup& soup) {
    OffLines lines(bytes);
    std::vector<std::string> tokens;
    lines.next(tokens);
    // [ST][C][N][4]OFF: texture, colour and normal entries follow the
    // coordinates and are not needed; 4OFF gives a homogeneous w.
    const std::string keyword = tokens.empty() ? "" : tokens[0];
    if (keyword.find("BINARY") != std::string::npos || (tokens.size() > 1 && tokens[1] == "BINARY"))
        return "binary OFF is not supported; export it as ASCII OFF, PLY or STL";
    if (keyword.find('n') != std::string::npos) return "n-dimensional OFF (nOFF) is not supported; export 3-D OFF";
    const bool homogeneous = keyword.find('4') != std::string::npos;
    tokens.erase(tokens.begin());  // the counts may follow the keyword on its line
    if (tokens.empty()) lines.next(tokens);
    long long vertices = 0, faces = 0;
    if (tokens.size() < 2 || !wholeNumber(tokens[0], vertices) || !wholeNumber(tokens[1], faces) || vertices < 0 ||
        faces < 0)
        return "the OFF header needs the vertex and face counts after the keyword; export it again";
    // A vertex line takes at least 6 bytes ("0 0 0\n") and a face line 8.
    if (static_cast<unsigned long long>(vertices) > bytes.size() / 6 ||
        static_cast<unsigned long long>(faces) > bytes.size() / 8)
        return "the header states " + std::to_string(vertices) + " vertices and " + std::to_string(faces) +
               " faces, more than " + std::to_string(bytes.size()) + " bytes can hold; correct the counts";

    soup.points.reserve(3 * static_cast<size_t>(vertices));
    for (long long v = 0; v < vertices; ++v) {
        double x[4] = {0, 0, 0, 1};
        const size_t wanted = homogeneous ? 4 : 3;
        if (!lines.next(tokens) || tokens.size() < wanted)
            return "vertex " + std::to_string(v) + " is missing or has fewer than " + std::to_string(wanted) +
                   " coordinates; export it again";
        for (size_t k = 0; k < wanted; ++k)
            if (!realNumber(tokens[k], x[k]))
                return "vertex " + std::to_string(v) + " has \"" + tokens[k].substr(0, 40) + "\" for a coordinate";
        for (int k = 0; k < 3; ++k) soup.points.push_back(x[k] / x[3]);
    }
    soup.polygons.reserve(static_cast<size_t>(faces));
    for (long long f = 0; f < faces; ++f) {
        long long corners = 0;
        if (!lines.next(tokens) || !wholeNumber(tokens[0], corners) || corners < 0 ||
            static_cast<unsigned long long>(corners) > tokens.size() - 1)
            return "face " + std::to_string(f) + " is missing or lists fewer corners than its count; export it again";
        std::vector<int32_t>& polygon = soup.polygons.emplace_back();
        for (long long k = 1; k <= corners; ++k) {
            long long index = 0;
            if (!wholeNumber(tokens[static_cast<size_t>(k)], index))
                return "face " + std::to_string(f) + " has \"" + tokens[static_cast<size_t>(k)].substr(0, 40) +
                       "\" for a corner";
            polygon.push_back(index >= 0 && index <= INT32_MAX ? static_cast<int32_t>(index) : -1);
        }
    }
    return "";
}

}  // namespace plumfold::detail
