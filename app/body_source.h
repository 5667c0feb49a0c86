#pragma once
// Where the demo's body comes from: a mesh file. An .asc file is read by the
// program's own reader, and one that cannot be read ends the process with the
// reader's own message and status, before any report line; any other supported
// format is imported and prepared as a body, with one line on standard error
// saying what was done.
#include "mesh/mesh_file.h"

namespace plumfold {

MeshFile readBodyMesh(const char* path);

}  // namespace plumfold
