// The batch rule of the idle callback and the lab's real-time rule, driven by a
// fake millisecond clock; and the lab's readings of a body worked out by hand.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <thread>
#include <vector>

#include "app/frame_stepping.h"
#include "app/lab/body_readings.h"
#include "app/lab/lab_state.h"
#include "app/tick_counter.h"
#include "tests/support/bodies.h"

using namespace plumfold;

// One step plus one per whole 50 ms, capped. The quotient truncates towards
// zero: a slightly negative reading still steps once.
TEST(BatchRule, OneStepPlusOnePerWholeFiftyMillisecondsCapped) {
    const int32_t cases[][2] = {
        {49, 1},  {50, 2},  {949, 19},     {950, maxStepsPerBatch}, {INT32_MAX, maxStepsPerBatch},
        {-49, 1}, {-50, 0}, {INT32_MIN, 0}};
    for (const auto& [ticks, steps] : cases) EXPECT_EQ(stepsForBatch(ticks), steps) << ticks;
    // Differences modulo 2^32; a counter that went back reads negative.
    const uint32_t readings[][3] = {{0xFFFFFFF0u, 0x20u, 48}, {0xFFFFFFFFu, 0, 1}, {1000, 990, uint32_t(-10)}};
    for (const auto& [start, now, ticks] : readings) EXPECT_EQ(ticksBetween(start, now), int32_t(ticks)) << start;
}

// Successive idle calls: each step "takes" ticksPerStep on the fake clock.
TEST(FrameStepping, EachCallRunsTheBatchThatThePreviousCallsDurationEarns) {
    struct Case {
        uint32_t now, ticksPerStep;
        int32_t elapsed;             // before the first call
        std::vector<int32_t> steps;  // run by each call
    };
    const Case cases[] = {
        {5000, 30, 0, {1, 1, 1}},      // 30 ms earns no extra step
        {0, 60, 0, {1, 2, 3, 4, 5}},   // slow steps grow the batch...
        {0, 60, 20 * 50, {20, 20}},    // ...up to the cap
        {0xFFFFFFE0u, 82, 0, {1, 2}},  // the counter wraps during the first call
        {7, 10, -120, {0, 1}},         // after the clock went back: no step, still a redraw
    };
    for (const Case& c : cases) {
        FrameTiming timing{0, c.elapsed};
        uint32_t now = c.now;
        int steps = 0, redraws = 0;
        for (size_t call = 0; call < c.steps.size(); ++call) {
            int32_t ran = runFrame(
                timing, [&] { return now; }, [&] { ++steps, now += c.ticksPerStep; }, [&] { ++redraws; });
            EXPECT_EQ(ran, c.steps[call]) << c.now << " call " << call;
            EXPECT_EQ(timing.elapsedTicks, int32_t(ran * c.ticksPerStep));
        }
        EXPECT_EQ(redraws, int(c.steps.size()));
    }
}

TEST(RealTime, OneStepPerMillisecondAtMostACapAFrame) {
    const struct {
        uint32_t now;
        int32_t steps;
    } calls[] = {{0xFFFFFFF0u, 1}, {0xFFFFFFF0u, 0}, {0xFFFFFFF5u, 5}, {3, 14}, {5003, plumfold::maxRealTimeSteps},
                 {5004, 1}};
    plumfold::RealTimeClock clock;
    for (const auto& [now, steps] : calls) EXPECT_EQ(plumfold::realTimeSteps(clock, now), steps) << now;
}

TEST(TickCounter, CountsMilliseconds) {
    uint32_t before = readTickCounter();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int32_t elapsed = ticksBetween(before, readTickCounter());
    EXPECT_GE(elapsed, 20);
    EXPECT_LT(elapsed, 60000);  // milliseconds, not microseconds
}

// Two points 2 apart, masses 2 and 3, heights 1 and 3 above the floor, speeds
// 1 and 2, gravity 10; springs of rest length 1 and 4, then a drag spring.
PressureBody twoPoints() {
    PressureBody body;
    body.gravity = Vector3{0, -10, 0};
    body.points = {MassPoint::make(2, Vector3{0, -3.5f, 0}, Vector3{1, 0, 0}),
                   MassPoint::make(3, Vector3{0, -1.5f, 0}, Vector3{0, 0, 2})};
    for (float rest : {1.0f, 4.0f, 0.5f}) {
        body.springs.push_back(Spring::make(body.points.data(), 0, 1, 100, 0));
        body.springs.back().restLength = rest;
    }
    return body;
}

TEST(LabReadings, EnergiesAndStrainOfATwoPointBody) {
    plumfold::BodyReadings r = plumfold::readBody(twoPoints(), 2, 2);
    EXPECT_DOUBLE_EQ(r.kinetic, 0.5 * 2 * 1 + 0.5 * 3 * 4);
    EXPECT_DOUBLE_EQ(r.elastic, 0.5 * 100 * 1 + 0.5 * 100 * 4);
    EXPECT_DOUBLE_EQ(r.gravitational, 2 * 10 * 1 + 3 * 10 * 3);
    EXPECT_DOUBLE_EQ(r.leastStrain, -0.5);
    EXPECT_DOUBLE_EQ(r.greatestStrain, 1.0);
}

TEST(LabWatch, SaysWhenTheBodyTurnsInsideOutStopsBeingFiniteOrLeavesTheBox) {
    // clang-format off
    const struct {
        float lastVolume, volume, x;
        const char* says;  // "" for all is well
    } cases[] = {{0, 5, 0, ""}, {0, -3, 0, ""}, {5, 0.5f, 0, ""}, {5, -3, 0, "inside out"}, {-3, 5, 0, "inside out"},
                 {-2, 0, 0, ""}, {5, NAN, 0, "finite"}, {5, 5, NAN, "finite"}, {5, 5, 4.6f, "left the box"},
                 {5, 5, -4.505f, ""}};
    // clang-format on
    for (const auto& c : cases) {
        PressureBody body = twoPoints();
        body.volume = c.volume;
        body.points[1].position.x = c.x;
        float last = c.lastVolume;
        std::string said = plumfold::watchBody(body, 2, last);
        EXPECT_EQ(said.empty(), *c.says == 0) << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
    }
}

// The lab's plot: one sample every plotEvery steps since the last restart, in a
// ring of plotSamples that a restart empties.
TEST(LabPlot, SamplesEveryTenStepsIntoARingThatRestartEmpties) {
    const MeshFile mesh = plumfold::readMeshFile(tetraFile.c_str()).mesh;
    PressureBody body = sceneBodyAfter(tetraFile, 0);
    DragState drag;
    plumfold::Lab lab;
    plumfold::startLab(lab, body, drag, mesh);
    plumfold::runSteps(lab, 20);
    EXPECT_TRUE(lab.plot.filled == 2 && lab.plot.next == 2);
    EXPECT_EQ(lab.plot.volume[1], static_cast<float>(body.volume / 1.998));
    EXPECT_EQ(lab.plot.energy[1], static_cast<float>(plumfold::readBody(body, 4, 6).total()));
    plumfold::runSteps(lab, 4995);
    EXPECT_TRUE(lab.plot.filled == 500 && lab.plot.next == 1);
    plumfold::restart(lab);
    plumfold::runSteps(lab, 5);
    EXPECT_EQ(lab.plot.filled, 0u);
    plumfold::runSteps(lab, 5);
    EXPECT_TRUE(lab.plot.filled == 1 && lab.plot.next == 1);
}
