// The hashed spring construction against the plain scan: the same springs, in
// the same order, with the same end-point order, including meshes that make
// the table grow, positions shared by distinct points, ±0 and NaN coordinates.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "body/pressure_body.h"
#include "tools/mesh_generators.h"

namespace {

std::vector<MassPoint> pointsOf(const std::vector<float>& coordinates) {
    std::vector<MassPoint> points;
    for (size_t i = 0; i + 2 < coordinates.size(); i += 3)
        points.push_back(MassPoint::make(1.0f, Vector3{coordinates[i], coordinates[i + 1], coordinates[i + 2]}, {}));
    return points;
}

std::vector<Face> facesOf(const std::vector<int32_t>& indices) {
    std::vector<Face> faces;
    for (size_t j = 0; j + 2 < indices.size(); j += 3) {
        Face face;
        face.pointA = indices[j];
        face.pointB = indices[j + 1];
        face.pointC = indices[j + 2];
        faces.push_back(face);
    }
    return faces;
}

void expectSameSprings(const std::vector<MassPoint>& points, const std::vector<Face>& faces) {
    const std::vector<Spring> hashed = buildSprings(points, faces, 3.0f, 0.5f);
    const std::vector<Spring> scanned = buildSpringsByScan(points, faces, 3.0f, 0.5f);
    ASSERT_EQ(hashed.size(), scanned.size());
    for (size_t s = 0; s < hashed.size(); ++s) {
        EXPECT_EQ(hashed[s].pointA, scanned[s].pointA) << "spring " << s;
        EXPECT_EQ(hashed[s].pointB, scanned[s].pointB) << "spring " << s;
    }
}

}  // namespace

TEST(SpringTable, MatchesTheScanOnAClosedSphere) {
    const MeshData sphere = makeIcosphere(3, 2.0f);
    const std::vector<MassPoint> points = pointsOf(sphere.vertices);
    const std::vector<Face> faces = facesOf(sphere.faceIndices);
    expectSameSprings(points, faces);
    EXPECT_EQ(buildSprings(points, faces, 1.0f, 1.0f).size(), faces.size() * 3 / 2);
}

TEST(SpringTable, MatchesTheScanWhenEveryEdgeIsNewAndTheTableGrows) {
    // Separate triangles: three springs per face, twice what the table expects.
    std::vector<float> coordinates;
    std::vector<int32_t> indices;
    for (int t = 0; t < 3000; ++t) {
        for (int corner = 0; corner < 3; ++corner) {
            coordinates.insert(coordinates.end(), {static_cast<float>(t), static_cast<float>(corner), 0.5f * corner});
            indices.push_back(3 * t + corner);
        }
    }
    expectSameSprings(pointsOf(coordinates), facesOf(indices));
}

TEST(SpringTable, MatchesTheScanOnSharedPositionsSignedZerosAndNaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Points 0 and 3 coincide, as do 1 and 4 (with −0 for +0); point 5 is NaN.
    const std::vector<float> coordinates = {0, 0, 0,  1, 0, 0,  0, 1, 0,  0, 0, 0,  1, -0.0f, 0,  nan, 0, 0};
    const std::vector<int32_t> indices = {0, 1, 2,  3, 4, 2,  4, 3, 2,  5, 0, 1,  5, 0, 1,  2, 2, 1,  1, 2, 2};
    expectSameSprings(pointsOf(coordinates), facesOf(indices));
}
