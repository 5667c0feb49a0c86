#include "tools/mesh_merge.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

namespace plumfold {

namespace {

uint32_t positionBits(float value) {
    if (value == 0.0f) value = 0.0f;  // −0 is the same position as +0
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

}  // namespace

MeshData mergeCoincidentVertices(const MeshData& mesh, MergeSummary* summary) {
    MergeSummary local;
    const size_t vertexCount = mesh.vertices.size() / 3;
    std::vector<bool> used(vertexCount, false);
    for (int32_t index : mesh.faceIndices) used[static_cast<size_t>(index)] = true;

    std::map<std::array<uint32_t, 3>, int32_t> byPosition;
    std::vector<int32_t> remap(vertexCount, -1);
    MeshData merged;
    for (size_t i = 0; i < vertexCount; ++i) {
        if (!used[i]) {
            ++local.unusedVertices;
            continue;
        }
        const float* v = &mesh.vertices[3 * i];
        auto [found, inserted] =
            byPosition.emplace(std::array<uint32_t, 3>{positionBits(v[0]), positionBits(v[1]), positionBits(v[2])},
                               static_cast<int32_t>(merged.vertices.size() / 3));
        if (inserted) merged.vertices.insert(merged.vertices.end(), v, v + 3);
        else ++local.mergedVertices;
        remap[i] = found->second;
    }
    for (size_t f = 0; f + 2 < mesh.faceIndices.size(); f += 3) {
        int32_t a = remap[static_cast<size_t>(mesh.faceIndices[f])];
        int32_t b = remap[static_cast<size_t>(mesh.faceIndices[f + 1])];
        int32_t c = remap[static_cast<size_t>(mesh.faceIndices[f + 2])];
        if (a == b || b == c || c == a) {
            ++local.droppedFaces;
            continue;
        }
        merged.faceIndices.insert(merged.faceIndices.end(), {a, b, c});
    }
    if (summary != nullptr) *summary = local;
    return merged;
}

namespace {

void bounds(const MeshData& mesh, double low[3], double high[3]) {
    for (int axis = 0; axis < 3; ++axis) {
        low[axis] = 0.0;
        high[axis] = 0.0;
    }
    for (size_t i = 0; i < mesh.vertices.size(); i += 3) {
        for (int axis = 0; axis < 3; ++axis) {
            double c = mesh.vertices[i + axis];
            low[axis] = i == 0 ? c : std::min(low[axis], c);
            high[axis] = i == 0 ? c : std::max(high[axis], c);
        }
    }
}

}  // namespace

void centerMesh(MeshData& mesh) {
    double low[3], high[3];
    bounds(mesh, low, high);
    for (size_t i = 0; i < mesh.vertices.size(); i += 3) {
        for (int axis = 0; axis < 3; ++axis) {
            double middle = (low[axis] + high[axis]) / 2.0;
            mesh.vertices[i + axis] = static_cast<float>(mesh.vertices[i + axis] - middle);
        }
    }
}

void scaleMesh(MeshData& mesh, double factor) {
    for (float& c : mesh.vertices) c = static_cast<float>(c * factor);
}

double largestExtent(const MeshData& mesh) {
    double low[3], high[3];
    bounds(mesh, low, high);
    return std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]});
}

}  // namespace plumfold
