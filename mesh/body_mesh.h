#pragma once
// The mesh a program builds its body from, whatever the file's format: the
// program's own .asc files exactly as they have always been read, any other
// supported format imported and prepared as a body with the default options.
#include <string>
#include <vector>

#include "mesh/mesh_file.h"

namespace plumfold {

struct BodyMeshResult {
    bool ok = false;
    MeshFile mesh;  // to build the body from; its fileName is not set
    // True when the program's own reader read (or refused) the file: its error
    // is then the reader's line, which the programs print on standard output
    // with status 1, as they always have.
    bool ownFormat = true;
    std::string note;   // for a foreign file: one line saying what was done
    std::string error;  // one line naming the file, the problem and the fix
};

// A file named .asc, and any file that is not recognised as a foreign format
// (a missing file and a directory included), goes to the program's own reader;
// the rest is imported.
BodyMeshResult loadBodyMesh(const std::string& path, MeshFileCheck check = MeshFileCheck::Usable);

}  // namespace plumfold
