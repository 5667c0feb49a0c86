#include "mesh/mesh_checks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <unordered_map>
#include <utility>

namespace plumfold {

namespace {

// +0 and −0 are the same position to the simulation, which compares floats.
uint32_t positionBits(float value) {
    if (value == 0.0f) value = 0.0f;
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

struct Corner {
    double x, y, z;
};

Corner cornerOf(const std::vector<float>& vertices, int32_t index) {
    const float* v = &vertices[3 * static_cast<size_t>(index)];
    return {v[0], v[1], v[2]};
}

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace

MeshReport checkMesh(const std::vector<float>& vertices, const std::vector<int32_t>& faceIndices) {
    MeshReport r;
    r.vertexCount = static_cast<int32_t>(vertices.size() / 3);
    r.faceCount = static_cast<int32_t>(faceIndices.size() / 3);

    for (int32_t i = 0; i < r.vertexCount; ++i) {
        for (int axis = 0; axis < 3; ++axis) {
            float c = vertices[3 * static_cast<size_t>(i) + axis];
            r.low[axis] = i == 0 ? c : std::min(r.low[axis], c);
            r.high[axis] = i == 0 ? c : std::max(r.high[axis], c);
        }
    }

    std::map<std::array<uint32_t, 3>, int32_t> seen;
    for (int32_t i = 0; i < r.vertexCount; ++i) {
        const float* v = &vertices[3 * static_cast<size_t>(i)];
        if (!seen.emplace(std::array<uint32_t, 3>{positionBits(v[0]), positionBits(v[1]), positionBits(v[2])}, i)
                 .second)
            ++r.duplicatePositions;
    }

    for (int32_t j = 0; j < r.faceCount; ++j) {
        for (int k = 0; k < 3; ++k) {
            int32_t index = faceIndices[3 * static_cast<size_t>(j) + k];
            if (index < 0 || index >= r.vertexCount) {
                ++r.indicesOutOfRange;
                if (r.firstBadIndexFace < 0) r.firstBadIndexFace = j;
            }
        }
    }
    if (r.indicesOutOfRange > 0) return r;

    // Each undirected edge: how often it is run from its lower to its higher
    // index and back. A closed, consistently wound surface runs every edge once
    // each way.
    std::unordered_map<uint64_t, std::pair<int32_t, int32_t>> edges;
    std::vector<bool> used(static_cast<size_t>(r.vertexCount), false);
    double volume = 0.0;
    for (int32_t j = 0; j < r.faceCount; ++j) {
        const int32_t* f = &faceIndices[3 * static_cast<size_t>(j)];
        bool problem = false;
        if (f[0] == f[1] || f[1] == f[2] || f[2] == f[0]) {
            ++r.repeatedIndexFaces;
            problem = true;
        } else {
            Corner a = cornerOf(vertices, f[0]), b = cornerOf(vertices, f[1]), c = cornerOf(vertices, f[2]);
            Corner u{b.x - a.x, b.y - a.y, b.z - a.z}, v{c.x - a.x, c.y - a.y, c.z - a.z};
            Corner n{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
            if (n.x == 0.0 && n.y == 0.0 && n.z == 0.0) {
                ++r.zeroAreaFaces;
                problem = true;
            }
            // Signed tetrahedron volume against the origin.
            volume +=
                (a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) + a.z * (b.x * c.y - b.y * c.x)) / 6.0;
        }
        if (problem && r.firstProblemFace < 0) r.firstProblemFace = j;
        for (int k = 0; k < 3; ++k) {
            int32_t from = f[k], to = f[(k + 1) % 3];
            used[static_cast<size_t>(from)] = true;
            if (from == to) continue;
            uint64_t key =
                (static_cast<uint64_t>(std::min(from, to)) << 32) | static_cast<uint32_t>(std::max(from, to));
            auto& count = edges[key];
            if (from < to) ++count.first;
            else ++count.second;
        }
    }
    r.volume = volume;
    r.edgeCount = static_cast<int64_t>(edges.size());
    for (const auto& [key, count] : edges) {
        int32_t total = count.first + count.second;
        if (total == 1) ++r.openEdges;
        else if (total > 2) ++r.overusedEdges;
        if (count.first > 1 || count.second > 1) ++r.misorientedEdges;
    }
    r.unusedVertices = std::count(used.begin(), used.end(), false);
    return r;
}

std::vector<CheckFinding> judgeMesh(const MeshReport& r, float scale, double limit) {
    std::vector<CheckFinding> findings;
    auto breaking = [&](const std::string& text) { findings.push_back({true, text}); };
    auto warning = [&](const std::string& text) { findings.push_back({false, text}); };

    if (r.vertexCount < 2)
        breaking("the mesh has " + std::to_string(r.vertexCount) +
                 " vertices; a body needs at least two (the mouse drag holds vertex 1)");
    if (r.indicesOutOfRange > 0) {
        breaking(std::to_string(r.indicesOutOfRange) + " face corners name a vertex outside 0 to " +
                 std::to_string(r.vertexCount - 1) + " (first in face " + std::to_string(r.firstBadIndexFace) +
                 "); fix the face list or the vertex count");
        return findings;
    }
    if (r.faceCount == 0) {
        breaking("the mesh has no faces, so nothing holds the pressure; give it a closed triangle surface");
        return findings;
    }
    if (r.openEdges > 0 || r.overusedEdges > 0)
        breaking("the surface is not closed: " + std::to_string(r.openEdges) + " edges belong to one face only and " +
                 std::to_string(r.overusedEdges) +
                 " to more than two; the volume and so the pressure are wrong; close the holes or "
                 "split the non-manifold edges");
    if (r.misorientedEdges > 0)
        breaking("the winding is inconsistent: " + std::to_string(r.misorientedEdges) +
                 " edges are run in the same direction by both of their faces, so some faces push inwards; "
                 "flip those faces so every face is counter-clockwise seen from outside");
    if (r.repeatedIndexFaces > 0)
        breaking(std::to_string(r.repeatedIndexFaces) + " faces list a vertex twice (first: face " +
                 std::to_string(r.firstProblemFace) + "), which makes a spring of length zero; remove those faces");
    if (r.zeroAreaFaces > 0)
        warning(std::to_string(r.zeroAreaFaces) +
                " faces have zero area (their corners lie on one line) and take no pressure; remove or "
                "re-triangulate them");
    if (r.duplicatePositions > 0)
        breaking(std::to_string(r.duplicatePositions) +
                 " vertices repeat the position of an earlier vertex; their faces share no springs there, so "
                 "the surface tears; merge them (plumfold-mesh convert merges coincident vertices)");
    if (r.unusedVertices > 0)
        warning(std::to_string(r.unusedVertices) + " vertices belong to no face and fall as loose points; remove them");
    if (r.closed() && r.consistentlyWound() && r.repeatedIndexFaces == 0) {
        if (r.volume < 0.0)
            breaking(
                "the faces are wound inwards (the enclosed volume is negative), so the pressure pulls the "
                "body in; reverse the corner order of every face");
        else if (r.volume == 0.0) breaking("the enclosed volume is zero, so there is no pressure; the mesh is flat");
    }
    double lowY = static_cast<double>(scale) * r.low[1];
    double extent[3];
    bool outside = false;
    for (int axis = 0; axis < 3; ++axis) {
        double lo = static_cast<double>(scale) * r.low[axis], hi = static_cast<double>(scale) * r.high[axis];
        extent[axis] = hi - lo;
        if (axis != 1 && (lo < -limit || hi > limit)) outside = true;
    }
    if (lowY < -limit) outside = true;
    if (outside)
        breaking("after the scene's scale " + number(scale) +
                 " the body reaches outside the box (|x|, |z| <= " + number(limit) + ", y >= " + number(-limit) +
                 "); the first step would flatten it against the walls; centre and shrink it "
                 "(plumfold-mesh convert --fit 6, or a smaller generator size); its largest scaled extent is " +
                 number(std::max({extent[0], extent[1], extent[2]})));
    return findings;
}

MeshShape measureShape(const MeshData& mesh) {
    MeshShape shape;
    const int32_t n = mesh.vertexCount();
    std::vector<int32_t> springs(static_cast<size_t>(n), 0);
    std::unordered_map<uint64_t, bool> edges;
    double volume = 0.0, area = 0.0;
    bool first = true;
    for (int32_t j = 0; j < mesh.faceCount(); ++j) {
        const int32_t* f = &mesh.faceIndices[3 * static_cast<size_t>(j)];
        Corner c[3] = {cornerOf(mesh.vertices, f[0]), cornerOf(mesh.vertices, f[1]), cornerOf(mesh.vertices, f[2])};
        Corner u{c[1].x - c[0].x, c[1].y - c[0].y, c[1].z - c[0].z};
        Corner v{c[2].x - c[0].x, c[2].y - c[0].y, c[2].z - c[0].z};
        Corner normal{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
        area += std::sqrt(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z) / 2;
        volume += (c[0].x * normal.x + c[0].y * normal.y + c[0].z * normal.z) / 6;
        for (int k = 0; k < 3; ++k) {
            int32_t from = f[k], to = f[(k + 1) % 3];
            uint64_t key =
                (static_cast<uint64_t>(std::min(from, to)) << 32) | static_cast<uint32_t>(std::max(from, to));
            if (!edges.emplace(key, true).second) continue;
            ++springs[static_cast<size_t>(from)];
            ++springs[static_cast<size_t>(to)];
            const Corner& a = c[k];
            const Corner& b = c[(k + 1) % 3];
            Corner d{b.x - a.x, b.y - a.y, b.z - a.z};
            double length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
            if (first || length < shape.shortestEdge) {
                shape.shortestEdge = length;
                shape.shortestEdgePoint = from;
            }
            shape.longestEdge = first ? length : std::max(shape.longestEdge, length);
            first = false;
        }
    }
    for (int32_t i = 0; i < n; ++i) {
        if (springs[static_cast<size_t>(i)] > shape.busiestSprings) {
            shape.busiestSprings = springs[static_cast<size_t>(i)];
            shape.busiestPoint = i;
        }
    }
    const double pi = 3.14159265358979323846;
    shape.roundness = area > 0 ? 36 * pi * volume * volume / (area * area * area) : 0.0;
    return shape;
}

}  // namespace plumfold
