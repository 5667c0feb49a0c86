// The repair and remeshing run on CGAL's Surface_mesh; nothing of CGAL leaves
// this file.
#include "mesh/prepare.h"

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/border.h>
#include <CGAL/Polygon_mesh_processing/connected_components.h>
#include <CGAL/Polygon_mesh_processing/manifoldness.h>
#include <CGAL/Polygon_mesh_processing/measure.h>
#include <CGAL/Polygon_mesh_processing/orient_polygon_soup.h>
#include <CGAL/Polygon_mesh_processing/orientation.h>
#include <CGAL/Polygon_mesh_processing/polygon_soup_to_polygon_mesh.h>
#include <CGAL/Polygon_mesh_processing/remesh.h>
#include <CGAL/Polygon_mesh_processing/repair_polygon_soup.h>
#include <CGAL/Polygon_mesh_processing/stitch_borders.h>
#include <CGAL/Polygon_mesh_processing/triangulate_hole.h>
#include <CGAL/Surface_mesh.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <map>

namespace plumfold {

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Point = Kernel::Point_3;
using Mesh = CGAL::Surface_mesh<Point>;
namespace PMP = CGAL::Polygon_mesh_processing;

const double pi = 3.14159265358979323846;

// 12,345 -> "12,345": the step lines are read by people.
std::string count(size_t value) {
    std::string digits = std::to_string(value), text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

// How round a closed surface is: 1 for a sphere, 0.52 for a cube, towards 0 for
// a plate or a thin shell (36 pi V^2 / A^3).
double roundness(double volume, double area) {
    return area > 0 ? 36 * pi * volume * volume / (area * area * area) : 0.0;
}

// (x, y, z) turned so that `up` becomes +y, by a proper rotation (the winding
// stays outward).
std::array<double, 3> turnUp(const Point& p, Axis up) {
    double x = p.x(), y = p.y(), z = p.z();
    switch (up) {
        case Axis::PlusX: return {-y, x, z};
        case Axis::MinusX: return {y, -x, z};
        case Axis::PlusY: return {x, y, z};
        case Axis::MinusY: return {x, -y, -z};
        case Axis::PlusZ: return {x, z, -y};
        case Axis::MinusZ: return {x, -z, y};
    }
    return {x, y, z};
}

struct Failure {
    std::string reason;
};

bool closedAndManifold(const Mesh& mesh) {
    if (!CGAL::is_valid_polygon_mesh(mesh) || !CGAL::is_closed(mesh) || !CGAL::is_triangle_mesh(mesh)) return false;
    // Every vertex must have one fan of faces around it.
    std::vector<Mesh::Halfedge_index> nonManifold;
    PMP::non_manifold_vertices(mesh, std::back_inserter(nonManifold));
    return nonManifold.empty();
}

void runPrepare(const PolygonSoup& soup, const PrepareOptions& options, PrepareResult& result) {
    auto say = [&](const std::string& line) { result.steps.push_back(line); };
    const size_t pointCount = soup.points.size() / 3;
    if (soup.points.size() % 3 != 0) throw Failure{"the point list does not hold three coordinates per point"};
    for (size_t i = 0; i < soup.points.size(); ++i)
        if (!std::isfinite(soup.points[i]))
            throw Failure{"point " + std::to_string(i / 3) + " has a coordinate that is not a finite number"};
    for (size_t j = 0; j < soup.polygons.size(); ++j)
        for (int32_t index : soup.polygons[j])
            if (index < 0 || static_cast<size_t>(index) >= pointCount)
                throw Failure{"polygon " + std::to_string(j) + " names point " + std::to_string(index) +
                              ", but there are " + std::to_string(pointCount) + " points"};
    if (soup.polygons.empty()) throw Failure{"the model has no faces"};
    // Ear clipping takes time cubic in a polygon's corners at worst.
    for (size_t j = 0; j < soup.polygons.size(); ++j)
        if (soup.polygons[j].size() > 1000)
            throw Failure{"polygon " + std::to_string(j) + " has " + std::to_string(soup.polygons[j].size()) +
                          " corners; split it into polygons of at most 1,000 (or triangulate it) first"};

    // Coincident points first, so that the triangulation sees which polygons
    // share edges.
    std::vector<Point> points;
    for (size_t i = 0; i < pointCount; ++i)
        points.emplace_back(soup.points[3 * i], soup.points[3 * i + 1], soup.points[3 * i + 2]);
    std::vector<std::vector<size_t>> polygons;
    for (const auto& polygon : soup.polygons) polygons.emplace_back(polygon.begin(), polygon.end());
    size_t merged = PMP::merge_duplicate_points_in_polygon_soup(points, polygons);
    if (merged > 0) say("merged " + count(merged) + " coincident points");

    PolygonSoup shared;
    for (const Point& p : points) shared.points.insert(shared.points.end(), {p.x(), p.y(), p.z()});
    size_t nonTriangles = 0;
    for (const auto& polygon : polygons) {
        shared.polygons.emplace_back(polygon.begin(), polygon.end());
        if (polygon.size() != 3) ++nonTriangles;
    }
    std::vector<std::vector<int32_t>> triangles = triangulatePolygons(shared);
    if (nonTriangles > 0)
        say("triangulated " + count(nonTriangles) + " polygons (" + count(triangles.size()) + " triangles in all)");

    // Degenerate: a corner twice, or all three on one line (exact test).
    std::vector<std::vector<size_t>> kept;
    size_t degenerate = 0;
    for (const auto& t : triangles) {
        if (t[0] == t[1] || t[1] == t[2] || t[2] == t[0] ||
            CGAL::collinear(points[static_cast<size_t>(t[0])], points[static_cast<size_t>(t[1])],
                            points[static_cast<size_t>(t[2])]))
            ++degenerate;
        else kept.push_back({static_cast<size_t>(t[0]), static_cast<size_t>(t[1]), static_cast<size_t>(t[2])});
    }
    if (degenerate > 0) say("dropped " + count(degenerate) + " degenerate faces");
    size_t repeated = PMP::merge_duplicate_polygons_in_polygon_soup(points, kept);
    if (repeated > 0) say("dropped " + count(repeated) + " repeated faces");
    if (kept.empty()) throw Failure{"every face is degenerate: the model has no surface"};

    size_t unused = PMP::remove_isolated_points_in_polygon_soup(points, kept);
    if (unused > 0) say("dropped " + count(unused) + " points that no face uses");

    // Consistent winding; points where the surface is pinched are split.
    if (!PMP::orient_polygon_soup(points, kept)) say("split the surface at non-manifold points and edges");
    Mesh mesh;
    PMP::polygon_soup_to_polygon_mesh(points, kept, mesh);

    size_t stitched = PMP::stitch_borders(mesh);
    if (stitched > 0) say("stitched " + count(stitched) + " edges");

    // One body: the largest connected part.
    auto componentMap = mesh.add_property_map<Mesh::Face_index, std::size_t>("f:component").first;
    size_t components = PMP::connected_components(mesh, componentMap);
    if (components > 1) {
        PMP::keep_largest_connected_components(mesh, 1);
        mesh.collect_garbage();
        say("kept the largest of " + count(components) + " parts");
    }

    std::vector<Mesh::Halfedge_index> holes;
    PMP::extract_boundary_cycles(mesh, std::back_inserter(holes));
    if (!holes.empty()) {
        size_t holeEdges = 0;
        for (Mesh::Halfedge_index h : holes) {
            holeEdges += CGAL::halfedges_around_face(h, mesh).size();
            std::vector<Mesh::Face_index> patch;
            PMP::triangulate_hole(mesh, h, std::back_inserter(patch));
            if (patch.empty()) throw Failure{"a hole of the model could not be filled"};
        }
        say("filled " + count(holes.size()) + (holes.size() == 1 ? " hole (" : " holes (") + count(holeEdges) +
            " edges)");
    }
    if (!closedAndManifold(mesh)) throw Failure{"the surface could not be closed into one manifold shell"};

    double volume = PMP::volume(mesh), area = PMP::area(mesh);
    if (!std::isfinite(area) || !std::isfinite(volume))
        throw Failure{"the coordinates are too large to measure the surface; scale the model down first"};
    if (volume < 0) {
        PMP::reverse_face_orientations(mesh);
        volume = -volume;
        say("turned the faces outwards");
    }
    if (roundness(volume, area) < 1e-3)
        throw Failure{
            "the model encloses (almost) no volume: it is a flat or thin-walled shape, which pressure "
            "cannot hold up; give it a solid, closed form"};

    // Even edges: the length at which about `points` points cover the surface
    // with equilateral triangles (two per point).
    const size_t before = mesh.number_of_vertices();
    const double target = std::max(options.points, 4);
    double length = std::sqrt(2 * area / (std::sqrt(3.0) * target));
    Mesh original = mesh;
    for (int attempt = 0; attempt < 3; ++attempt) {
        PMP::isotropic_remeshing(faces(mesh), length, mesh, CGAL::parameters::number_of_iterations(3));
        mesh.collect_garbage();
        double ratio = static_cast<double>(mesh.number_of_vertices()) / target;
        if (ratio > 0.85 && ratio < 1.15) break;
        if (attempt < 2) {
            length *= std::sqrt(ratio);
            mesh = original;
        }
    }
    say("remeshed " + count(before) + " -> " + count(mesh.number_of_vertices()) + " points");
    if (!closedAndManifold(mesh) || !(PMP::volume(mesh) > 0))
        throw Failure{"remeshing did not leave one closed, outward shell"};

    // Up axis, then centre and size, in the program's coordinates.
    std::vector<std::array<double, 3>> turned;
    std::array<double, 3> low{}, high{};
    for (Mesh::Vertex_index v : mesh.vertices()) {
        turned.push_back(turnUp(mesh.point(v), options.up));
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = turned.size() == 1 ? turned.back()[axis] : std::min(low[axis], turned.back()[axis]);
            high[axis] = turned.size() == 1 ? turned.back()[axis] : std::max(high[axis], turned.back()[axis]);
        }
    }
    if (options.up != Axis::PlusY) say("turned the model's up axis to +y");
    double extent = std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]});
    double factor = options.size / (options.sceneScale * extent);
    for (const auto& p : turned)
        for (int axis = 0; axis < 3; ++axis)
            result.mesh.vertices.push_back(static_cast<float>((p[axis] - (low[axis] + high[axis]) / 2) * factor));
    char line[160];
    std::snprintf(line, sizeof line, "centred and scaled by %.6g to %.3g units across in the box", factor,
                  options.size);
    say(line);

    std::map<Mesh::Vertex_index, int32_t> index;
    for (Mesh::Vertex_index v : mesh.vertices()) index.emplace(v, static_cast<int32_t>(index.size()));
    for (Mesh::Face_index f : mesh.faces())
        for (Mesh::Vertex_index v : CGAL::vertices_around_face(mesh.halfedge(f), mesh))
            result.mesh.faceIndices.push_back(index.at(v));
}

}  // namespace

PrepareResult prepareBody(const PolygonSoup& soup, const PrepareOptions& options) {
    PrepareResult result;
    try {
        runPrepare(soup, options, result);
        result.ok = true;
    } catch (const Failure& failure) {
        result.error = failure.reason;
    } catch (const std::exception& e) {
        // CGAL reports broken preconditions by throwing.
        result.error = std::string("the geometry library gave up on this model: ") + e.what();
    }
    if (!result.ok) result.mesh = MeshData{};
    return result;
}

}  // namespace plumfold
