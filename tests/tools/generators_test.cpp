// Generated bodies: counts, closed outward surfaces, and exact round trips
// through the program's own reader; plumfold-mesh as a user runs it.
#include <gtest/gtest.h>

#include <limits>

#include "mesh/mesh_checks.h"
#include "tests/support/bodies.h"
#include "tools/mesh_generators.h"

using namespace plumfold;

namespace {

// Written and read back, the mesh is the same to the last bit.
void expectBitIdenticalReadBack(const MeshData& mesh) {
    const MeshFile file = writtenAndReadBack(mesh, plumfold::MeshFileCheck::AsWritten).mesh;
    EXPECT_TRUE(file.vertexCount == mesh.vertexCount() && file.faceCount == mesh.faceCount());
    EXPECT_TRUE(sameRecords(file.vertices, mesh.vertices) && file.faceIndices == mesh.faceIndices);
}

const double pi = 3.14159265358979323846;

}  // namespace

// Inscribed in the smooth shape, each volume is a little less than the shape's,
// never more (level 0 is 0.61 of its sphere, a 3 x 3 torus far less).
TEST(Generators, ShapesAreClosedOutwardAndReadBackExactly) {
    struct Shape {
        MeshData mesh;
        int32_t vertices, faces;
        double low, high;  // the enclosed volume's bounds
    };
    const double sphere = 4.0 / 3.0 * pi * 1.7 * 1.7 * 1.7, torus = 2 * pi * pi * 2.0 * 0.5 * 0.5;
    std::vector<Shape> shapes;
    for (int n = 0; n <= 3; ++n) {
        shapes.push_back({makeIcosphere(n, 1.7f), 10 * (1 << 2 * n) + 2, 20 * (1 << 2 * n), 0.6 * sphere, sphere});
        const std::vector<float>& v = shapes.back().mesh.vertices;
        int off = 0;
        for (size_t i = 0; i < v.size(); i += 3) off += std::fabs(std::hypot(v[i], v[i + 1], v[i + 2]) - 1.7) > 1e-6;
        EXPECT_EQ(off, 0) << "points off the sphere, level " << n;
        shapes.push_back(
            {makeCube(3.0f, n + 1), 6 * (n + 1) * (n + 1) + 2, 12 * (n + 1) * (n + 1), 27 - 1e-9, 27 + 1e-9});
    }
    shapes.push_back({makeTorus(2.0f, 0.5f, 3, 3), 9, 18, 1e-9, torus});
    shapes.push_back({makeTorus(2.0f, 0.5f, 24, 8), 192, 384, 0.88 * torus, torus});
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(testing::Message() << shape.vertices << " vertices");
        const MeshReport r = checkMesh(shape.mesh);
        EXPECT_EQ(r.vertexCount, shape.vertices);
        EXPECT_EQ(r.faceCount, shape.faces);
        EXPECT_EQ(r.edgeCount, 3LL * shape.faces / 2);
        EXPECT_TRUE(r.closed() && r.consistentlyWound());
        EXPECT_EQ(r.repeatedIndexFaces + r.zeroAreaFaces + r.duplicatePositions + r.unusedVertices, 0);
        EXPECT_GE(r.volume, shape.low);
        EXPECT_LE(r.volume, shape.high * (1 + 1e-6));
        expectBitIdenticalReadBack(shape.mesh);
    }
}

TEST(Generators, AwkwardCoordinatesSurviveTheTextRoundTrip) {
    // Values whose shortest decimal text needs all nine digits, tiny and huge
    // magnitudes, and -0.
    MeshData mesh;
    // clang-format off
    float values[] = {0.1f, 1.0f / 3.0f, -0.0f, std::numeric_limits<float>::denorm_min(),
                      std::numeric_limits<float>::min(), std::numeric_limits<float>::max(),
                      -std::numeric_limits<float>::max(), std::nextafter(1.0f, 2.0f), 16777217.0f,
                      123456.789f, -9.87654321e-20f, 4.5f};
    // clang-format on
    for (float v : values) mesh.vertices.push_back(v);
    mesh.faceIndices = {0, 1, 2, 3, 2, 1};
    expectBitIdenticalReadBack(mesh);
}

