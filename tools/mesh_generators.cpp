#include "tools/mesh_generators.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <utility>

namespace plumfold {

namespace {

struct Point {
    double x, y, z;
};

Point onSphere(Point p, double radius) {
    double scale = radius / std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    return {p.x * scale, p.y * scale, p.z * scale};
}

}  // namespace

MeshData makeIcosphere(int level, float radius) {
    const double t = (1.0 + std::sqrt(5.0)) / 2.0;
    std::vector<Point> points = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                                 {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
    // Counter-clockwise seen from outside.
    std::vector<int32_t> faces = {0, 11, 5,  0, 5,  1, 0, 1, 7, 0, 7,  10, 0, 10, 11, 1, 5, 9, 5, 11,
                                  4, 11, 10, 2, 10, 7, 6, 7, 1, 8, 3,  9,  4, 3,  4,  2, 3, 2, 6, 3,
                                  6, 8,  3,  8, 9,  4, 9, 5, 2, 4, 11, 6,  2, 10, 8,  6, 7, 9, 8, 1};
    for (Point& p : points) p = onSphere(p, radius);

    for (int l = 0; l < level; ++l) {
        std::map<std::pair<int32_t, int32_t>, int32_t> midpoints;
        auto midpoint = [&](int32_t a, int32_t b) {
            auto key = std::minmax(a, b);
            auto found = midpoints.find(key);
            if (found != midpoints.end()) return found->second;
            const Point& pa = points[a];
            const Point& pb = points[b];
            points.push_back(onSphere({(pa.x + pb.x) / 2, (pa.y + pb.y) / 2, (pa.z + pb.z) / 2}, radius));
            int32_t index = static_cast<int32_t>(points.size() - 1);
            midpoints.emplace(key, index);
            return index;
        };
        std::vector<int32_t> finer;
        finer.reserve(faces.size() * 4);
        for (size_t f = 0; f < faces.size(); f += 3) {
            int32_t a = faces[f], b = faces[f + 1], c = faces[f + 2];
            int32_t ab = midpoint(a, b), bc = midpoint(b, c), ca = midpoint(c, a);
            finer.insert(finer.end(), {a, ab, ca, b, bc, ab, c, ca, bc, ab, bc, ca});
        }
        faces = std::move(finer);
    }

    MeshData mesh;
    mesh.vertices.reserve(points.size() * 3);
    for (const Point& p : points) {
        mesh.vertices.push_back(static_cast<float>(p.x));
        mesh.vertices.push_back(static_cast<float>(p.y));
        mesh.vertices.push_back(static_cast<float>(p.z));
    }
    mesh.faceIndices = std::move(faces);
    return mesh;
}

MeshData makeCube(float size, int divisions) {
    // Each face is a grid over two axes; grid points on shared edges and corners
    // are made once, keyed by their integer lattice position.
    const int n = divisions;
    const double half = size / 2.0;
    std::map<std::array<int, 3>, int32_t> lattice;
    MeshData mesh;
    auto vertexAt = [&](std::array<int, 3> key) {
        auto found = lattice.find(key);
        if (found != lattice.end()) return found->second;
        for (int axis = 0; axis < 3; ++axis) {
            double coordinate = -half + size * (static_cast<double>(key[axis]) / n);
            mesh.vertices.push_back(static_cast<float>(coordinate));
        }
        int32_t index = static_cast<int32_t>(lattice.size());
        lattice.emplace(key, index);
        return index;
    };
    // For each face: the fixed axis and its side, then two in-face axes ordered so
    // that u × v points out of the cube, which makes (a, b, c) counter-clockwise.
    struct Side {
        int fixed, side, u, v;
    };
    const Side sides[6] = {{0, 1, 1, 2}, {0, 0, 2, 1}, {1, 1, 2, 0}, {1, 0, 0, 2}, {2, 1, 0, 1}, {2, 0, 1, 0}};
    for (const Side& s : sides) {
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) {
                auto corner = [&](int di, int dj) {
                    std::array<int, 3> key{};
                    key[s.fixed] = s.side * n;
                    key[s.u] = i + di;
                    key[s.v] = j + dj;
                    return vertexAt(key);
                };
                int32_t a = corner(0, 0), b = corner(1, 0), c = corner(1, 1), d = corner(0, 1);
                mesh.faceIndices.insert(mesh.faceIndices.end(), {a, b, c, a, c, d});
            }
        }
    }
    return mesh;
}

MeshData makeTorus(float majorRadius, float minorRadius, int segments, int rings) {
    const double pi = 3.14159265358979323846;
    MeshData mesh;
    mesh.vertices.reserve(3 * static_cast<size_t>(segments) * static_cast<size_t>(rings));
    for (int i = 0; i < segments; ++i) {
        double u = 2.0 * pi * i / segments;
        for (int j = 0; j < rings; ++j) {
            double v = 2.0 * pi * j / rings;
            double distance = majorRadius + minorRadius * std::cos(v);
            mesh.vertices.push_back(static_cast<float>(distance * std::cos(u)));
            mesh.vertices.push_back(static_cast<float>(minorRadius * std::sin(v)));
            mesh.vertices.push_back(static_cast<float>(distance * std::sin(u)));
        }
    }
    auto index = [&](int i, int j) { return static_cast<int32_t>((i % segments) * rings + (j % rings)); };
    for (int i = 0; i < segments; ++i) {
        for (int j = 0; j < rings; ++j) {
            int32_t a = index(i, j), b = index(i + 1, j), c = index(i + 1, j + 1), d = index(i, j + 1);
            // Along the tube (v) then around the axis (u): u runs from +x towards
            // +z, v from the outside over the top, so (a, d, c) faces outwards.
            mesh.faceIndices.insert(mesh.faceIndices.end(), {a, d, c, a, c, b});
        }
    }
    return mesh;
}

}  // namespace plumfold
