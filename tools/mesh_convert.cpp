#include "tools/mesh_convert.h"

#include <cmath>

#include "tools/mesh_merge.h"

namespace plumfold {

namespace {

bool allFinite(const MeshData& mesh) {
    for (float c : mesh.vertices)
        if (!std::isfinite(c)) return false;
    return true;
}

}  // namespace

MeshData triangulateSoup(const plumfold::PolygonSoup& soup) {
    MeshData mesh;
    mesh.vertices.reserve(soup.points.size());
    for (double c : soup.points) mesh.vertices.push_back(static_cast<float>(c));
    for (const std::vector<int32_t>& polygon : soup.polygons)
        for (size_t k = 1; k + 1 < polygon.size(); ++k)
            mesh.faceIndices.insert(mesh.faceIndices.end(), {polygon[0], polygon[k], polygon[k + 1]});
    return mesh;
}

ConvertResult convertSoup(const plumfold::PolygonSoup& soup, const ConvertOptions& options) {
    ConvertResult result;
    result.ok = true;
    result.mesh = triangulateSoup(soup);
    auto fail = [&](const std::string& problem) {
        result.ok = false;
        result.mesh = MeshData{};
        result.error = problem;
        return result;
    };
    if (result.mesh.faceIndices.empty()) return fail("the file has no faces");

    MeshData& mesh = result.mesh;
    // Only the corners of faces count for the extent; loose vertices are dropped later.
    MergeSummary summary;
    mesh = mergeCoincidentVertices(mesh, &summary);
    if (options.center || options.fitSize > 0.0) centerMesh(mesh);
    if (options.fitSize > 0.0) {
        double extent = largestExtent(mesh);
        if (!(extent > 0.0)) return fail("all vertices lie at one point, so the shape cannot be scaled to a size");
        scaleMesh(mesh, options.fitSize / (extent * options.sceneScale));
    }
    if (options.scale != 1.0) scaleMesh(mesh, options.scale);
    if (!allFinite(mesh)) return fail("the coordinates do not fit 32-bit floats; use a smaller --scale or --fit");

    // Rounding after a transform can make near neighbours coincide: merge again.
    MergeSummary after;
    mesh = mergeCoincidentVertices(mesh, &after);
    int32_t merged = summary.mergedVertices + after.mergedVertices;
    int32_t dropped = summary.droppedFaces + after.droppedFaces;
    if (merged > 0) result.notes.push_back("merged " + std::to_string(merged) + " coincident vertices");
    if (summary.unusedVertices > 0)
        result.notes.push_back("dropped " + std::to_string(summary.unusedVertices) + " vertices that no face uses");
    if (dropped > 0)
        result.notes.push_back("dropped " + std::to_string(dropped) +
                               " triangles with a corner repeated after merging");
    if (mesh.faceIndices.empty()) return fail("no triangle is left after merging coincident corners");
    return result;
}

}  // namespace plumfold
