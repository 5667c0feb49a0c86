#pragma once
// STL, ASCII or binary. Every triangle brings its own three corners; the caller
// merges coincident ones.
#include <string_view>

#include "tools/mesh_read_result.h"

// A binary file may begin with "solid" too: the size that the triangle count of
// the header implies decides first.
bool looksLikeBinaryStl(std::string_view bytes);
MeshReadResult readStl(std::string_view bytes);
