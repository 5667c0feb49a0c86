#include "tools/mesh_convert.h"

#include <cctype>
#include <cmath>

#include "tools/mesh_merge.h"
#include "tools/obj_reader.h"
#include "tools/stl_reader.h"

namespace {

std::string extensionOf(const std::string& fileName) {
    size_t dot = fileName.find_last_of('.');
    size_t slash = fileName.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = fileName.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

bool allFinite(const MeshData& mesh) {
    for (float c : mesh.vertices)
        if (!std::isfinite(c)) return false;
    return true;
}

}  // namespace

MeshReadResult convertMesh(std::string_view bytes, const std::string& fileName, const ConvertOptions& options) {
    std::string extension = extensionOf(fileName);
    bool stl = extension == "stl" ||
               (extension != "obj" && (looksLikeBinaryStl(bytes) || bytes.substr(0, 5) == "solid"));
    MeshReadResult result = stl ? readStl(bytes) : readObj(bytes);
    if (!result.ok) return result;
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
    if (!allFinite(mesh)) return fail("the scaled coordinates do not fit 32-bit floats; use a smaller scale");

    // Rounding after a transform can make near neighbours coincide: merge again.
    MergeSummary after;
    mesh = mergeCoincidentVertices(mesh, &after);
    int32_t merged = summary.mergedVertices + after.mergedVertices;
    int32_t dropped = summary.droppedFaces + after.droppedFaces;
    if (merged > 0) result.notes.push_back("merged " + std::to_string(merged) + " coincident vertices");
    if (summary.unusedVertices > 0)
        result.notes.push_back("dropped " + std::to_string(summary.unusedVertices) + " vertices that no face uses");
    if (dropped > 0)
        result.notes.push_back("dropped " + std::to_string(dropped) + " triangles with a corner repeated after merging");
    if (mesh.faceIndices.empty()) return fail("no triangle is left after merging coincident corners");
    return result;
}
