#pragma once
// Closed, outward-wound meshes generated from parameters.
#include "mesh/mesh_data.h"

namespace plumfold {

// Icosahedron subdivided `level` times, vertices pushed onto the sphere:
// 10 · 4^level + 2 vertices, 20 · 4^level triangles.
MeshData makeIcosphere(int level, float radius);

// Cube of edge length `size` centred on the origin, each face split into
// divisions × divisions squares of two triangles: 6 · divisions² + 2 vertices,
// 12 · divisions² triangles.
MeshData makeCube(float size, int divisions);

// Ring torus around the y axis (lying flat): tube centre radius `majorRadius`,
// tube radius `minorRadius` < majorRadius; `segments` steps around the y axis and
// `rings` steps around the tube: segments · rings vertices, twice as many triangles.
MeshData makeTorus(float majorRadius, float minorRadius, int segments, int rings);

}  // namespace plumfold
