// The bulk step solver against the plain per-record loops (bench/baseline_step):
// every field of every record must agree to the last bit, step after step,
// through drags, stretch-limit corrections, edits between steps and degenerate
// bodies. The plain loops themselves must reproduce the reference trajectories.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/baseline_step.h"
#include "body/drag.h"
#include "body/step_solver.h"
#include "body/scene.h"
#include "body/state_hash.h"
#include "tests/support/bodies.h"
#include "tools/mesh_generators.h"

namespace {

uint32_t bits(float value) {
    uint32_t b;
    std::memcpy(&b, &value, sizeof b);
    return b;
}

// Bitwise equality of two vectors, reported with where it differs.
void expectSameVector(const Vector3& fast, const Vector3& plain, const std::string& where) {
    ASSERT_TRUE(bits(fast.x) == bits(plain.x) && bits(fast.y) == bits(plain.y) && bits(fast.z) == bits(plain.z))
        << where << ": (" << fast.x << ", " << fast.y << ", " << fast.z << ") vs (" << plain.x << ", " << plain.y
        << ", " << plain.z << ")";
}

void expectSamePoints(const std::vector<MassPoint>& fast, const std::vector<MassPoint>& plain,
                      const std::string& where) {
    ASSERT_EQ(fast.size(), plain.size()) << where;
    for (size_t i = 0; i < fast.size(); ++i) {
        const std::string at = where + " point " + std::to_string(i);
        ASSERT_EQ(bits(fast[i].mass), bits(plain[i].mass)) << at;
        ASSERT_EQ(bits(fast[i].inverseMass), bits(plain[i].inverseMass)) << at;
        expectSameVector(fast[i].position, plain[i].position, at + " position");
        expectSameVector(fast[i].velocity, plain[i].velocity, at + " velocity");
        expectSameVector(fast[i].force, plain[i].force, at + " force");
        expectSameVector(fast[i].positionChange, plain[i].positionChange, at + " positionChange");
        expectSameVector(fast[i].velocityChange, plain[i].velocityChange, at + " velocityChange");
    }
}

void expectSameState(const PressureBody& fast, const PressureBody& plain, const std::string& where) {
    ASSERT_EQ(bits(fast.volume), bits(plain.volume)) << where << " volume";
    ASSERT_EQ(bits(fast.inverseVolume), bits(plain.inverseVolume)) << where << " inverseVolume";
    expectSamePoints(fast.points, plain.points, where);
    expectSamePoints(fast.stepCopy, plain.stepCopy, where + " stepCopy");
    ASSERT_EQ(fast.faces.size(), plain.faces.size());
    for (size_t f = 0; f < fast.faces.size(); ++f) {
        const std::string at = where + " face " + std::to_string(f);
        expectSameVector(fast.faces[f].normal, plain.faces[f].normal, at + " normal");
        ASSERT_EQ(bits(fast.faces[f].area), bits(plain.faces[f].area)) << at << " area";
        expectSameVector(fast.faces[f].pressureForce, plain.faces[f].pressureForce, at + " pressureForce");
    }
}


PressureBody sphereBody(int level) { return sceneBody(makeIcosphere(level, 2.0f)); }

// What happens to both bodies before a step.
struct Event {
    enum Kind { Press, Motion, Release, Displace, Kick } kind;
    int step;
    int x = 0;  // window pixel, or the point to displace or kick
    int y = 0;
};

void apply(const Event& event, PressureBody& body, DragState& drag) {
    switch (event.kind) {
        case Event::Press:
            pressDrag(body, drag, event.x, event.y, initialWindowWidth, initialWindowHeight);
            break;
        case Event::Motion:
            moveDrag(body, drag, event.x, event.y, initialWindowWidth, initialWindowHeight);
            break;
        case Event::Release:
            releaseDrag(body, drag);
            break;
        case Event::Displace:  // far enough to overstretch every spring of the point
            body.points[event.x].position = body.points[event.x].position + Vector3{3.0f, 2.5f, -1.0f};
            break;
        case Event::Kick:
            body.points[event.x].velocity = Vector3{400.0f, -900.0f, 250.0f};
            break;
    }
}

void runPair(PressureBody& body, int steps, const std::vector<Event>& events, int every) {
    PressureBody plain = body;
    DragState fastDrag, plainDrag;
    size_t next = 0;
    for (int step = 0; step < steps; ++step) {
        for (; next < events.size() && events[next].step == step; ++next) {
            apply(events[next], body, fastDrag);
            apply(events[next], plain, plainDrag);
        }
        simulationStep(body);
        baselineStep(plain, timeStep);
        if (step % every == 0 || step == steps - 1) {
            expectSameState(body, plain, "step " + std::to_string(step));
            if (testing::Test::HasFatalFailure()) return;
        }
    }
}

// Runs the bulk step on `body` and the plain loops on a copy, comparing every
// field every `every` steps and at the end. Once with the portable bulk loops
// and once with every wider set this processor runs.
void runBoth(const PressureBody& start, int steps, const std::vector<Event>& events, int every = 50) {
    for (const NamedKernels& set : availableKernels()) {
        SCOPED_TRACE(std::string(set.name) + " loops");
        PressureBody body = start;
        body.solver.get().useKernels(*set.kernels);
        runPair(body, steps, events, every);
        if (testing::Test::HasFatalFailure()) return;
    }
}

const std::vector<Event> dragScenario = {
    {Event::Press, 40, 300, 300},    {Event::Motion, 60, 420, 120}, {Event::Motion, 61, 430, 110},
    {Event::Motion, 200, 50, 560},   {Event::Release, 400},         {Event::Press, 401, 0, 0},
    {Event::Motion, 500, 599, 599},  {Event::Release, 700},         {Event::Press, 900, 310, 290},
};

}  // namespace

