#pragma once
// The per-format readers behind importMesh (mesh/import.cpp). Each reads a whole
// file's bytes and returns an empty string on success, or the problem and its
// fix without the file name. They may leave indices out of range or
// coordinates non-finite; importMesh checks every soup the same way.
#include <string>
#include <string_view>

#include "mesh/import.h"
#include "mesh/polygon_soup.h"

namespace plumfold::detail {

// Whether the file's content (or extension) is a format importMesh reads; a
// file that cannot be read is not.
bool recogniseMeshFile(const std::string& path, MeshFormat& format);

std::string readObjSoup(std::string_view bytes, PolygonSoup& soup);
std::string readStlSoup(std::string_view bytes, bool binary, PolygonSoup& soup);
std::string readPlySoup(std::string_view bytes, PolygonSoup& soup);
std::string readOffSoup(std::string_view bytes, PolygonSoup& soup);
// baseDirectory: where a .gltf file's external buffers are looked up.
std::string readGltfSoup(std::string_view bytes, bool binary, const std::string& baseDirectory, PolygonSoup& soup);

// The exact size a binary STL of the triangle count in its header has, or 0
// when the bytes are too short to hold a header.
size_t binaryStlSize(std::string_view bytes);

}  // namespace plumfold::detail
