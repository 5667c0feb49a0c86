#pragma once
// How many simulation steps one idle call runs: one, plus one for every whole
// 50 ms that the previous call's own work took. GL-free so the rule is tested
// with a fake clock.
#include <cstdint>

namespace plumfold {

constexpr int32_t ticksPerExtraStep = 50;

// Without a cap, a machine on which one step takes 50 ms or more runs a larger
// batch after every batch, each slower than the last, and the window stops
// answering (events are only handled between batches). 20 steps is what a
// one-second batch earns, so ordinary stalls up to a second are still caught up
// step for step; only batches that already took longer than that, where real
// time is lost anyway, are held at 20 so the program stays responsive.
constexpr int32_t maxStepsPerBatch = 20;

struct FrameTiming {
    uint32_t startTick = 0;    // tick counter at the start of the current idle call
    int32_t elapsedTicks = 0;  // milliseconds the previous idle call took
};

// Steps for a batch after a call that took `elapsedTicks`: elapsedTicks / 50 + 1
// (truncating), none when that quotient is negative, at most maxStepsPerBatch.
int32_t stepsForBatch(int32_t elapsedTicks);

// now − start modulo 2^32, read as signed: correct across the counter's wrap.
int32_t ticksBetween(uint32_t start, uint32_t now);

// One idle call: reads the clock, runs the batch, requests one redraw and
// records how long the steps and the request took. Returns the steps run.
template <class Clock, class Step, class Redraw>
int32_t runFrame(FrameTiming& timing, Clock&& readTicks, Step&& step, Redraw&& requestRedraw) {
    timing.startTick = readTicks();
    int32_t steps = stepsForBatch(timing.elapsedTicks);
    for (int32_t i = 0; i < steps; ++i) step();
    requestRedraw();
    timing.elapsedTicks = ticksBetween(timing.startTick, readTicks());
    return steps;
}

}  // namespace plumfold
