#include "tools/stl_reader.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>

#include "tools/text_scan.h"

namespace {

constexpr size_t headerSize = 84;     // 80 bytes of header text, then the triangle count
constexpr size_t triangleSize = 50;   // normal, three corners, attribute word

uint32_t littleEndian32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

float littleEndianFloat(const unsigned char* p) {
    uint32_t bits = littleEndian32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool startsWithSolid(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[i]))) ++i;
    return bytes.substr(i, 5) == "solid";
}

// ASCII STL is plain text; binary triangles nearly always hold zero bytes.
bool isText(std::string_view bytes) {
    for (char c : bytes) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 && u != '\n' && u != '\r' && u != '\t' && u != '\v' && u != '\f') return false;
    }
    return true;
}

uint64_t declaredTriangles(std::string_view bytes) {
    return littleEndian32(reinterpret_cast<const unsigned char*>(bytes.data()) + 80);
}

std::string lower(std::string_view token) {
    std::string out(token);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

MeshReadResult readBinary(std::string_view bytes) {
    MeshReadResult result;
    uint64_t count = declaredTriangles(bytes);
    uint64_t needed = headerSize + count * triangleSize;
    if (needed > bytes.size()) {
        uint64_t complete = (bytes.size() - headerSize) / triangleSize;
        result.error = "binary STL: the header says " + std::to_string(count) + " triangles, which need " +
                       std::to_string(needed) + " bytes, but the file has " + std::to_string(bytes.size()) +
                       "; triangle " + std::to_string(complete) + " (byte offset " +
                       std::to_string(headerSize + complete * triangleSize) + ") is cut short";
        return result;
    }
    if (count > static_cast<uint64_t>(INT32_MAX) / 3) {
        result.error = "binary STL: " + std::to_string(count) + " triangles are more than a 32-bit count holds";
        return result;
    }
    if (needed < bytes.size())
        result.notes.push_back("binary STL: ignored " + std::to_string(bytes.size() - needed) +
                               " bytes after the last triangle");
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
    result.mesh.vertices.reserve(9 * count);
    result.mesh.faceIndices.reserve(3 * count);
    for (uint64_t t = 0; t < count; ++t) {
        size_t offset = headerSize + t * triangleSize;
        for (int corner = 0; corner < 3; ++corner) {
            for (int axis = 0; axis < 3; ++axis) {
                size_t at = offset + 12 + 12 * corner + 4 * axis;
                float value = littleEndianFloat(data + at);
                if (!std::isfinite(value)) {
                    result.mesh = MeshData{};
                    result.error = "binary STL: triangle " + std::to_string(t) + " (byte offset " +
                                   std::to_string(at) + ") has a coordinate that is not a finite number";
                    return result;
                }
                result.mesh.vertices.push_back(value);
            }
            result.mesh.faceIndices.push_back(static_cast<int32_t>(3 * t + corner));
        }
    }
    result.ok = true;
    return result;
}

MeshReadResult readAscii(std::string_view bytes) {
    MeshReadResult result;
    int64_t lineNumber = 0;
    int64_t facetLine = 0;
    bool inFacet = false, inLoop = false;
    std::vector<float> loop;  // corners of the current loop, three floats each
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
        std::vector<std::string_view> tokens = splitTokens(bytes.substr(position, end - position));
        position = end + 1;
        ++lineNumber;
        if (tokens.empty()) continue;
        std::string keyword = lower(tokens[0]);

        if (keyword == "solid" || keyword == "endsolid") {
            if (inFacet) return fail("'" + keyword + "' inside the facet begun on line " + std::to_string(facetLine));
        } else if (keyword == "facet") {
            if (inFacet) return fail("a facet begins inside the facet begun on line " + std::to_string(facetLine));
            inFacet = true;
            facetLine = lineNumber;
        } else if (keyword == "outer") {
            if (!inFacet || inLoop) return fail("'outer loop' outside a facet");
            inLoop = true;
            loop.clear();
        } else if (keyword == "vertex") {
            if (!inLoop) return fail("a vertex outside 'outer loop'");
            if (tokens.size() != 4) return fail("a vertex needs exactly x, y and z");
            for (size_t k = 1; k <= 3; ++k) {
                float value = 0.0f;
                if (!parseCoordinate(tokens[k], value))
                    return fail("vertex coordinate " + quoteToken(tokens[k]) + " is not a finite number");
                loop.push_back(value);
            }
        } else if (keyword == "endloop") {
            if (!inLoop) return fail("'endloop' without 'outer loop'");
            size_t corners = loop.size() / 3;
            if (corners < 3)
                return fail("a facet needs at least 3 vertices, this one has " + std::to_string(corners));
            // Triangles normally; a longer loop becomes a fan from its first corner.
            int32_t first = static_cast<int32_t>(result.mesh.vertices.size() / 3);
            result.mesh.vertices.insert(result.mesh.vertices.end(), loop.begin(), loop.end());
            for (size_t k = 1; k + 1 < corners; ++k) {
                result.mesh.faceIndices.insert(result.mesh.faceIndices.end(),
                                               {first, first + static_cast<int32_t>(k),
                                                first + static_cast<int32_t>(k + 1)});
            }
            if (result.mesh.vertices.size() / 3 > static_cast<size_t>(INT32_MAX) / 2)
                return fail("more vertices than a 32-bit count holds");
            inLoop = false;
        } else if (keyword == "endfacet") {
            if (!inFacet || inLoop) return fail("'endfacet' without a finished facet");
            inFacet = false;
        } else {
            return fail("unexpected " + quoteToken(tokens[0]) + " (expected solid, facet, outer loop, vertex, "
                        "endloop, endfacet or endsolid)");
        }
    }
    if (inFacet) return fail("the file ends inside the facet begun on line " + std::to_string(facetLine));
    result.ok = true;
    return result;
}

}  // namespace

bool looksLikeBinaryStl(std::string_view bytes) {
    if (bytes.size() < headerSize) return false;
    if (headerSize + declaredTriangles(bytes) * triangleSize == bytes.size()) return true;
    return !(startsWithSolid(bytes) && isText(bytes));
}

MeshReadResult readStl(std::string_view bytes) {
    if (looksLikeBinaryStl(bytes)) return readBinary(bytes);
    if (startsWithSolid(bytes)) return readAscii(bytes);
    MeshReadResult result;
    result.error = "not an STL file: it does not begin with 'solid' (ASCII) and is shorter than the 84-byte "
                   "header of a binary STL";
    return result;
}
