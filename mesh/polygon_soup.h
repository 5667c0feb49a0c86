#pragma once
// What a foreign mesh file holds, before any repair: points and polygons exactly
// as the file lists them. Nothing is merged, triangulated or checked here.
#include <cstdint>
#include <vector>

namespace plumfold {

struct PolygonSoup {
    std::vector<double> points;                  // x, y, z per point
    std::vector<std::vector<int32_t>> polygons;  // point indices, as the file lists them (any size >= 3)
};

}  // namespace plumfold
