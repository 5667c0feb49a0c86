#include "app/body_source.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "mesh/body_mesh.h"

namespace plumfold {

MeshFile readBodyMesh(const char* path) {
    BodyMeshResult loaded = loadBodyMesh(path);
    if (!loaded.ok) {
        // The own reader's line goes where it always has: standard output.
        if (loaded.ownFormat) std::printf("%s\n", loaded.error.c_str());
        else std::fprintf(stderr, "plumfold: %s\n", loaded.error.c_str());
        std::exit(1);
    }
    if (!loaded.note.empty()) std::fprintf(stderr, "plumfold: %s\n", loaded.note.c_str());
    return std::move(loaded.mesh);
}

}  // namespace plumfold
