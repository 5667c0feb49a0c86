// Ear clipping in the polygon's own plane, choosing ears whose cut is a new edge.
#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_set>

#include "mesh/prepare.h"

namespace plumfold {

namespace {

uint64_t edgeKey(int32_t a, int32_t b) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(std::min(a, b))) << 32) | static_cast<uint32_t>(std::max(a, b));
}

struct Flat {
    double u, v;
};

// Twice the signed area of the 2D triangle a, b, c.
double turn(const Flat& a, const Flat& b, const Flat& c) {
    return (b.u - a.u) * (c.v - a.v) - (b.v - a.v) * (c.u - a.u);
}

bool strictlyInside(const Flat& p, const Flat& a, const Flat& b, const Flat& c) {
    return turn(a, b, p) > 0 && turn(b, c, p) > 0 && turn(c, a, p) > 0;
}

// The polygon projected onto the coordinate plane its (Newell) normal faces most,
// mirrored so that it runs counter-clockwise there.
std::vector<Flat> project(const PolygonSoup& soup, const std::vector<int32_t>& ring) {
    std::array<double, 3> normal{0, 0, 0};
    for (size_t i = 0; i < ring.size(); ++i) {
        const double* p = &soup.points[3 * static_cast<size_t>(ring[i])];
        const double* q = &soup.points[3 * static_cast<size_t>(ring[(i + 1) % ring.size()])];
        normal[0] += (p[1] - q[1]) * (p[2] + q[2]);
        normal[1] += (p[2] - q[2]) * (p[0] + q[0]);
        normal[2] += (p[0] - q[0]) * (p[1] + q[1]);
    }
    int drop = 0;
    for (int axis = 1; axis < 3; ++axis)
        if (std::fabs(normal[axis]) > std::fabs(normal[drop])) drop = axis;
    int u = (drop + 1) % 3, v = (drop + 2) % 3;
    double mirror = normal[drop] < 0 ? -1.0 : 1.0;
    std::vector<Flat> flat;
    for (int32_t index : ring) {
        const double* p = &soup.points[3 * static_cast<size_t>(index)];
        flat.push_back({p[u], mirror * p[v]});
    }
    return flat;
}

}  // namespace

std::vector<std::vector<int32_t>> triangulatePolygons(const PolygonSoup& soup) {
    // Corners in order, without a corner repeated right after itself.
    std::vector<std::vector<int32_t>> rings;
    for (const std::vector<int32_t>& polygon : soup.polygons) {
        std::vector<int32_t> ring;
        for (int32_t index : polygon)
            if (ring.empty() || ring.back() != index) ring.push_back(index);
        while (ring.size() > 1 && ring.front() == ring.back()) ring.pop_back();
        if (ring.size() >= 3) rings.push_back(std::move(ring));
    }
    std::unordered_set<uint64_t> edges;
    for (const auto& ring : rings)
        for (size_t i = 0; i < ring.size(); ++i) edges.insert(edgeKey(ring[i], ring[(i + 1) % ring.size()]));

    std::vector<std::vector<int32_t>> triangles;
    for (std::vector<int32_t>& ring : rings) {
        std::vector<Flat> flat = project(soup, ring);
        while (ring.size() > 3) {
            const size_t n = ring.size();
            // Best ear: a new edge and a proper ear; then a new edge; then any.
            size_t chosen = n, fallback = n;
            for (size_t i = 0; i < n && chosen == n; ++i) {
                size_t before = (i + n - 1) % n, after = (i + 1) % n;
                if (edges.count(edgeKey(ring[before], ring[after])) != 0 || ring[before] == ring[after]) continue;
                if (fallback == n) fallback = i;
                if (!(turn(flat[before], flat[i], flat[after]) > 0)) continue;
                bool empty = true;
                for (size_t j = 0; j < n && empty; ++j)
                    if (j != before && j != i && j != after)
                        empty = !strictlyInside(flat[j], flat[before], flat[i], flat[after]);
                if (empty) chosen = i;
            }
            if (chosen == n) chosen = fallback == n ? 0 : fallback;
            size_t before = (chosen + n - 1) % n, after = (chosen + 1) % n;
            triangles.push_back({ring[before], ring[chosen], ring[after]});
            edges.insert(edgeKey(ring[before], ring[after]));
            ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(chosen));
            flat.erase(flat.begin() + static_cast<std::ptrdiff_t>(chosen));
        }
        triangles.push_back(ring);
    }
    return triangles;
}

}  // namespace plumfold