// plumfold-mesh as users run it, in order (later cases read what earlier ones
// wrote): check calls a body usable only when the scene's probe survives, the
// generators and prepare make usable bodies, and mistakes get a clear line.
TEST(PlumfoldMesh, VerdictAndStatusFollowTheBody) {
    TempDir dir;
    dir.write("box.stl", std::string(80, ' ') + std::string("\xff\xff\xff\x7f", 4) + std::string(50, '\0'));
    dir.write("plate.obj", "v 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\nf 1 2 3 4\n");
    // A tetrahedron with its top written twice, a loose point and a face that
    // collapses once the two tops are one.
    dir.write(
        "dup.obj",
        "v 0 1 0\nv -1 -1 1\nv 1 -1 1\nv 0 -1 -1\nv 0 1 0\nv 9 9 9\nf 1 2 3\nf 5 3 4\nf 1 4 2\nf 2 4 3\nf 1 5 2\n");
    dir.write("tetra.asc",
              "Vertices: 4 Faces: 4 Vertex List: 0: X:0 Y:3 Z:0 1: X:-1 Y:-2 Z:2 2: X:1.5 Y:-2 Z:2 "
              "3: X:0 Y:-2 Z:-0.5 Face list: 0: A:0 B:1 C:2 1: A:0 B:2 C:3 2: A:0 B:3 C:1 3: A:1 B:3 C:2");
    const struct {
        std::string arguments;
        int status;  // -1: the probe's business
        const char* says;
    } cases[] = {
        {"check tetra.asc", -1,
         "vertices 4 faces 4 edges 6\nsprings 6 (mass points 4, faces 4)\nclosed yes (open edges 0, edges in more "
         "than two faces 0)\nwinding consistent (edges run the same way by both faces 0)\nvolume 5.20833333 (outward)\n"
         "degenerate faces 0 (repeated index 0, zero area 0)\nunused vertices 0\nduplicate positions 0\nindices out "
         "of range 0\nbounds after scale 0.899999976: x -0.9 1.35 y -1.8 2.7 z -0.45 1.8 (box |x|,|z| <= 4.5, y >= "
         "-4.5)\n"
         "springs per point at most 3 (point 0), spring lengths 2.5 to 5.59, roundness 0.225\n"},
        {"check " PLUMFOLD_SOURCE_DIR "/Objects/Objekt3.asc", 0, "result: usable"},
        {"convert dup.obj -o dup.asc", 0,
         "dup.obj: merged 1 coincident vertices\nplumfold-mesh: dup.obj: dropped 1 vertices that no face uses\n"
         "plumfold-mesh: dup.obj: dropped 1 triangles with a corner repeated after merging\n"},
        // A cube much smaller than 5 inflates more than threefold under the fixed pressure.
        {"sphere 3 2 -o sphere.asc", 0, ""},
        {"check sphere.asc", 0, "result: usable"},
        {"cube 5 8 -o cube.asc", 0, ""},
        {"check cube.asc", 0, "result: usable"},
        {"torus 2 0.8 32 12 -o torus.asc", 0, ""},
        {"check torus.asc", 0, "result: usable"},
        // A cap fanned around one point, converted as it is: the probe fails and
        // the finding names the point and the fix.
        {"convert " + samples + "fan.ply --fit 6 --force -o fan.asc", 0, ""},
        {"check fan.asc", 1, "springs: the step is unstable there; `plumfold-mesh prepare`"},
        {"check " + samples + "fan.ply", 0, "result: usable"},
        {"prepare " + samples + "zup-mm.stl --up z --points 500 -o zup.asc", 0, "up axis"},
        {"check zup.asc", 0, "result: usable"},
        {"prepare plate.obj -o plate.asc", 1, "no volume"},
        // A file that cannot be imported: one line, and nothing written.
        {"convert box.stl -o box.asc", 1, "plumfold-mesh: box.stl: STL: binary STL of 2147483647 triangles"},
        {"check box.asc", 1, "Unable to open box.asc file."},
        {"prepare plate.obj --up w", 2, "--up must be one of"},
        {"sphere 14 1", 2, "LEVEL must be from 0 to 13"},
        {"sphere 2 nan", 2, "RADIUS must be a positive"},
        {"sphere 2 1e39", 2, "RADIUS must be a positive"},
        {"sphere two 1", 2, "LEVEL must be a whole number"},
        {"cube -2", 2, "SIZE must be a positive"},
        {"torus 1 1 8 8", 2, "smaller than R"},
        {"torus 2 1 2 8", 2, "SEGMENTS must be from 3"},
        {"torus 2 1 8 2", 2, "RINGS must be from 3"},
        {"torus 2 1 100000 100000", 2, "fit a 32-bit count"},
        {"sphere 2", 2, "expected sphere LEVEL RADIUS"},
        {"pyramid 2", 2, "unknown command"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        Outcome run = runProgram(command(meshTool, c.arguments), dir.path.string());
        EXPECT_TRUE(c.status < 0 || run.status == c.status) << run.status << " " << run.all();
        EXPECT_NE(run.all().find(c.says), std::string::npos) << run.all();
    }
}
