#pragma once
// What the foreign-format readers return: a mesh, or a message that names the
// problem and where it is (line, or triangle and byte offset). The readers never
// end the process and never throw on bad input, so they can be called on any bytes.
#include <string>
#include <vector>

#include "mesh/mesh_data.h"

struct MeshReadResult {
    bool ok = false;
    MeshData mesh;                    // triangles as read; vertices not yet merged
    std::string error;                // when !ok
    std::vector<std::string> notes;   // things worth knowing that are not errors
};
