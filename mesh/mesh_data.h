#pragma once
// An in-memory triangle mesh, and its writer in the program's mesh file format.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace plumfold {

struct MeshData {
    std::vector<float> vertices;       // x, y, z per vertex
    std::vector<int32_t> faceIndices;  // three vertex indices per triangle, counter-clockwise seen from outside

    int32_t vertexCount() const { return static_cast<int32_t>(vertices.size() / 3); }
    int32_t faceCount() const { return static_cast<int32_t>(faceIndices.size() / 3); }
};

// Shortest decimal text of a float that reads back (atof, then rounded to float)
// as exactly the same float.
std::string formatCoordinate(float value);

// Writes the mesh in the program's format; the title is the ignored first line.
// Returns false when the stream reports a write error.
bool writeMesh(std::FILE* out, const MeshData& mesh, const std::string& title);

}  // namespace plumfold
