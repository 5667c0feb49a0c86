#pragma once
// The engine behind PressureBody::computeForces and PressureBody::integrate.
//
// It produces exactly the bits of the plain per-record loops (one spring, face
// or point at a time) but does the arithmetic in bulk:
//
// - Positions and velocities are copied into compact working records, so a
//   spring or face reaches its points with one or two aligned loads.
// - Springs and faces are processed eight or four at a time
//   (body/bulk_kernels.h); each force is still added to its points at once, in
//   stored order, so every sum sees the same additions in the same order.
// - The volume is one sequential sum, as before, carried along in the spring
//   loop so that its waits overlap the springs' work.
// - The stretch limit first checks every spring against its limit at the
//   positions the pass starts from, in bulk and with a safety margin. Only
//   springs that may exceed the limit, or that touch a point an earlier spring
//   of the same pass has moved, are then visited in order (see stretchPass).
//   The closing pass is skipped when no point moved far enough to bring any
//   spring to its limit (see integrate).
//
// Springs, faces and points are read from the body on every call, so edits of
// the records between calls (the drag appends and removes a point and a
// spring) need no notice. Nothing is allocated after prepare() unless the body
// outgrows the room it reserved.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "body/bulk_kernels.h"
#include "body/helper_trial.h"
#include "body/pressure_body.h"
#include "body/second_core.h"

class StepSolver {
public:
    // The bulk loops to use: fastestKernels() unless told otherwise (the tests
    // and the benchmark also run the portable ones).
    void useKernels(const BulkKernels& kernels) { kernels_ = &kernels; }

    // Bodies with at least this many faces (when prepared) get a helper thread
    // (body/second_core.h) that adds the spring forces while this one computes
    // the faces, and takes half of the per-point passes and of the stretch
    // check. Each job writes its own elements, so the bits are the same either
    // way. The helper is used only while timed calls show that it pays
    // (body/helper_trial.h). By default from 5,000 faces (about 2,500 points,
    // where it saves a quarter of a step): the shipped body and others of its
    // size stay on one thread, as a helper holds the second core while it
    // spins between steps. Takes effect at once.
    static constexpr size_t defaultSecondCoreFaces = 5000;
    void useSecondCoreFrom(size_t faces);
    // The helper thread, if this body has one.
    SecondCore* secondCore() { return secondCore_.get(); }
    // Whether the last call used the helper.
    bool helped() const { return helping_; }
    // With true, the helper takes part in every call whatever the timings say
    // (the tests use it so that the helper's path is the one checked).
    void useHelperAlways(bool always) { helperAlways_ = always; }

    // Sizes every working array for the body as it is now, with room for a drag
    // point and spring.
    void prepare(PressureBody& body);

    void computeForces(PressureBody& body);
    void integrate(PressureBody& body, IntegrationMode mode, float dt);

private:
    bool fits(const PressureBody& body) const;
    void loadState(PressureBody& body);
    float loadStateOf(PressureBody& body, size_t begin, size_t end, float);
    float storeForces(PressureBody& body, size_t begin, size_t end, float);
    size_t evaluate(PressureBody& body, uint8_t* marks, bool storeForces);
    void stretchPass(const PressureBody& body);
    void applyMarkedStretch(const PressureBody& body);
    void storeMovedPositions(PressureBody& body);
    void writeFacePressure(PressureBody& body, float inverse, float* forces);
    void forgetMovedPoints();

    void updateSecondCore();
    // A pass over the points [begin, end); returns what the pass measures (the
    // corrector: how far it moved a point from its predicted position).
    using PointPart = float (StepSolver::*)(PressureBody& body, size_t begin, size_t end, float dt);
    float predict(PressureBody& body, size_t begin, size_t end, float dt);
    float correct(PressureBody& body, size_t begin, size_t end, float dt);
    float forEachPointRange(PressureBody& body, size_t n, float dt, PointPart part);

    const BulkKernels* kernels_ = &fastestKernels();

    // The helper thread, whether it takes part in the current call, and what
    // it is given to do. The jobs sit in cache lines of their own, as the
    // helper writes their results.
    size_t secondCoreFaces_ = defaultSecondCoreFaces;
    std::unique_ptr<SecondCore> secondCore_;
    HelperTrial trial_;
    bool helperAlways_ = false;
    bool helping_ = false;
    class CallTimer;
    struct alignas(64) SpringJob {
        const BulkKernels* kernels;
        const ForcePass* pass;
        size_t marked;
    } springJob_{};
    struct alignas(64) MarkJob {
        const BulkKernels* kernels;
        const Spring* springs;
        size_t count;
        const PointState* state;
        uint8_t* marks;
        size_t marked;
    } markJob_{};
    struct alignas(64) PointJob {
        StepSolver* solver;
        PressureBody* body;
        PointPart part;
        size_t begin, end;
        float dt;
        float result;
    } pointJob_{};

    // Room reserved by prepare().
    size_t pointRoom_ = 0;
    size_t springRoom_ = 0;
    size_t faceRoom_ = 0;

    // State of the points being evaluated, and their forces (forceStride floats each).
    std::vector<PointState> state_;
    std::vector<float> forces_;

    // Face geometry of the last evaluation.
    std::vector<float> area_, normalX_, normalY_, normalZ_;
    std::vector<double> volumeTerms_;

    // The smallest stretch margin of the predictor's springs, and whether its
    // stretch pass moved points in the last step (see integrate).
    float stretchMargin_ = 0.0f;
    bool stretchFiredLastStep_ = false;

    // Stretch limit: springs that may exceed their limit, points moved so far.
    std::vector<uint8_t> mayStretch_;
    std::vector<uint8_t> moved_;
    std::vector<int32_t> movedList_;
};
