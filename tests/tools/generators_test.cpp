// Generated bodies: counts, closed outward surfaces, and exact round trips
// through the program's own reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "mesh/mesh_checks.h"
#include "tests/support/bodies.h"
#include "tools/mesh_generators.h"

using namespace plumfold;

namespace {

// Written and read back, the mesh is the same to the last bit.
void expectBitIdenticalReadBack(const MeshData& mesh) {
    const MeshFile file = writtenAndReadBack(mesh, plumfold::MeshFileCheck::AsWritten).mesh;
    ASSERT_EQ(file.vertexCount, mesh.vertexCount());
    ASSERT_EQ(file.faceCount, mesh.faceCount());
    ASSERT_EQ(file.vertices.size(), mesh.vertices.size());
    EXPECT_EQ(std::memcmp(file.vertices.data(), mesh.vertices.data(), mesh.vertices.size() * sizeof(float)), 0);
    EXPECT_EQ(file.faceIndices, mesh.faceIndices);
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
        shapes.push_back({makeCube(3.0f, n + 1), 6 * (n + 1) * (n + 1) + 2, 12 * (n + 1) * (n + 1), 27 - 1e-9, 27 + 1e-9});
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

// The tool writes what check accepts, and turns bad arguments away clearly.
TEST(Generators, ToolWritesUsableMeshesAndRejectsBadArguments) {
    // A cube much smaller than 5 inflates more than threefold under the fixed pressure.
    for (std::string arguments : {"sphere 3 2", "cube 5 8", "torus 2 0.8 32 12"}) {
        SCOPED_TRACE(arguments);
        TempDir dir;
        Outcome made = runProgram(command(meshTool, arguments + " -o generated.asc"), dir.path.string());
        ASSERT_EQ(made.status, 0) << made.all();
        Outcome check = runProgram({meshTool, "check", "generated.asc"}, dir.path.string());
        EXPECT_EQ(check.status, 0) << check.all();
        EXPECT_NE(check.out.find("result: usable"), std::string::npos) << check.out;
    }
    struct Case {
        const char* arguments;
        const char* message;
    } cases[] = {
        {"sphere 14 1", "LEVEL must be from 0 to 13"},
        {"sphere 2 nan", "RADIUS must be a positive"},
        {"sphere 2 1e39", "RADIUS must be a positive"},
        {"sphere two 1", "LEVEL must be a whole number"},
        {"cube -2", "SIZE must be a positive"},
        {"torus 1 1 8 8", "smaller than R"},
        {"torus 2 1 2 8", "SEGMENTS must be from 3"},
        {"torus 2 1 8 2", "RINGS must be from 3"},
        {"torus 2 1 100000 100000", "fit a 32-bit count"},
        {"sphere 2", "expected sphere LEVEL RADIUS"},
        {"pyramid 2", "unknown command"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        Outcome run = runProgram(command(meshTool, c.arguments));
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.all().find(c.message), std::string::npos) << run.all();
    }
}
