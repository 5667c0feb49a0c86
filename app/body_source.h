#pragma once
// Where the demo's body comes from: a mesh file, read by the program's own
// reader. A file that cannot be read ends the process with the reader's own
// message and status, before any report line.
#include "mesh/mesh_file.h"

namespace plumfold {

// `path` must outlive the result (MeshFile keeps the pointer).
MeshFile readBodyMesh(const char* path);

}  // namespace plumfold
