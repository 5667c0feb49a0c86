#pragma once
// The scene run that judges a body before anyone drags it in the window: the
// demo's own step, a fall and a long settle, then a fixed script of drags (fast
// sweeps across the window, a slam into a corner, a throw upwards) and a last
// settle. A body that stays finite, inside the box and inflated through all of
// it has survived what the window can do to it in ordinary use.
#include <cstdint>
#include <string>

#include "body/pressure_body.h"

namespace plumfold {

enum class ProbeCause {
    None,           // survived
    NoVolume,       // the starting volume measure is zero, negative or not finite
    NonFinite,      // a position or velocity became infinite or NaN
    LeftBox,        // a point left the box: outside a wall, below the floor, or thrown over the walls
    VolumeFlipped,  // the volume measure changed sign: the body turned inside out
    VolumeRatio,    // the settled volume ended outside minVolumeRatio .. maxVolumeRatio of the start
};

struct ProbeOptions {
    uint64_t settleSteps = 1000;  // fall and settle before the first drag
    uint64_t restSteps = 800;     // after the last release, before the final volume is taken
    double minVolumeRatio = 0.5;
    double maxVolumeRatio = 3.0;
};

struct ProbeVerdict {
    bool survived = false;
    ProbeCause cause = ProbeCause::None;
    uint64_t step = 0;         // the step at which the cause was seen (the last step when survived)
    int32_t point = -1;        // the first offending mass point, where one is known
    double startVolume = 0.0;  // the volume measure of the body as built
    double volumeRatio = 0.0;  // the last volume measure seen / startVolume
    double lowestRatio = 0.0;  // extremes of the ratio over the whole run
    double highestRatio = 0.0;
    uint64_t steps = 0;  // steps the probe runs when nothing goes wrong
};

// Runs the probe on a body as construction made it (the scene's parameters); the
// probe sets the scene's gravity itself. The body is taken by value: the caller's
// copy is untouched.
ProbeVerdict probeBody(PressureBody body, const ProbeOptions& options = {});

// One line: "survived (volume x1.84)" or "non-finite at step 2,731".
std::string describeVerdict(const ProbeVerdict& verdict);

}  // namespace plumfold
