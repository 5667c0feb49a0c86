#pragma once
// Turning a model as it comes (any polygons, holes, stray parts, any size and up
// axis) into a body the scene can hold: closed, manifold, wound outwards, with
// even edges, standing the right way up in the middle of the box.
#include <string>
#include <vector>

#include "mesh/mesh_data.h"
#include "mesh/polygon_soup.h"

namespace plumfold {

enum class Axis { PlusX, MinusX, PlusY, MinusY, PlusZ, MinusZ };

// "x", "-y", "+z", ... ; false for anything else.
bool parseAxis(const std::string& text, Axis& axis);

struct PrepareOptions {
    // About this many mass points after remeshing: enough for the shape's features
    // at an even edge length, few enough that the probe and the window's steps
    // stay fast (docs/your-own-shape.md has the measurements).
    int points = 1500;
    // The largest extent in the box after the scene's scale 0.9. The pressure is
    // fixed, so a small body inflates far more than a large one, and a body near
    // the box's width is squashed by the walls; 6 keeps the measured models
    // between those.
    double size = 6.0;
    Axis up = Axis::PlusY;    // the model's up direction, turned to +y
    double sceneScale = 0.9;  // the scene multiplies every coordinate by this
};

struct PrepareResult {
    bool ok = false;
    MeshData mesh;                   // in the program's coordinates, before the scene's scale
    std::vector<std::string> steps;  // one line per step that changed something
    std::string error;               // why the model cannot become a body
};

PrepareResult prepareBody(const PolygonSoup& soup, const PrepareOptions& options);

// Splits every polygon into triangles along diagonals that are neither an edge of
// another polygon nor a diagonal chosen before, so that no edge ends up in more
// than two triangles (two quads sharing three corners would otherwise both be
// cut along the same diagonal). Polygons with fewer than three distinct corners
// are dropped.
std::vector<std::vector<int32_t>> triangulatePolygons(const PolygonSoup& soup);

}  // namespace plumfold
