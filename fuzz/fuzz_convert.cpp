// Fuzz target: the OBJ and STL converter of plumfold-mesh on arbitrary bytes.
//
// The first input byte picks the file name (and so the format: .obj, .stl, or
// no extension, which lets the content decide) and the conversion options; the
// rest is the file. Properties checked:
// - a failed conversion says why;
// - a converted mesh has faces, finite coordinates and indices inside the
//   vertex range;
// - written in the program's format and read back by the program's own reader,
//   it is accepted and gives the same coordinates bit for bit and the same faces.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "fuzz/scratch_file.h"
#include "mesh/mesh_file.h"
#include "tools/mesh_convert.h"

namespace {

void checkConverted(const MeshData& mesh) {
    FUZZ_CHECK(mesh.vertices.size() % 3 == 0 && mesh.faceIndices.size() % 3 == 0, "%zu coordinates, %zu indices",
               mesh.vertices.size(), mesh.faceIndices.size());
    FUZZ_CHECK(!mesh.faceIndices.empty(), "converted a mesh without faces");
    for (float c : mesh.vertices) FUZZ_CHECK(std::isfinite(c), "converted the coordinate %g", c);
    for (int32_t index : mesh.faceIndices)
        FUZZ_CHECK(index >= 0 && index < mesh.vertexCount(), "index %d of %d vertices", index, mesh.vertexCount());
}

void checkRoundTrip(const MeshData& mesh) {
    // Write in the program's format to the scratch file, then read it back.
    const std::string& path = writeScratchFile(nullptr, 0, ".asc");
    std::FILE* out = std::fopen(path.c_str(), "w");
    FUZZ_CHECK(out != nullptr, "cannot write %s", path.c_str());
    bool written = writeMesh(out, mesh, "fuzz");
    FUZZ_CHECK(std::fclose(out) == 0 && written, "cannot write %s", path.c_str());

    plumfold::MeshFileResult result = plumfold::readMeshFile(path.c_str());
    FUZZ_CHECK(result.ok, "the program's reader rejects the converted mesh: %s", result.error.c_str());
    const MeshFile& read = result.mesh;
    FUZZ_CHECK(read.vertices.size() == mesh.vertices.size() && read.faceIndices == mesh.faceIndices,
               "read back %d vertices and %d faces of %d and %d", read.vertexCount, read.faceCount,
               mesh.vertexCount(), mesh.faceCount());
    FUZZ_CHECK(std::memcmp(read.vertices.data(), mesh.vertices.data(), mesh.vertices.size() * sizeof(float)) == 0,
               "coordinates changed on the way through the file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const char* const names[] = {"in.obj", "in.stl", "in"};
    uint8_t choice = data[0];
    ConvertOptions options;
    options.center = (choice & 0x04) != 0;
    if (choice & 0x08) options.fitSize = 6.0;
    if (choice & 0x10) options.scale = (choice & 0x20) ? 1e-30 : 1e30;
    std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    MeshReadResult result = convertMesh(bytes, names[(choice & 0x03) % 3], options);
    if (!result.ok) {
        FUZZ_CHECK(!result.error.empty(), "a failed conversion without a message");
        return 0;
    }
    checkConverted(result.mesh);
    checkRoundTrip(result.mesh);
    return 0;
}
