#pragma once
// Reading meshes written by other programs. Never ends the process and never
// throws on bad input: any bytes give either a soup or a one-line error.
#include <string>

#include "mesh/polygon_soup.h"

namespace plumfold {

enum class MeshFormat { Asc, Obj, Stl, Ply, Off, Gltf, Glb };

struct ImportResult {
    bool ok = false;
    MeshFormat format{};
    PolygonSoup soup;
    std::string error;  // one line naming the file, the problem and the fix
};

// Recognises the format by content and extension, reads it with CGAL (OBJ, STL
// ascii/binary, PLY ascii/binary), tinygltf (glTF 2.0 .gltf/.glb, every
// triangle primitive of every mesh node with its node transforms) or by hand
// (OFF, which CGAL cannot read safely from untrusted files), and .asc with the
// program's own reader. Every coordinate of an accepted soup is finite and
// every index is in range.
ImportResult importMesh(const std::string& path);

// "OBJ", "STL", ... as users know the formats.
const char* formatName(MeshFormat);

}  // namespace plumfold
