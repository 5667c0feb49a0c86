// The batch rule of the idle callback, driven by a fake millisecond clock.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <thread>

#include "app/frame_stepping.h"
#include "app/tick_counter.h"

namespace {
// A clock that only moves when a step "takes time".
struct FakeRun {
    uint32_t now = 0;
    uint32_t ticksPerStep = 0;
    int steps = 0;
    int redraws = 0;

    int32_t frame(FrameTiming& timing) {
        return runFrame(
            timing, [this] { return now; },
            [this] {
                ++steps;
                now += ticksPerStep;
            },
            [this] { ++redraws; });
    }
};
}  // namespace

// One step plus one per whole 50 ms, capped. The quotient truncates towards
// zero: a slightly negative reading still steps once.
TEST(BatchRule, OneStepPlusOnePerWholeFiftyMillisecondsCapped) {
    const int32_t cases[][2] = {{0, 1},   {49, 1},  {50, 2},  {99, 2},        {120, 3},        {949, 19},
                                {-49, 1}, {-50, 0}, {INT32_MIN, 0}, {950, maxStepsPerBatch},
                                {60000, maxStepsPerBatch}, {INT32_MAX, maxStepsPerBatch}};
    for (const auto& [ticks, steps] : cases) EXPECT_EQ(stepsForBatch(ticks), steps) << ticks;
}

TEST(BatchRule, TickDifferencesSurviveTheCounterWrapping) {
    EXPECT_EQ(ticksBetween(0xFFFFFFF0u, 0x00000020u), 48);
    EXPECT_EQ(ticksBetween(0xFFFFFFFFu, 0u), 1);
    EXPECT_EQ(ticksBetween(1000u, 1000u), 0);
    EXPECT_EQ(ticksBetween(1000u, 990u), -10);  // a counter that went back reads negative
}

TEST(FrameStepping, FirstCallRunsOneStepAndMeasuresIt) {
    FrameTiming timing;
    FakeRun run{.now = 5000, .ticksPerStep = 30};
    EXPECT_EQ(run.frame(timing), 1);
    EXPECT_EQ(run.steps, 1);
    EXPECT_EQ(run.redraws, 1);
    EXPECT_EQ(timing.startTick, 5000u);
    EXPECT_EQ(timing.elapsedTicks, 30);
    EXPECT_EQ(run.frame(timing), 1);  // 30 ms earns no extra step
}

TEST(FrameStepping, SlowStepsGrowTheBatchUntilTheCap) {
    // 60 ms per step: the batches would grow without end; one redraw per call whatever the size.
    FrameTiming timing;
    FakeRun run{.now = 0, .ticksPerStep = 60};
    EXPECT_EQ(run.frame(timing), 1);
    EXPECT_EQ(timing.elapsedTicks, 60);
    EXPECT_EQ(run.frame(timing), 2);
    EXPECT_EQ(timing.elapsedTicks, 120);
    EXPECT_EQ(run.frame(timing), 3);
    int32_t last = 0;
    for (int call = 0; call < 50; ++call) last = run.frame(timing);
    EXPECT_EQ(last, maxStepsPerBatch);
    EXPECT_EQ(run.redraws, 53);
}

TEST(FrameStepping, BatchAcrossTheWrapCountsItsTrueDuration) {
    FrameTiming timing{.startTick = 0, .elapsedTicks = 0};
    FakeRun run{.now = 0xFFFFFFE0u, .ticksPerStep = 82};  // ends at 0x32 after wrapping
    EXPECT_EQ(run.frame(timing), 1);
    EXPECT_EQ(run.now, 0x32u);
    EXPECT_EQ(timing.elapsedTicks, 82);
    EXPECT_EQ(run.frame(timing), 2);
}

TEST(FrameStepping, ACallAfterAClockJumpBackRunsNoStepButStillRedraws) {
    FrameTiming timing{.startTick = 0, .elapsedTicks = -120};
    FakeRun run{.now = 7, .ticksPerStep = 10};
    EXPECT_EQ(run.frame(timing), 0);
    EXPECT_EQ(run.steps, 0);
    EXPECT_EQ(run.redraws, 1);
    EXPECT_EQ(timing.elapsedTicks, 0);
}

TEST(TickCounter, CountsMilliseconds) {
    uint32_t before = readTickCounter();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int32_t elapsed = ticksBetween(before, readTickCounter());
    EXPECT_GE(elapsed, 20);
    EXPECT_LT(elapsed, 60000);  // milliseconds, not microseconds
}
