// prepareBody on small faulty models: every result is a body the program's own
// reader reads back and the structure checks pass, sized and turned as asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "mesh/import.h"
#include "mesh/mesh_checks.h"
#include "mesh/prepare.h"
#include "tests/support/bodies.h"

using namespace plumfold;

TEST(Prepare, RepairsEachFaultIntoASoundBody) {
    struct Case {
        const char* file;
        const char* step;  // the line that says the fault was repaired
        Axis up = Axis::PlusY;
    };
    for (const Case& c :
         {Case{"quads-share-three.obj", "triangulated 7 polygons"}, Case{"hole.off", "filled 1 hole (4 edges)"},
          Case{"inward.ply", "turned the faces outwards"}, Case{"nonmanifold.obj", "split the surface at non-manifold"},
          Case{"fan.ply", "remeshed 25 -> "}, Case{"zup-mm.stl", "turned the model's up axis to +y", Axis::PlusZ}}) {
        SCOPED_TRACE(c.file);
        ImportResult imported = importMesh(samples + c.file);
        ASSERT_TRUE(imported.ok) << imported.error;
        PrepareResult prepared = prepareBody(imported.soup, PrepareOptions{.points = 300, .size = 5, .up = c.up});
        ASSERT_TRUE(prepared.ok) << prepared.error;
        EXPECT_TRUE(std::any_of(prepared.steps.begin(), prepared.steps.end(),
                                [&](const std::string& s) { return s.find(c.step) == 0; }));

        MeshReport report = checkMesh(prepared.mesh);
        EXPECT_TRUE(report.closed() && report.consistentlyWound() && report.volume > 0);
        for (const CheckFinding& finding : judgeMesh(report, 0.9f, 4.5)) EXPECT_FALSE(finding.breaking) << finding.text;
        EXPECT_GT(measureShape(prepared.mesh).roundness, 0.05);
        EXPECT_NEAR(prepared.mesh.vertexCount(), 300, 60);

        // Largest extent 5 in the box after the scene's scale, and the tall axis up.
        double size[3];
        for (int k = 0; k < 3; ++k) size[k] = double(report.high[k]) - report.low[k];
        EXPECT_NEAR(*std::max_element(size, size + 3) * 0.9, 5.0, 1e-4);
        EXPECT_TRUE(c.up != Axis::PlusZ || std::max_element(size, size + 3) - size == 1);

        MeshFileResult read = writtenAndReadBack(prepared.mesh);
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_EQ(read.mesh.vertices, prepared.mesh.vertices);
        EXPECT_EQ(read.mesh.faceIndices, prepared.mesh.faceIndices);
    }
}

TEST(Prepare, RefusesWhatCannotHoldPressure) {
    struct Case {
        const char* name;
        PolygonSoup soup;
        const char* reason;
    };
    const std::vector<double> square = {0, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 1};
    std::vector<double> notANumber = square,
                        huge = {0, 0, 0, 1e90, 0, 0, 0, 1e90, 0, 0, 0, 1e90};  // the area overflows, the volume not
    notANumber[5] = std::nan("");
    for (const Case& c :
         {Case{"flat plate", {square, {{0, 1, 2, 3}}}, "no volume"},
          Case{"index out of range", {square, {{0, 1, 7}}}, "names point 7"},
          Case{"not a number", {notANumber, {{0, 1, 2}}}, "finite"}, Case{"no faces", {square, {}}, "no faces"},
          Case{"huge", {huge, {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}}, "too large"}}) {
        SCOPED_TRACE(c.name);
        PrepareResult prepared = prepareBody(c.soup, PrepareOptions{});
        EXPECT_FALSE(prepared.ok);
        EXPECT_NE(prepared.error.find(c.reason), std::string::npos) << prepared.error;
    }
}

// Cutting each quad from its first corner would put four triangles on the edge
// 1-3 of these two quads, which share three corners. And a dart, notched at its
// fourth corner: an ear cut at a corner whose triangle holds the notch would
// cover ground outside it, and the areas would add up to more.
TEST(Prepare, TriangulationPutsNoEdgeInMoreThanTwoTrianglesAndCutsOnlyEmptyEars) {
    std::map<std::pair<int32_t, int32_t>, int> uses;
    for (const auto& t : triangulatePolygons(importMesh(samples + "quads-share-three.obj").soup)) {
        ASSERT_EQ(t.size(), 3u);
        for (int k = 0; k < 3; ++k) ++uses[std::minmax(t[k], t[(k + 1) % 3])];
    }
    for (const auto& [edge, count] : uses) EXPECT_EQ(count, 2) << edge.first << "-" << edge.second;

    const PolygonSoup dart{{0, 0, 0, 4, 0, 0, 4, 0, 4, 2, 0, 1, 0, 0, 4}, {{0, 1, 2, 3, 4}}};
    double area = 0;
    for (const auto& t : triangulatePolygons(dart)) {
        const double *a = &dart.points[3 * t[0]], *b = &dart.points[3 * t[1]], *c = &dart.points[3 * t[2]];
        area += std::fabs((b[0] - a[0]) * (c[2] - a[2]) - (b[2] - a[2]) * (c[0] - a[0])) / 2;
    }
    EXPECT_EQ(area, 10);
}
