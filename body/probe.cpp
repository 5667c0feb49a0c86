#include "body/probe.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "body/drag.h"
#include "body/scene.h"

namespace plumfold {

namespace {

// Window pixels of the 600 × 600 window the drags are scripted for; the window
// spans −4 .. 4 in x and y, so the corners reach close to the walls and floor.
struct ScriptedEvent {
    enum class Kind { Press, Motion, Release } kind;
    uint64_t after;  // steps after the previous event
    int x = 0, y = 0;
};

// Grab, sweep fast across the window six times, slam into the lower left corner
// and hold, fling into the lower right corner, lift towards the top and let go on
// the way up. The jumps from one side to the other move the drag point eight
// units in one step. Sweeps 70 steps apart and holds of 200 steps judged every
// body tried as 100 and 250 did, in less time. Nothing here leaves the window:
// flung thousands of pixels out and back, even the shipped body comes back
// inside out, and the probe judges what a body must survive, not what none does.
std::vector<ScriptedEvent> makeDragScript() {
    using K = ScriptedEvent::Kind;
    return {
        {K::Press, 0, 300, 300},   {K::Motion, 70, 40, 300},   {K::Motion, 70, 560, 300},  {K::Motion, 70, 40, 300},
        {K::Motion, 70, 560, 200}, {K::Motion, 70, 40, 400},   {K::Motion, 70, 560, 300},  {K::Motion, 70, 560, 40},
        {K::Motion, 60, 0, 599},   {K::Motion, 200, 599, 599}, {K::Motion, 200, 300, 150}, {K::Motion, 40, 300, 0},
        {K::Release, 10, 300, 0},
    };
}

const std::vector<ScriptedEvent>& dragScript() {
    static const std::vector<ScriptedEvent> script = makeDragScript();
    return script;
}

// A body that nothing holds and that rises above this height bounces higher than
// it fell: the step is feeding it energy (a thin plate went to y = 59 this way).
constexpr double ceiling = 2 * boxLimit;

bool finite(const MassPoint& p) {
    return std::isfinite(p.position.x) && std::isfinite(p.position.y) && std::isfinite(p.position.z) &&
           std::isfinite(p.velocity.x) && std::isfinite(p.velocity.y) && std::isfinite(p.velocity.z);
}

// A body let go at the top of the window is back below the ceiling within this
// many steps.
constexpr uint64_t fallBackSteps = 1000;

bool inBox(const Vector3& x, bool heldOrFalling) {
    return x.y >= -boxLimit && (heldOrFalling || x.y <= ceiling) && x.x >= -boxLimit && x.x <= boxLimit &&
           x.z >= -boxLimit && x.z <= boxLimit;
}

// The volume measure of the current state, without touching the body.
double volumeNow(const PressureBody& body) {
    PressureBody copy = body;
    copy.computeForces();
    return copy.volume;
}

}  // namespace

ProbeVerdict probeBody(PressureBody body, const ProbeOptions& options) {
    ProbeVerdict verdict;
    uint64_t scriptSteps = 0;
    for (const ScriptedEvent& e : dragScript()) scriptSteps += e.after;
    verdict.steps = options.settleSteps + scriptSteps + options.restSteps;

    body.gravity = sceneGravity;
    verdict.startVolume = volumeNow(body);
    verdict.volumeRatio = verdict.lowestRatio = verdict.highestRatio = 1.0;
    if (!(verdict.startVolume > 0.0) || !std::isfinite(verdict.startVolume)) {
        verdict.cause = ProbeCause::NoVolume;
        verdict.volumeRatio = verdict.startVolume > 0.0 ? 1.0 : 0.0;
        return verdict;
    }
    const size_t bodyPoints = body.points.size();

    // Which event comes before which step.
    std::vector<uint64_t> eventStep;
    uint64_t at = options.settleSteps;
    for (const ScriptedEvent& e : dragScript()) eventStep.push_back(at += e.after);

    DragState drag;
    size_t next = 0;
    uint64_t released = 0;  // the step of the last release
    auto fail = [&](ProbeCause cause, uint64_t step, int32_t point) {
        verdict.cause = cause;
        verdict.step = step;
        verdict.point = point;
        return verdict;
    };
    for (uint64_t step = 0; step < verdict.steps; ++step) {
        for (; next < eventStep.size() && eventStep[next] == step; ++next) {
            const ScriptedEvent& e = dragScript()[next];
            if (e.kind == ScriptedEvent::Kind::Press)
                pressDrag(body, drag, e.x, e.y, initialWindowWidth, initialWindowHeight);
            else if (e.kind == ScriptedEvent::Kind::Motion)
                moveDrag(body, drag, e.x, e.y, initialWindowWidth, initialWindowHeight);
            else {
                releaseDrag(body, drag);
                released = step;
            }
        }
        simulationStep(body);

        // The volume is measured by every step anyway; a NaN anywhere reaches it
        // within a step or two, and the points are scanned for the culprit.
        double volume = body.volume;
        if (!std::isfinite(volume)) {
            for (size_t i = 0; i < bodyPoints; ++i)
                if (!finite(body.points[i])) return fail(ProbeCause::NonFinite, step, static_cast<int32_t>(i));
            return fail(ProbeCause::NonFinite, step, -1);
        }
        double ratio = volume / verdict.startVolume;
        verdict.volumeRatio = ratio;
        verdict.lowestRatio = std::min(verdict.lowestRatio, ratio);
        verdict.highestRatio = std::max(verdict.highestRatio, ratio);
        if (!(volume > 0.0)) return fail(ProbeCause::VolumeFlipped, step, -1);
        if (step % 8 == 7 || step + 1 == verdict.steps) {
            // A body that is held, or was let go on its way up, may be above the
            // ceiling for a while; one left alone must stay below it.
            bool heldOrFalling = drag.dragging || (released > 0 && step < released + fallBackSteps);
            for (size_t i = 0; i < bodyPoints; ++i) {
                const MassPoint& p = body.points[i];
                if (!finite(p)) return fail(ProbeCause::NonFinite, step, static_cast<int32_t>(i));
                if (!inBox(p.position, heldOrFalling)) return fail(ProbeCause::LeftBox, step, static_cast<int32_t>(i));
            }
        }
    }
    verdict.step = verdict.steps;
    verdict.volumeRatio = volumeNow(body) / verdict.startVolume;
    if (!(verdict.volumeRatio >= options.minVolumeRatio && verdict.volumeRatio <= options.maxVolumeRatio)) {
        verdict.cause = ProbeCause::VolumeRatio;
        return verdict;
    }
    verdict.survived = true;
    return verdict;
}

std::string describeVerdict(const ProbeVerdict& v) {
    char text[200];
    switch (v.cause) {
        case ProbeCause::None:
            std::snprintf(text, sizeof text, "survived %llu steps (volume x%.2f)",
                          static_cast<unsigned long long>(v.steps), v.volumeRatio);
            break;
        case ProbeCause::NoVolume:
            std::snprintf(text, sizeof text, "encloses no volume (volume measure %.6g)", v.startVolume);
            break;
        case ProbeCause::NonFinite:
            std::snprintf(text, sizeof text, "non-finite at step %llu", static_cast<unsigned long long>(v.step));
            break;
        case ProbeCause::LeftBox:
            std::snprintf(text, sizeof text, "left the box at step %llu", static_cast<unsigned long long>(v.step));
            break;
        case ProbeCause::VolumeFlipped:
            std::snprintf(text, sizeof text, "turned inside out at step %llu", static_cast<unsigned long long>(v.step));
            break;
        case ProbeCause::VolumeRatio:
            std::snprintf(text, sizeof text, "volume x%.2f after the drags, outside x0.5 to x3", v.volumeRatio);
            break;
    }
    return text;
}

}  // namespace plumfold
