// Time steps of loose points and single springs: Heun and Euler steps, the box
// walls and the stretch limit.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "tests/support/bodies.h"

namespace {

// One step as the scene takes it: forces, then a Heun step of 0.001.
MassPoint afterOneStep(MassPoint point, Vector3 gravity = {}) {
    PressureBody body = loosePoints({point}, gravity);
    simulationStep(body);
    return body.points[0];
}

void expectNear(const Vector3& actual, const Vector3& expected) {
    EXPECT_FLOAT_EQ(actual.x, expected.x);
    EXPECT_FLOAT_EQ(actual.y, expected.y);
    EXPECT_FLOAT_EQ(actual.z, expected.z);
}

}  // namespace

TEST(Integration, AFreePointFallsOneHeunStep) {
    MassPoint p = afterOneStep(MassPoint::make(1, {}, {}), sceneGravity);
    EXPECT_EQ(p.velocity, (Vector3{0, -0.5f, 0}));
    EXPECT_EQ(p.position, (Vector3{0, static_cast<float>(-0.5 * 0.001f), 0}));
    // Changes of the predictor, and the forces at the predicted state.
    EXPECT_EQ(p.velocityChange, (Vector3{0, -0.5f, 0}));
    EXPECT_EQ(p.positionChange, (Vector3{0, static_cast<float>(-0.5 * 0.001f), 0}));
    EXPECT_EQ(p.force, (Vector3{0, -500, 0}));
}

TEST(Integration, WallsOfTheOpenBox) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* what;
        Vector3 position, velocity, endPosition, endVelocity;
    };
    const std::vector<Case> cases = {
        {"the floor reverses and damps the whole velocity", {0, -4.49f, 0}, {2, -100, 0}, {0.002f, -4.5f, 0}, {-1.2f, 60, 0}},
        {"the +x wall reverses x only", {4.49f, 0, 0}, {100, 1, 0}, {4.5f, 0.001f, 0}, {-60, 1, 0}},
        {"the -x and +z walls", {-4.49f, 0, 4.49f}, {-100, 0, 100}, {-4.5f, 0, 4.5f}, {60, 0, -60}},
        {"the -z wall", {0, 0, -4.49f}, {0, 0, -100}, {0, 0, -4.5f}, {0, 0, 60}},
        {"just past the walls", {4.5f, 0, 4.5f}, {1, 0, 1}, {4.5f, 0, 4.5f}, {-0.6f, 0, -0.6f}},
        {"no ceiling", {0, 10, 0}, {0, 5, 0}, {0, 10.005f, 0}, {0, 5, 0}},
        {"on the walls exactly is inside", {4.5f, -4.5f, -4.5f}, {}, {4.5f, -4.5f, -4.5f}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MassPoint p = afterOneStep(MassPoint::make(1, c.position, c.velocity));
        expectNear(p.position, c.endPosition);
        expectNear(p.velocity, c.endVelocity);
    }
    // A coordinate that is not a number lands on the lower walls.
    MassPoint lost = afterOneStep(MassPoint::make(1, {nan, nan, nan}, {}));
    EXPECT_EQ(lost.position, (Vector3{-4.5f, -4.5f, -4.5f}));

    // Only the Heun step knows the walls.
    PressureBody body = loosePoints({MassPoint::make(1, {0, -4.49f, 0}, {0, -100, 0})});
    body.integrate(Euler, 0.001f);
    EXPECT_FLOAT_EQ(body.points[0].position.y, -4.59f);
}

TEST(Integration, EulerUsesTheForcesAsTheyStand) {
    PressureBody body = loosePoints({MassPoint::make(2, {1, 1, 1}, {0, 1, 0})}, {0, -500, 0});
    body.computeForces();
    body.integrate(Euler, 0.01f);
    body.integrate(Euler, 0.01f);
    const MassPoint& p = body.points[0];
    EXPECT_EQ(p.velocityChange, (Vector3{0, -5, 0}));
    EXPECT_FLOAT_EQ(p.velocity.y, -9);
    // The position uses the velocity just updated: 1 + 0.01 · (−4) + 0.01 · (−9).
    EXPECT_FLOAT_EQ(p.position.y, 0.87f);
    EXPECT_FLOAT_EQ(p.positionChange.y, -0.09f);
}

TEST(Integration, FixedPointsStayWhateverTheirForces) {
    // A fixed point on a stretched stiff spring, below the floor-free height.
    PressureBody body = loosePoints({MassPoint::make(0, {0, 2, 0}, {}), MassPoint::make(1, {3, 2, 0}, {})}, sceneGravity);
    body.springs = {Spring::make(body.points.data(), 0, 1, 1e6f, 10)};
    body.springs[0].restLength = body.springs[0].maxDeviation = 0.5f;
    for (int i = 0; i < 50; ++i) simulationStep(body);
    EXPECT_EQ(body.points[0].position, (Vector3{0, 2, 0}));
    EXPECT_EQ(body.points[0].velocity, Vector3{});
    EXPECT_NE(body.points[1].position, (Vector3{3, 2, 0}));
}

TEST(Integration, StretchLimit) {
    struct Case {
        const char* what;
        float massA, restLength, startA;
        float endA, endB;  // x of A and B after the pass; B starts at 0
    };
    const std::vector<Case> cases = {
        {"both ends take half the excess", 1, 1, 3, 2.5f, 0.5f},
        {"a fixed end stays, so only half the excess goes", 0, 1, 3, 3, 0.5f},
        {"twice the rest length is within the limit", 1, 1, 2, 2, 0},
        {"compression is never limited", 1, 1, 0.1f, 0.1f, 0},
        {"a spring of length 0", 1, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PressureBody body = loosePoints({MassPoint::make(c.massA, {c.startA, 0, 0}, {}), MassPoint::make(1, {}, {})});
        body.springs = {Spring::make(body.points.data(), 0, 1, 10, 0)};
        body.springs[0].restLength = body.springs[0].maxDeviation = c.restLength;
        body.integrate(2, 0.001f);  // neither Euler nor Heun: the pass alone
        EXPECT_EQ(body.points[0].position, (Vector3{c.endA, 0, 0}));
        EXPECT_EQ(body.points[1].position, (Vector3{c.endB, 0, 0}));
    }
    // Each spring sees the positions the springs before it left.
    PressureBody chain = loosePoints({MassPoint::make(1, {4, 0, 0}, {}), MassPoint::make(0, {}, {}),
                                      MassPoint::make(0, {8, 0, 0}, {})});
    chain.springs = {Spring::make(chain.points.data(), 1, 0, 1, 0), Spring::make(chain.points.data(), 0, 2, 1, 0)};
    for (Spring& s : chain.springs) s.restLength = s.maxDeviation = 1;
    chain.integrate(2, 0.001f);
    EXPECT_EQ(chain.points[0].position, (Vector3{4.5f, 0, 0}));
}
