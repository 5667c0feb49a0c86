// Fuzz target: one importer on arbitrary bytes, then the conversion to the
// program's format. Built once per format; PLUMFOLD_FUZZ_SUFFIX is the file
// name's extension, which decides only where the content does not.
//
// Properties checked:
// - a refused file gets one line that begins with the file's name;
// - an imported soup has finite coordinates, polygons of three or more corners
//   and every index naming a point;
// - converted (the length of the input picks centring, --fit 6 or nothing),
//   the mesh has faces, finite coordinates and indices in range, and written in
//   the program's format and read back by the program's own reader it is
//   accepted with bit-identical coordinates and the same faces.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/scratch_file.h"
#include "mesh/import.h"
#include "mesh/mesh_file.h"
#include "tools/mesh_convert.h"

using namespace plumfold;

namespace {

void checkSoup(const plumfold::PolygonSoup& soup) {
    FUZZ_CHECK(soup.points.size() % 3 == 0, "%zu coordinates", soup.points.size());
    FUZZ_CHECK(!soup.polygons.empty(), "imported a soup without faces");
    for (double c : soup.points) FUZZ_CHECK(std::isfinite(c), "imported the coordinate %g", c);
    const size_t points = soup.points.size() / 3;
    for (const auto& polygon : soup.polygons) {
        FUZZ_CHECK(polygon.size() >= 3, "a polygon of %zu corners", polygon.size());
        for (int32_t index : polygon)
            FUZZ_CHECK(index >= 0 && static_cast<size_t>(index) < points, "index %d of %zu points", index, points);
    }
}

void checkRoundTrip(const MeshData& mesh) {
    for (float c : mesh.vertices) FUZZ_CHECK(std::isfinite(c), "converted the coordinate %g", c);
    for (int32_t index : mesh.faceIndices)
        FUZZ_CHECK(index >= 0 && index < mesh.vertexCount(), "index %d of %d vertices", index, mesh.vertexCount());
    const std::string& path = writeScratchFile(nullptr, 0, ".asc");
    std::FILE* out = std::fopen(path.c_str(), "w");
    FUZZ_CHECK(out != nullptr, "cannot write %s", path.c_str());
    const bool written = writeMesh(out, mesh, "fuzz");
    FUZZ_CHECK(std::fclose(out) == 0 && written, "cannot write %s", path.c_str());

    const plumfold::MeshFileResult read = plumfold::readMeshFile(path.c_str());
    FUZZ_CHECK(read.ok, "the program's reader rejects the converted mesh: %s", read.error.c_str());
    FUZZ_CHECK(read.mesh.vertices.size() == mesh.vertices.size() && read.mesh.faceIndices == mesh.faceIndices,
               "read back %d vertices and %d faces of %d and %d", read.mesh.vertexCount, read.mesh.faceCount,
               mesh.vertexCount(), mesh.faceCount());
    FUZZ_CHECK(std::memcmp(read.mesh.vertices.data(), mesh.vertices.data(), mesh.vertices.size() * sizeof(float)) == 0,
               "coordinates changed on the way through the file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& input = writeScratchFile(data, size, PLUMFOLD_FUZZ_SUFFIX);
    const plumfold::ImportResult imported = plumfold::importMesh(input);
    if (!imported.ok) {
        FUZZ_CHECK(imported.error.rfind(input, 0) == 0 && imported.error.find('\n') == std::string::npos,
                   "a refusal must be one line naming the file: \"%s\"", imported.error.c_str());
        return 0;
    }
    checkSoup(imported.soup);

    ConvertOptions options;
    options.center = size % 4 == 1;
    if (size % 4 == 2) options.fitSize = 6.0;
    const ConvertResult converted = convertSoup(imported.soup, options);
    if (!converted.ok) {
        FUZZ_CHECK(!converted.error.empty(), "a failed conversion without a message");
        return 0;
    }
    checkRoundTrip(converted.mesh);
    return 0;
}
