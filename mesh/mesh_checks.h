#pragma once
// Structural checks of a triangle mesh before the simulation gets it: whether the
// surface is closed and consistently wound, which way it faces, and what would
// make the body misbehave.
#include <cstdint>
#include <string>
#include <vector>

#include "mesh/mesh_data.h"

namespace plumfold {

struct MeshReport {
    int32_t vertexCount = 0;
    int32_t faceCount = 0;
    int64_t edgeCount = 0;          // distinct undirected index pairs
    int64_t indicesOutOfRange = 0;  // face corners outside 0 .. vertexCount − 1
    int32_t firstBadIndexFace = -1;
    int64_t openEdges = 0;           // edges in only one face
    int64_t overusedEdges = 0;       // edges in more than two faces
    int64_t misorientedEdges = 0;    // edges two faces run in the same direction
    int64_t repeatedIndexFaces = 0;  // a corner listed twice: a zero-length spring
    int64_t zeroAreaFaces = 0;       // distinct corners on one line or point
    int64_t duplicatePositions = 0;  // vertices at the position of an earlier one
    int64_t unusedVertices = 0;      // in no face: a loose mass point
    int32_t firstProblemFace = -1;   // first face with a repeated index or zero area
    double volume = 0.0;             // enclosed volume, positive when wound outwards
    float low[3] = {0, 0, 0};        // bounding box of the raw coordinates
    float high[3] = {0, 0, 0};

    bool indicesValid() const { return indicesOutOfRange == 0 && vertexCount >= 2; }
    bool closed() const { return openEdges == 0 && overusedEdges == 0; }
    bool consistentlyWound() const { return misorientedEdges == 0; }
};

// Checks a mesh given as flat arrays (three floats per vertex, three indices per
// face). Geometry is only evaluated when every index is in range.
MeshReport checkMesh(const std::vector<float>& vertices, const std::vector<int32_t>& faceIndices);
inline MeshReport checkMesh(const MeshData& mesh) { return checkMesh(mesh.vertices, mesh.faceIndices); }

struct CheckFinding {
    bool breaking = false;  // would break the simulation; check exits non-zero
    std::string text;       // the problem and what to do about it
};

// The report against the scene: scale applied to every coordinate, the box
// |x|, |z| <= limit and y >= −limit.
std::vector<CheckFinding> judgeMesh(const MeshReport& report, float scale, double limit);

// What makes the explicit step unstable on a closed mesh with valid indices:
// a point joined to many springs, springs much shorter than the rest, and a
// flat or thin form that the pressure cannot hold up.
struct MeshShape {
    int32_t busiestPoint = -1;  // the point joined to the most springs
    int32_t busiestSprings = 0;
    int32_t shortestEdgePoint = -1;  // one end of the shortest spring
    double shortestEdge = 0.0;
    double longestEdge = 0.0;
    double roundness = 0.0;  // 36 pi V^2 / A^3: 1 for a sphere, 0.52 for a cube, near 0 for a plate
};

MeshShape measureShape(const MeshData& mesh);

}  // namespace plumfold
