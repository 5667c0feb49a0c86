#pragma once
// The text mesh file: white-space-separated tokens, a "Vertices:" count and a
// "Vertex List:" of labelled x/y/z records, a "Faces:" count and a "Face list:"
// of labelled index triples. Every failure prints one line on standard output
// and ends the process; a successful read prints nothing.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct MeshFile {
    const char* fileName = nullptr;  // not owned; opened relative to the working directory
    int32_t vertexCount = 0;         // as read after "Vertices:"
    int32_t faceCount = 0;           // as read after "Faces:"
    std::vector<float> vertices;     // x, y, z of vertex j at 3j, 3j+1, 3j+2
    std::vector<int32_t> faceIndices;  // the three indices of face j at 3j.., in file order

    // The two passes; each opens the file anew and scans it from the beginning.
    void readVertices();
    void readFaces();

    // Rejects (one line, exit status 1) a mesh that body construction cannot use
    // safely: fewer than two vertices, or a face index outside the vertex range.
    void requireUsable() const;

    int32_t readCount(std::FILE* file, const char* keyword);
    void skipTo(std::FILE* file, const char* keyword);
    void readToken(std::FILE* file, std::string& destination);
};

// One character of look-ahead: ends the process when the file has no more input.
void requireMoreInput(std::FILE* file);
