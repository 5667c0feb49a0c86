// Generated bodies: counts, closed outward surfaces, and exact round trips
// through the program's own reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "mesh/mesh_file.h"
#include "tests/support/process.h"
#include "mesh/mesh_data.h"
#include "mesh/mesh_checks.h"
#include "tools/mesh_generators.h"

namespace {

const std::string meshTool = PLUMFOLD_BINARY_DIR "/tools/plumfold-mesh";

// Writes the mesh with the tools' writer and reads it back with the program's reader.
MeshFile writeAndRead(const MeshData& mesh) {
    TempDir dir;
    std::string path = (dir.path / "mesh.asc").string();
    std::FILE* out = std::fopen(path.c_str(), "w");
    bool ok = out != nullptr && writeMesh(out, mesh, "test mesh");
    if (out != nullptr) std::fclose(out);
    if (!ok) return MeshFile{};
    MeshFile file = plumfold::readMeshFile(path.c_str(), plumfold::MeshFileCheck::AsWritten).mesh;
    file.fileName = nullptr;
    return file;
}

void expectSound(const MeshData& mesh, int32_t vertices, int32_t faces, double expectedVolume) {
    MeshReport r = checkMesh(mesh);
    EXPECT_EQ(r.vertexCount, vertices);
    EXPECT_EQ(r.faceCount, faces);
    EXPECT_EQ(r.edgeCount, 3LL * faces / 2);
    EXPECT_TRUE(r.closed());
    EXPECT_TRUE(r.consistentlyWound());
    EXPECT_EQ(r.repeatedIndexFaces + r.zeroAreaFaces, 0);
    EXPECT_EQ(r.duplicatePositions, 0);
    EXPECT_EQ(r.unusedVertices, 0);
    EXPECT_GT(r.volume, 0.0) << "wound inwards";
    // Inscribed in the smooth shape: a little less, never more (level 0 is 0.61 of its sphere).
    EXPECT_LE(r.volume, expectedVolume * (1 + 1e-6));
    EXPECT_GT(r.volume, expectedVolume * 0.6);
}

void expectBitIdentical(const MeshData& mesh, const MeshFile& file) {
    ASSERT_EQ(file.vertexCount, mesh.vertexCount());
    ASSERT_EQ(file.faceCount, mesh.faceCount());
    ASSERT_EQ(file.vertices.size(), mesh.vertices.size());
    EXPECT_EQ(std::memcmp(file.vertices.data(), mesh.vertices.data(), mesh.vertices.size() * sizeof(float)), 0);
    EXPECT_EQ(file.faceIndices, mesh.faceIndices);
}

const double pi = 3.14159265358979323846;

}  // namespace

TEST(Generators, IcospheresAndCubesAreClosedOutwardAndReadBackExactly) {
    for (int n = 0; n <= 3; ++n) {
        SCOPED_TRACE(n);
        int32_t quarter = 1 << (2 * n), divisions = n + 1;
        MeshData sphere = makeIcosphere(n, 1.7f), cube = makeCube(3.0f, divisions);
        expectSound(sphere, 10 * quarter + 2, 20 * quarter, 4.0 / 3.0 * pi * 1.7 * 1.7 * 1.7);
        expectSound(cube, 6 * divisions * divisions + 2, 12 * divisions * divisions, 27.0);
        EXPECT_NEAR(checkMesh(cube).volume, 27.0, 1e-9);
        expectBitIdentical(sphere, writeAndRead(sphere));
        expectBitIdentical(cube, writeAndRead(cube));
    }
}

TEST(Generators, ToriAreClosedOutwardAndReadBackExactly) {
    for (auto [segments, rings] : {std::pair{3, 3}, std::pair{24, 8}, std::pair{7, 11}}) {
        SCOPED_TRACE(segments * 100 + rings);
        MeshData mesh = makeTorus(2.0f, 0.5f, segments, rings);
        double exact = 2 * pi * pi * 2.0 * 0.5 * 0.5;
        MeshReport r = checkMesh(mesh);
        EXPECT_EQ(r.vertexCount, segments * rings);
        EXPECT_EQ(r.faceCount, 2 * segments * rings);
        EXPECT_TRUE(r.closed());
        EXPECT_TRUE(r.consistentlyWound());
        EXPECT_EQ(r.duplicatePositions, 0);
        EXPECT_GT(r.volume, 0.0);
        if (segments > 20) {
            EXPECT_NEAR(r.volume, exact, exact * 0.12);
        }
        expectBitIdentical(mesh, writeAndRead(mesh));
    }
}

TEST(Generators, AwkwardCoordinatesSurviveTheTextRoundTrip) {
    // Values whose shortest decimal text needs all nine digits, tiny and huge
    // magnitudes, and -0.
    MeshData mesh;
    float values[] = {0.1f, 1.0f / 3.0f, -0.0f, std::numeric_limits<float>::denorm_min(),
                      std::numeric_limits<float>::min(), std::numeric_limits<float>::max(),
                      -std::numeric_limits<float>::max(), std::nextafter(1.0f, 2.0f), 16777217.0f,
                      123456.789f, -9.87654321e-20f, 4.5f};
    for (float v : values) mesh.vertices.push_back(v);
    mesh.faceIndices = {0, 1, 2, 3, 2, 1};
    expectBitIdentical(mesh, writeAndRead(mesh));
}

// The tool writes what check accepts, and turns bad arguments away clearly.
TEST(Generators, ToolWritesUsableMeshesAndRejectsBadArguments) {
    for (std::string arguments : {"sphere 3 2", "cube 2.5 4", "torus 2 0.8 32 12"}) {
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
        {"sphere -1 1", "LEVEL must be from 0 to 13"},
        {"sphere 2 0", "RADIUS must be a positive"},
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
