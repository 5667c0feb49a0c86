#pragma once
// The program's own mesh file: white-space-separated tokens, a "Vertices:"
// count and a "Vertex List:" of labelled x/y/z records, a "Faces:" count and a
// "Face list:" of labelled index triples. Reading never prints and never ends
// the process; a failure comes back as the program's own message line.
#include <cstdint>
#include <string>
#include <vector>

namespace plumfold {

struct MeshFile {
    const char* fileName = nullptr;    // not owned; opened relative to the working directory
    int32_t vertexCount = 0;           // as read after "Vertices:"
    int32_t faceCount = 0;             // as read after "Faces:"
    std::vector<float> vertices;       // x, y, z of vertex j at 3j, 3j+1, 3j+2
    std::vector<int32_t> faceIndices;  // the three indices of face j at 3j.., in file order
};

struct MeshFileResult {
    bool ok = false;
    MeshFile mesh;      // as far as it was read
    std::string error;  // the program's line for this file, without the newline:
                        // "Unable to open NAME file.", "Error with object file! " or
                        // "Unusable mesh file NAME: problem; fix"
};

enum class MeshFileCheck {
    Usable,     // also reject what body construction cannot use safely: fewer than
                // two vertices, or a face index outside the vertex range
    AsWritten,  // the two passes only, for tools that report on the indices themselves
};

// Reads the file in two passes (counts and records found by their keywords and
// labels, wherever they are), exactly as the program always has.
MeshFileResult readMeshFile(const char* fileName, MeshFileCheck check = MeshFileCheck::Usable);

}  // namespace plumfold
