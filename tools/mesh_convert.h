#pragma once
// OBJ or STL bytes to a mesh the program can use.
#include <string>
#include <string_view>

#include "tools/mesh_read_result.h"

struct ConvertOptions {
    bool center = false;
    double scale = 1.0;      // applied after centring
    double fitSize = 0.0;    // > 0: centre, then scale so the largest extent × sceneScale is fitSize
    double sceneScale = 0.9; // the program's own scale on every vertex
};

// The format comes from the name's extension (.obj, .stl) or, failing that, the
// content. The result's mesh is transformed and merged.
MeshReadResult convertMesh(std::string_view bytes, const std::string& fileName, const ConvertOptions& options);
