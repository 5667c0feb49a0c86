#pragma once
// Wavefront OBJ: "v x y z" vertices and "f" polygons whose corners are written
// a, a/b, a//c or a/b/c, with 1-based or negative (relative) vertex indices.
// Polygons become triangle fans; every other record is ignored.
#include <string_view>

#include "tools/mesh_read_result.h"

MeshReadResult readObj(std::string_view bytes);
