#pragma once
// A mesh file of any supported format to a triangle mesh the program can use.
#include <string>
#include <vector>

#include "mesh/import.h"
#include "mesh/mesh_data.h"

namespace plumfold {

struct ConvertOptions {
    bool center = false;
    double scale = 1.0;       // applied after centring
    double fitSize = 0.0;     // > 0: centre, then scale so the largest extent × sceneScale is fitSize
    double sceneScale = 0.9;  // the program's own scale on every vertex
};

struct ConvertResult {
    bool ok = false;
    MeshData mesh;                   // transformed, coincident vertices merged
    std::string error;               // when !ok
    std::vector<std::string> notes;  // things worth knowing that are not errors
};

// Every polygon becomes a fan of triangles around its first corner; points are
// rounded to float.
MeshData triangulateSoup(const plumfold::PolygonSoup& soup);

// The soup triangulated, merged and transformed.
ConvertResult convertSoup(const plumfold::PolygonSoup& soup, const ConvertOptions& options);

}  // namespace plumfold
