#include "mesh/body_mesh.h"

#include <cctype>

#include "mesh/import.h"
#include "mesh/import_readers.h"
#include "mesh/prepare.h"

namespace plumfold {
namespace {

bool hasAscExtension(const std::string& path) {
    if (path.size() < 4) return false;
    std::string extension = path.substr(path.size() - 4);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".asc";
}

}  // namespace

BodyMeshResult loadBodyMesh(const std::string& path, MeshFileCheck check) {
    BodyMeshResult result;
    MeshFormat format{};
    if (hasAscExtension(path) || !detail::recogniseMeshFile(path, format) || format == MeshFormat::Asc) {
        MeshFileResult read = readMeshFile(path.c_str(), check);
        result.ok = read.ok;
        result.mesh = std::move(read.mesh);
        result.mesh.fileName = nullptr;
        result.error = std::move(read.error);
        return result;
    }
    result.ownFormat = false;
    const ImportResult imported = importMesh(path);
    if (!imported.ok) {
        result.error = imported.error;
        return result;
    }
    const PrepareResult prepared = prepareBody(imported.soup, PrepareOptions{});
    if (!prepared.ok) {
        result.error = path + ": cannot be made into a body: " + prepared.error;
        return result;
    }
    result.ok = true;
    result.mesh.vertexCount = prepared.mesh.vertexCount();
    result.mesh.faceCount = prepared.mesh.faceCount();
    result.mesh.vertices = prepared.mesh.vertices;
    result.mesh.faceIndices = prepared.mesh.faceIndices;
    result.note = path + ": " + formatName(imported.format) + " prepared as a body with the default options";
    for (size_t i = 0; i < prepared.steps.size(); ++i) result.note += (i == 0 ? ": " : "; ") + prepared.steps[i];
    return result;
}

}  // namespace plumfold
