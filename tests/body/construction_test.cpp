// Building a body from a mesh: the parameters' effect on every point, and the
// hashed edge lookup against the plain scan (one spring per distinct edge in
// order of first appearance). The shipped scene's records are held by the
// checksums of tests/data from step 0 on, and a point of mass 0 (the drag
// point, made the same way) by the golden drag checksums.
#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "tests/support/bodies.h"
#include "tools/mesh_generators.h"

using namespace plumfold;

namespace {

// The hashed lookup gives the scan's springs, bit for bit.
bool hashedEqualsScan(const PressureBody& body) {
    return sameRecords(buildSprings(body.points, body.faces, 7.0f, 3.0f),
                       buildSpringsByScan(body.points, body.faces, 7.0f, 3.0f));
}

}  // namespace

// The trajectories do not tell a spring's direction; the first one is kept.
TEST(Construction, TheTetrahedronsSpringsInOrderOfFirstAppearance) {
    std::vector<std::pair<int32_t, int32_t>> ends;
    for (const Spring& s : sceneBodyAfter(tetraFile, 0).springs) ends.emplace_back(s.pointA, s.pointB);
    EXPECT_EQ(ends, (decltype(ends){{0, 1}, {1, 2}, {2, 0}, {2, 3}, {3, 0}, {3, 1}}));
}

TEST(Construction, ParametersShapeEveryPoint) {
    MeshData mesh{{1, 2, 3, 1.1f, -7.3f, 0.3f}, {}};
    BodyParams params;
    params.scale = 2.0f;
    params.offset = {1, 0, 0};
    params.pointMass = 2.0f;
    PressureBody body = bodyFromMesh(mesh, params);
    EXPECT_EQ(body.points[0].position, (Vector3{3, 4, 6}));
    EXPECT_EQ(body.points[0].inverseMass, 0.5f);

    // The scaled coordinate is rounded to float before the offset is added.
    params.scale = 0.9f;
    params.offset = {1e-3f, 3e-7f, 5e-8f};
    body = bodyFromMesh(mesh, params);
    bool roundingMatters = false;
    for (int k = 0; k < 3; ++k) {
        float v = mesh.vertices[3 + k], o = (&params.offset.x)[k];
        float expected = static_cast<float>(static_cast<double>(static_cast<float>(double(v) * 0.9f)) + o);
        EXPECT_EQ((&body.points[1].position.x)[k], expected);
        roundingMatters |= expected != static_cast<float>(double(v) * 0.9f + o);
    }
    EXPECT_TRUE(roundingMatters) << "the case no longer tells the two roundings apart";
}

// The hashed lookup must give the scan's springs exactly (one per distinct pair
// of end positions, in order of first appearance, the first direction kept),
// also where float equality is unusual: +0 and -0 are equal, NaN equals
// nothing, infinities equal themselves; repeated corners give springs of
// length 0.
TEST(Construction, HashedSpringsEqualTheScanOnRandomMeshes) {
    const float pool[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 2.0f, 1e-30f, -1e-30f};
    const float odd[] = {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN()};
    std::mt19937 random(20240611);
    for (int trial = 0; trial < 300; ++trial) {
        SCOPED_TRACE(trial);
        int vertexCount = 2 + static_cast<int>(random() % 30);
        int faceCount = static_cast<int>(random() % 60);
        PressureBody body;
        for (int i = 0; i < vertexCount; ++i) {
            float c[3];
            for (float& v : c) v = (trial % 10 == 0 && random() % 16 == 0) ? odd[random() % 3] : pool[random() % 8];
            body.points.push_back(MassPoint::make(1.0f, {c[0], c[1], c[2]}, {}));
        }
        for (int j = 0; j < faceCount; ++j) {
            Face face;
            face.pointA = static_cast<int32_t>(random() % vertexCount);
            face.pointB = static_cast<int32_t>(random() % vertexCount);
            face.pointC = static_cast<int32_t>(random() % vertexCount);
            body.faces.push_back(face);
        }
        EXPECT_TRUE(hashedEqualsScan(body));
    }
    EXPECT_TRUE(hashedEqualsScan(bodyFromMesh(makeIcosphere(3, 2.0f))));
}
