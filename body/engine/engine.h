#pragma once
// The engine behind PressureBody::computeForces, PressureBody::integrate and
// PressureBody::step (the two together): the phases of the plain reference
// (PressureBody::computeForcesReference and integrateReference), computed in
// bulk with the same bits.
//
// - Positions and velocities are copied into compact working rows, so a
//   spring or face reaches its points with short row loads.
// - Springs and faces go through the wide loops (body/engine/wide_loops.h) a
//   group at a time, a few groups in flight so that one group's square roots
//   and divisions wait alongside another's work; each force is still added to
//   its points in stored order, so every sum sees the same additions in the
//   same order. The points go through them too, one row per point.
// - The stretch limit first checks every spring against its limit in bulk,
//   with a safety margin. Only springs that may exceed the limit, or that touch
//   a point an earlier spring of the same pass has moved, are then corrected,
//   in order, exactly as Spring::applyStretchLimit does. The predictor's check
//   rides along with the evaluation of F1, and the closing pass is skipped
//   when no point has moved far enough for any spring to reach its limit
//   (see finishHeun in body/engine/engine.cpp).
//
// Springs, faces, points and parameters are read from the body on every call,
// so the records may change between calls (the drag appends and removes a
// point and a spring). Nothing is allocated in a step unless the body has
// outgrown the room reserved for it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "body/engine/wide_loops.h"
#include "body/pressure_body.h"

namespace plumfold {

// 1 / volume as a float, or 0 where the body has no defined pressure: a flat
// or broken body gets none instead of every force turning into infinity or
// NaN. That includes a volume so close to 0 (below about 3e-39) that its
// inverse is no float. (A finite nonzero float volume has a nonzero float
// inverse, so 0 is free to mean "none".)
float usableInverseVolume(float volume);

class Engine {
public:
    Engine() = default;

    // The wide loops to use: bestLoops() unless told otherwise (the tests and
    // the benchmark run every target).
    void useLoops(const WideLoops& loops) { loops_ = &loops; }
    const WideLoops& loops() const { return *loops_; }

    // Sizes every working array for the body as it is now, with room for a
    // drag point and spring.
    void prepare(PressureBody& body);

    void computeForces(PressureBody& body);
    void integrate(PressureBody& body, IntegrationMode mode, float dt);
    // computeForces, then integrate(Heun, dt), in fewer passes over the points.
    void step(PressureBody& body, float dt);

private:
    bool fits(const PressureBody& body) const;
    void loadState(const PressureBody& body);
    SpringPass evaluateForces(PressureBody& body, uint8_t* marks);
    void restartForces(const PressureBody& body);
    void storeForces(PressureBody& body) const;
    void eulerStep(PressureBody& body, float dt) const;
    void predict(PressureBody& body, float dt, const float* force0);
    void finishHeun(PressureBody& body, float dt);
    float correct(PressureBody& body, float dt);
    int limitStretch(const PressureBody& body);
    int applyMarkedStretch(const PressureBody& body);
    void forgetMovedPoints();
    void storeMovedPositions(PressureBody& body);

    const WideLoops* loops_ = &bestLoops();
    // Whether the last Heun step's predictor pass corrected any spring.
    bool predictorFired_ = false;

    // Room reserved by prepare().
    size_t pointRoom_ = 0;
    size_t springRoom_ = 0;
    size_t faceRoom_ = 0;

    // The state being evaluated, and its force sums (forceStride floats each).
    std::vector<PointState> state_;
    std::vector<float> forces_;
    // The faces' volume terms of the last evaluation.
    std::vector<double> volumeTerms_;
    // Stretch limit: springs that may exceed their limit, points moved so far.
    std::vector<uint8_t> mayStretch_;
    std::vector<uint8_t> moved_;
    std::vector<int32_t> movedList_;
};

}  // namespace plumfold
