#include "tools/obj_reader.h"

#include <climits>

#include "tools/text_scan.h"

namespace {

struct PendingCorner {
    int64_t index;  // 1-based, not yet checked against the final vertex count
    int64_t line;
};

// Splits "a", "a/b", "a//c" or "a/b/c" and parses the vertex index a; the
// texture and normal indices are checked for form only.
bool parseCorner(std::string_view token, int64_t& vertex) {
    size_t slash = token.find('/');
    if (!parseInteger(token.substr(0, slash), vertex)) return false;
    if (slash == std::string_view::npos) return true;
    std::string_view rest = token.substr(slash + 1);
    size_t second = rest.find('/');
    std::string_view texture = rest.substr(0, second);
    int64_t ignored = 0;
    if (second == std::string_view::npos) return parseInteger(texture, ignored);
    std::string_view normal = rest.substr(second + 1);
    return (texture.empty() || parseInteger(texture, ignored)) && parseInteger(normal, ignored);
}

}  // namespace

MeshReadResult readObj(std::string_view bytes) {
    MeshReadResult result;
    std::vector<PendingCorner> corners;  // three per triangle
    int64_t lineNumber = 0;
    auto fail = [&](const std::string& problem) {
        result.ok = false;
        result.mesh = MeshData{};
        result.error = "line " + std::to_string(lineNumber) + ": " + problem;
        return result;
    };

    size_t position = 0;
    while (position < bytes.size()) {
        size_t end = bytes.find('\n', position);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(position, end - position);
        position = end + 1;
        ++lineNumber;
        line = line.substr(0, line.find('#'));
        std::vector<std::string_view> tokens = splitTokens(line);
        if (tokens.empty()) continue;

        if (tokens[0] == "v") {
            if (tokens.size() < 4) return fail("a vertex needs x, y and z");
            for (size_t k = 1; k <= 3; ++k) {
                float value = 0.0f;
                if (!parseCoordinate(tokens[k], value))
                    return fail("vertex coordinate " + quoteToken(tokens[k]) + " is not a finite number");
                result.mesh.vertices.push_back(value);
            }
            if (result.mesh.vertices.size() / 3 > static_cast<size_t>(INT32_MAX))
                return fail("more vertices than a 32-bit count holds");
        } else if (tokens[0] == "f") {
            if (tokens.size() < 4)
                return fail("a face needs at least 3 vertices, this one has " + std::to_string(tokens.size() - 1));
            const int64_t defined = static_cast<int64_t>(result.mesh.vertices.size() / 3);
            std::vector<int64_t> polygon;
            for (size_t k = 1; k < tokens.size(); ++k) {
                int64_t index = 0;
                if (!parseCorner(tokens[k], index))
                    return fail("face corner " + quoteToken(tokens[k]) + " is not v, v/t, v//n or v/t/n");
                if (index == 0) return fail("face corner " + quoteToken(tokens[k]) + ": vertex indices start at 1");
                if (index < 0) {
                    // Relative: -1 is the last vertex defined so far.
                    if (index < -defined)
                        return fail("face corner " + quoteToken(tokens[k]) + " reaches back before the first vertex (" +
                                    std::to_string(defined) + " defined so far)");
                    index = defined + index + 1;
                }
                polygon.push_back(index);
            }
            // A fan from the first corner.
            for (size_t k = 1; k + 1 < polygon.size(); ++k) {
                corners.push_back({polygon[0], lineNumber});
                corners.push_back({polygon[k], lineNumber});
                corners.push_back({polygon[k + 1], lineNumber});
            }
            if (corners.size() / 3 > static_cast<size_t>(INT32_MAX))
                return fail("more triangles than a 32-bit count holds");
        }
        // Every other record (vt, vn, g, o, s, usemtl, mtllib, l, ...) is ignored.
    }

    const int64_t vertexCount = static_cast<int64_t>(result.mesh.vertices.size() / 3);
    result.mesh.faceIndices.reserve(corners.size());
    for (const PendingCorner& corner : corners) {
        if (corner.index > vertexCount) {
            lineNumber = corner.line;
            return fail("face uses vertex " + std::to_string(corner.index) + " but the file defines " +
                        std::to_string(vertexCount) + " vertices");
        }
        result.mesh.faceIndices.push_back(static_cast<int32_t>(corner.index - 1));
    }
    result.ok = true;
    return result;
}