// Both steps, the bulk one with every set of loops, reproduce every line of
// the reference file (mesh, steps, checksum).
TEST(PlainAndBulkSteps, ReproduceTheReferenceTrajectories) {
    const std::string dir = std::string(PLUMFOLD_SOURCE_DIR) + "/tests/data/reference/";
    std::ifstream list(dir + "checksums.txt");
    ASSERT_TRUE(list) << "cannot read " << dir << "checksums.txt";
    std::string line;
    int checked = 0;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string mesh, expected;
        int steps = 0;
        fields >> mesh >> steps >> expected;
        const std::string path = dir + mesh;
        BodyParams params;
        params.fileName = path.c_str();
        PressureBody start(params);
        start.gravity = sceneGravity;
        std::vector<NamedKernels> variants{{"plain loops", nullptr}};
        for (const NamedKernels& set : availableKernels()) variants.push_back(set);
        for (const NamedKernels& variant : variants) {
            PressureBody body = start;
            if (variant.kernels != nullptr) body.solver.get().useKernels(*variant.kernels);
            for (int i = 0; i < steps; ++i)
                variant.kernels == nullptr ? baselineStep(body, timeStep) : simulationStep(body);
            char hex[17];
            std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(stateChecksum(body)));
            EXPECT_EQ(hex, expected) << mesh << " after " << steps << " steps, " << variant.name;
        }
        ++checked;
    }
    EXPECT_GE(checked, 10);
}

TEST(BulkStep, MatchesPlainLoopsOnSpheresOfSeveralSizes) {
    runBoth(sphereBody(1), 3000, {});
    runBoth(sphereBody(2), 3000, {}, 100);
    runBoth(sphereBody(4), 600, {}, 100);
}

TEST(BulkStep, MatchesPlainLoopsThroughDrags) {
    runBoth(sphereBody(2), 1200, dragScenario);
    runBoth(sphereBody(3), 1000, dragScenario, 100);
    // A drag held from the very first step, and one still held at the end.
    runBoth(sphereBody(1), 300, {{Event::Press, 0, 100, 500}, {Event::Motion, 150, 500, 100}});
}

