// Vector arithmetic and the force evaluation on small bodies with known answers.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/bodies.h"

namespace {

void swapWinding(PressureBody& body) {
    for (Face& f : body.faces) std::swap(f.pointB, f.pointC);
}

}  // namespace

TEST(Vector3, EachResultIsFormedInDoubleAndRoundedOnce) {
    // z = 1.00024414 · 1.00024414 − 1 · 1: float products would lose the 2^-24.
    float a = 1.0f + 0x1p-12f;
    EXPECT_EQ((Vector3{a, 1, 0}.cross(Vector3{1, a, 0})), (Vector3{0, 0, 0x1p-11f + 0x1p-24f}));
    EXPECT_EQ((Vector3{1, 0, 0}.cross(Vector3{0, 1, 0})), (Vector3{0, 0, 1}));
    // Summed z, then y, then x: any other order loses the 1.
    EXPECT_EQ((Vector3{1, 1e20f, -1e20f}.dot(Vector3{1, 1, 1})), 1.0);

    Vector3 zero;
    zero.normalize();
    EXPECT_EQ(zero, Vector3{});
    Vector3 v{3, 0, 4};
    v.normalize();
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.z, 0.8f);
    // Multiplied by the float reciprocal 1/41, not divided by 41.
    Vector3 w{41, 0, 0};
    w.normalize();
    EXPECT_EQ(w.x, 0.99999994f);
}

TEST(Forces, SpringForces) {
    struct Case {
        const char* what;
        Vector3 positionA, velocityA, velocityB;
        float restLength, stiffness, damping;
        float forceOnB;  // along x; A gets the opposite
    };
    const std::vector<Case> cases = {
        {"stretched, at rest", {2, 0, 0}, {}, {}, 1, 10, 0, 10},
        {"at rest length, A moving away", {2, 0, 0}, {1, 0, 0}, {}, 2, 10, 3, 3},
        {"at rest length, moving together", {2, 0, 0}, {1, 5, 0}, {1, 5, 0}, 2, 10, 3, 0},
        {"compressed", {0.5f, 0, 0}, {}, {}, 1, 10, 0, -5},
        {"coincident ends", {0, 0, 0}, {1, 0, 0}, {}, 1, 10, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PressureBody body = loosePoints({MassPoint::make(1, c.positionA, c.velocityA), MassPoint::make(0, {}, c.velocityB)});
        Spring s = Spring::make(body.points.data(), 0, 1, c.stiffness, c.damping);
        s.restLength = c.restLength;
        body.springs = {s};
        body.computeForces();
        EXPECT_EQ(body.points[0].force, (Vector3{-c.forceOnB, 0, 0}));
        EXPECT_EQ(body.points[1].force, (Vector3{c.forceOnB, 0, 0}));
    }
    // A point of mass 0 gets no gravity; the others get mass × gravity.
    PressureBody body = loosePoints({MassPoint::make(0, {}, {}), MassPoint::make(2, {}, {})}, {0, -500, 0});
    body.computeForces();
    EXPECT_EQ(body.points[0].force, Vector3{});
    EXPECT_EQ(body.points[1].force, (Vector3{0, -1000, 0}));
}

TEST(Forces, FaceGeometryVolumeAndPressure) {
    PressureBody flat = loosePoints({MassPoint::make(1, {0, 0, 0}, {}), MassPoint::make(1, {1, 0, 0}, {}),
                                     MassPoint::make(1, {0, 1, 0}, {})});
    flat.faces = {Face{0, 1, 2, {}, 0, {}}};
    flat.computeForces();
    EXPECT_EQ(flat.faces[0].normal, (Vector3{0, 0, 1}));
    EXPECT_EQ(flat.faces[0].area, 1.0f);

    // Facing +x at x = 1: volume 3 · 0.333, and each corner takes 0.3333 of the
    // face's force, so 0.9999 of it reaches the points.
    PressureBody single = loosePoints({MassPoint::make(1, {1, 0, 0}, {}), MassPoint::make(1, {1, 1, 0}, {}),
                                       MassPoint::make(1, {1, 0, 1}, {})});
    single.faces = {Face{0, 1, 2, {}, 0, {}}};
    single.computeForces();
    EXPECT_EQ(single.volume, 0.999f);
    EXPECT_EQ(single.inverseVolume, static_cast<float>(1.0 / 0.999f));
    const Vector3 pressure = single.faces[0].pressureForce;
    EXPECT_EQ(pressure, (Vector3{static_cast<float>(1826320.0f * double(single.inverseVolume)), 0, 0}));
    for (const MassPoint& p : single.points) EXPECT_EQ(p.force, (Vector3{static_cast<float>(pressure.x * 0.3333f), 0, 0}));

    PressureBody cube = bodyFromMesh(unitCube(), [] {
        BodyParams p;
        p.scale = 1;
        return p;
    }());
    cube.computeForces();
    EXPECT_FLOAT_EQ(cube.volume, 1.998f);
    EXPECT_FLOAT_EQ(cube.inverseVolume, 1 / 1.998f);
    std::vector<MassPoint> outward = cube.points;
    std::vector<Face> outwardFaces = cube.faces;
    cube.computeForces();  // forces are cleared first: a second call changes nothing
    for (size_t i = 0; i < outward.size(); ++i) EXPECT_EQ(cube.points[i].force, outward[i].force);

    swapWinding(cube);
    cube.computeForces();
    EXPECT_FLOAT_EQ(cube.volume, -1.998f);
    for (size_t j = 0; j < outwardFaces.size(); ++j) {
        EXPECT_EQ(cube.faces[j].pressureForce, outwardFaces[j].pressureForce);
        EXPECT_EQ(cube.faces[j].normal, -1.0f * outwardFaces[j].normal);
    }
    // Pressure pushes outwards: the corner at the origin is pushed to -x, -y, -z.
    EXPECT_LT(cube.points[0].force.x, 0);
    EXPECT_LT(cube.points[0].force.y, 0);
    EXPECT_LT(cube.points[0].force.z, 0);
}

// A body whose volume measure is exactly 0 has no pressure to speak of; it must
// get none rather than infinite or NaN forces.
TEST(Forces, AFlatBodyGetsNoPressure) {
    MeshData doubleSquare{{0, 0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1}, {0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2}};
    MeshData collapsed{std::vector<float>(12, 0.5f), {0, 1, 2, 0, 2, 3, 0, 3, 1, 1, 3, 2}};
    for (const MeshData& mesh : {doubleSquare, collapsed}) {
        PressureBody body = bodyFromMesh(mesh);
        body.gravity = sceneGravity;
        body.computeForces();
        EXPECT_EQ(body.volume, 0.0f);
        for (const Face& f : body.faces) EXPECT_EQ(f.pressureForce, Vector3{});
        for (const MassPoint& p : body.points) EXPECT_EQ(p.force, (Vector3{0, -500, 0}));
        for (int i = 0; i < 2000; ++i) simulationStep(body);
        EXPECT_TRUE(allFinite(body));
        EXPECT_TRUE(std::isfinite(body.inverseVolume));
    }
}
