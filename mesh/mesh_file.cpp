#include "mesh/mesh_file.h"

#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace plumfold {

namespace {

// A failed read, carrying the line the program prints. Thrown only inside this
// file and caught by readMeshFile, so a failure deep in a pass needs no error
// plumbing through every token.
struct ReadFailure {
    std::string line;
};

[[noreturn]] void failTruncated() { throw ReadFailure{"Error with object file! "}; }

// One line that names the file, the problem and the fix.
[[noreturn]] void rejectMesh(const char* fileName, const char* format, ...) {
    char problem[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(problem, sizeof problem, format, args);
    va_end(args);
    throw ReadFailure{std::string("Unusable mesh file ") + fileName + ": " + problem};
}

bool isFormatSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Opens one pass over the file. A directory opens under "r" on some systems but
// holds no text, so it is treated like a file that cannot be opened.
std::FILE* openPass(const char* fileName) {
    std::FILE* file = std::fopen(fileName, "r");
    struct stat info {};
    if (file != nullptr && (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode))) {
        std::fclose(file);
        file = nullptr;
    }
    if (file == nullptr) throw ReadFailure{std::string("Unable to open ") + fileName + " file."};
    return file;
}

// atoi's reading of a token (optional sign, decimal digits, the rest ignored),
// widened so that a value beyond 32 bits is seen rather than wrapped.
long long parseInteger(const char* text) { return std::strtoll(text, nullptr, 10); }

// A value token is two prefix characters, not examined, then the number.
const char* valueText(const std::string& token) { return token.size() > 2 ? token.c_str() + 2 : ""; }

// One pass over the file, read into memory at once so that a large mesh loads
// at disk speed. Tokens are separated by the C locale's white space; a token
// needed after the last one is a truncated file.
class PassText {
public:
    PassText(const char* fileName) {
        std::FILE* file = openPass(fileName);
        struct stat info {};
        size_ = fstat(fileno(file), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
        char chunk[1 << 16];
        size_t got;
        // A read error ends the text where it happened, as it ends getc.
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text_.append(chunk, got);
        std::fclose(file);
    }

    // A record is a label and three value tokens, each at least one character and
    // a separator, so a file of n bytes cannot hold more than n / 4 records.
    long long recordLimit() const { return size_ < 0 ? INT32_MAX : size_ / 4 + 1; }

    // One white-space-separated token.
    std::string_view token() {
        if (at_ >= text_.size()) failTruncated();
        while (at_ < text_.size() && isFormatSpace(static_cast<unsigned char>(text_[at_]))) ++at_;
        // Only white space was left where a token is needed: the file ended early.
        if (at_ >= text_.size()) failTruncated();
        const size_t start = at_;
        while (at_ < text_.size() && !isFormatSpace(static_cast<unsigned char>(text_[at_]))) ++at_;
        return std::string_view(text_).substr(start, at_ - start);
    }

    void skipTo(std::string_view keyword) {
        while (token() != keyword) {
        }
    }

private:
    std::string text_;
    size_t at_ = 0;
    long long size_ = 0;
};

// The count after a keyword, bounded by what the file can hold so that a
// huge count never allocates.
int32_t readPassCount(PassText& text, const char* fileName, const char* keyword) {
    text.skipTo(keyword);
    const std::string token(text.token());
    long long count = parseInteger(token.c_str());
    // A count of zero or less means no records.
    if (count <= 0) return count < INT32_MIN ? INT32_MIN : static_cast<int32_t>(count);
    long long limit = text.recordLimit();
    if (count > INT32_MAX || count > limit) {
        rejectMesh(fileName,
                   "the count \"%.40s\" after \"%s\" is more records than this file can hold (at most %lld); "
                   "correct the count to the number of records",
                   token.c_str(), keyword, limit);
    }
    return static_cast<int32_t>(count);
}

// "%d:", the label of record j.
std::string_view label(int32_t j, char (&buffer)[16]) {
    int length = std::snprintf(buffer, sizeof buffer, "%d:", j);
    return std::string_view(buffer, static_cast<size_t>(length));
}

void readVertices(MeshFile& mesh) {
    const char* fileName = mesh.fileName;
    int32_t& vertexCount = mesh.vertexCount;
    std::vector<float>& vertices = mesh.vertices;
    PassText text(fileName);
    vertexCount = readPassCount(text, fileName, "Vertices:");
    vertices.assign(vertexCount > 0 ? 3 * static_cast<size_t>(vertexCount) : 0, 0.0f);
    text.skipTo("Vertex");
    text.skipTo("List:");
    std::string value;
    char buffer[16];
    for (int32_t j = 0; j < vertexCount; ++j) {
        text.skipTo(label(j, buffer));
        for (int k = 0; k < 3; ++k) {
            value = text.token();  // a NUL-terminated copy for atof
            float coordinate = static_cast<float>(std::atof(valueText(value)));
            if (!std::isfinite(coordinate)) {
                rejectMesh(fileName, "vertex %d has coordinate \"%.40s\", which is not a finite 32-bit number", j,
                           value.c_str());
            }
            vertices[3 * static_cast<size_t>(j) + k] = coordinate;
        }
    }
}

void readFaces(MeshFile& mesh) {
    const char* fileName = mesh.fileName;
    int32_t& faceCount = mesh.faceCount;
    std::vector<int32_t>& faceIndices = mesh.faceIndices;
    PassText text(fileName);
    faceCount = readPassCount(text, fileName, "Faces:");
    faceIndices.assign(faceCount > 0 ? 3 * static_cast<size_t>(faceCount) : 0, 0);
    text.skipTo("Face");
    text.skipTo("list:");
    std::string value;
    char buffer[16];
    for (int32_t j = 0; j < faceCount; ++j) {
        text.skipTo(label(j, buffer));
        for (int k = 0; k < 3; ++k) {
            value = text.token();
            long long index = parseInteger(valueText(value));
            if (index < INT32_MIN || index > INT32_MAX) {
                rejectMesh(fileName, "face %d has vertex index %.40s, which is outside any vertex range", j,
                           valueText(value));
            }
            faceIndices[3 * static_cast<size_t>(j) + k] = static_cast<int32_t>(index);
        }
    }
}

void requireUsable(const MeshFile& mesh) {
    const char* fileName = mesh.fileName;
    const int32_t vertexCount = mesh.vertexCount;
    const int32_t faceCount = mesh.faceCount;
    const std::vector<int32_t>& faceIndices = mesh.faceIndices;
    if (vertexCount < 2) {
        rejectMesh(fileName, "it has %d vertices, but a body needs at least two (the drag spring holds vertex 1)",
                   vertexCount);
    }
    for (int32_t j = 0; j < faceCount; ++j) {
        for (int k = 0; k < 3; ++k) {
            int32_t index = faceIndices[3 * static_cast<size_t>(j) + k];
            if (index < 0 || index >= vertexCount) {
                rejectMesh(fileName, "face %d uses vertex index %d, outside 0 to %d (the file has %d vertices)", j,
                           index, vertexCount - 1, vertexCount);
            }
        }
    }
}

}  // namespace

MeshFileResult readMeshFile(const char* fileName, MeshFileCheck check) {
    MeshFileResult result;
    result.mesh.fileName = fileName;
    try {
        readVertices(result.mesh);
        readFaces(result.mesh);
        if (check == MeshFileCheck::Usable) requireUsable(result.mesh);
        result.ok = true;
    } catch (const ReadFailure& failure) {
        result.error = failure.line;
    }
    return result;
}

}  // namespace plumfold