TEST(BulkStep, MatchesPlainLoopsWhenTheStretchLimitFires) {
    // Displaced points and violent kicks stretch springs far past twice their rest
    // length, so the stretch limit corrects them, in chains through shared points.
    const std::vector<Event> events = {{Event::Displace, 0, 3},   {Event::Displace, 0, 7},
                                       {Event::Kick, 20, 11},     {Event::Displace, 100, 0},
                                       {Event::Displace, 100, 1}, {Event::Kick, 101, 2},
                                       {Event::Press, 150, 590, 10}, {Event::Kick, 151, 5}};
    runBoth(sphereBody(2), 400, events, 1);
}

TEST(BulkStep, FollowsEditsOfTheRecordsBetweenSteps) {
    PressureBody body = sphereBody(2);
    PressureBody plain = body;
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 50; ++i) {
            simulationStep(body);
            baselineStep(plain, timeStep);
        }
        // The same edit to both: swap a spring's ends, rewire a face, soften a
        // spring, fix a point in place.
        for (PressureBody* b : {&body, &plain}) {
            Spring& spring = b->springs[10 + round];
            std::swap(spring.pointA, spring.pointB);
            b->faces[round].pointC = b->faces[round + 1].pointA;
            b->springs[round].stiffness *= 0.5f;
            b->points[round] = MassPoint::make(0.0f, b->points[round].position, Vector3{});
        }
    }
    for (int i = 0; i < 100; ++i) {
        simulationStep(body);
        baselineStep(plain, timeStep);
    }
    expectSameState(body, plain, "after edits");
}

TEST(BulkStep, MatchesPlainLoopsOnDegenerateBodies) {
    // Repeated corners (a spring from a point to itself), coincident points (a
    // spring of length 0), points closer than any float length, and a flat
    // body (volume 0, no pressure).
    MeshData data = makeIcosphere(1, 2.0f);
    data.faceIndices[1] = data.faceIndices[0];
    data.vertices[3 * 5] = data.vertices[3 * 6];
    data.vertices[3 * 5 + 1] = data.vertices[3 * 6 + 1];
    data.vertices[3 * 5 + 2] = data.vertices[3 * 6 + 2];
    // Two corners of face 1 closer than any float length (1 / length overflows).
    const int32_t near = data.faceIndices[3], nearer = data.faceIndices[4];
    for (int k = 0; k < 3; ++k) data.vertices[3 * near + k] = data.vertices[3 * nearer + k] = 0.0f;
    data.vertices[3 * nearer] = 1e-40f;
    runBoth(sceneBody(data), 500, {{Event::Press, 10, 300, 300}}, 1);

    MeshData flat;
    flat.vertices = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
    flat.faceIndices = {0, 1, 2, 2, 1, 3, 2, 1, 0, 3, 1, 2};
    runBoth(sceneBody(flat), 200, {}, 1);
}

TEST(BulkStep, SingleOperationsMatchPlainLoops) {
    PressureBody body = sphereBody(2);
    for (int i = 0; i < 30; ++i) simulationStep(body);
    PressureBody plain = body;

    body.computeForces();
    baselineComputeForces(plain);
    expectSameState(body, plain, "computeForces");

    body.integrate(Euler, 0.004f);
    baselineIntegrate(plain, Euler, 0.004f);
    body.integrate(Euler, 0.004f);
    baselineIntegrate(plain, Euler, 0.004f);
    expectSameState(body, plain, "two Euler steps");

    body.points[9].position = Vector3{8.0f, 8.0f, 8.0f};  // overstretched: the pass alone corrects it
    plain.points[9].position = Vector3{8.0f, 8.0f, 8.0f};
    body.integrate(7, 0.001f);
    baselineIntegrate(plain, 7, 0.001f);
    expectSameState(body, plain, "stretch limit alone");
    EXPECT_NE(body.points[9].position.x, 8.0f);
}
