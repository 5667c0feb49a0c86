#include "app/body_source.h"

namespace plumfold {

MeshFile readBodyMesh(const char* path) {
    // The passes and checks of the body's own construction, in its order.
    MeshFile mesh;
    mesh.fileName = path;
    mesh.readVertices();
    mesh.readFaces();
    mesh.requireUsable();
    return mesh;
}

}  // namespace plumfold
