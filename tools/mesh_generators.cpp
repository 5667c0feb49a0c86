#include "tools/mesh_generators.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

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
    std::vector<Point> points = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
                                 {0, -1, -t}, {0, 1, -t}, {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    // Counter-clockwise seen from outside.
    std::vector<int32_t> faces = {0, 11, 5, 0, 5, 1, 0, 1, 7, 0, 7, 10, 0, 10, 11, 1, 5, 9, 5, 11, 4,
                                  11, 10, 2, 10, 7, 6, 7, 1, 8, 3, 9, 4, 3, 4, 2, 3, 2, 6, 3, 6, 8,
                                  3, 8, 9, 4, 9, 5, 2, 4, 11, 6, 2, 10, 8, 6, 7, 9, 8, 1};
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
