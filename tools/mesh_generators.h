#pragma once
// Closed, outward-wound meshes generated from parameters.
#include "tools/mesh_data.h"

// Icosahedron subdivided `level` times, vertices pushed onto the sphere:
// 10 · 4^level + 2 vertices, 20 · 4^level triangles.
MeshData makeIcosphere(int level, float radius);
