#pragma once
// Clean-up of a triangle mesh read from another format.
#include <cstdint>

#include "mesh/mesh_data.h"

namespace plumfold {

struct MergeSummary {
    int32_t mergedVertices = 0;  // vertices that shared a position with an earlier one
    int32_t unusedVertices = 0;  // dropped: in no face
    int32_t droppedFaces = 0;    // dropped: a corner twice after merging
};

// One vertex per distinct position (+0 and −0 alike), in order of first
// appearance; vertices in no face dropped; triangles with a repeated corner
// dropped. Faces keep their order and corner order.
MeshData mergeCoincidentVertices(const MeshData& mesh, MergeSummary* summary = nullptr);

// Moves the middle of the bounding box to the origin.
void centerMesh(MeshData& mesh);
// Multiplies every coordinate by factor (in double, rounded to float).
void scaleMesh(MeshData& mesh, double factor);
// Largest extent of the bounding box over the three axes.
double largestExtent(const MeshData& mesh);

}  // namespace plumfold
