// The stretch limit, which the engine and the reference share.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/bodies.h"

using namespace plumfold;

TEST(StretchLimit, PullsOverstretchedEndsTogetherInSpringOrder) {
    struct Case {
        const char* what;
        float massA, restLength, startA;
        float endA, endB;  // x of A and B after the pass; B starts at 0
        int corrections;
    };
    const std::vector<Case> cases = {
        {"both ends take half the excess", 1, 1, 3, 2.5f, 0.5f, 1},
        {"a fixed end stays, so only half the excess goes", 0, 1, 3, 3, 0.5f, 1},
        {"twice the rest length is within the limit", 1, 1, 2, 2, 0, 0},
        {"compression is never limited", 1, 1, 0.1f, 0.1f, 0, 0},
        {"a spring of length 0", 1, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PressureBody body = loosePoints({MassPoint::make(c.massA, {c.startA, 0, 0}, {}), MassPoint::make(1, {}, {})});
        body.springs = {Spring::make(body.points.data(), 0, 1, 10, 0)};
        body.springs[0].restLength = body.springs[0].maxDeviation = c.restLength;
        body.integrate(2, 0.001f);  // neither Euler nor Heun: the pass alone
        EXPECT_EQ(body.lastStretchCorrections(), c.corrections);
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
