#pragma once
// The engine behind PressureBody::computeForces and PressureBody::integrate.
//
// It produces exactly the bits of the plain per-record loops (one spring, face
// or point at a time) but arranges the work so that most of it runs in bulk:
//
// - Every spring's and every face's force term depends only on positions and
//   velocities, so all terms are computed first, in wide independent loops.
// - Only the sums into a point's force have a fixed order. Each point keeps an
//   incidence list of its spring ends and face corners in the global order
//   (springs in stored order, A before B, then faces, corners A, B, C), and its
//   force is summed along that list: the same additions in the same order.
// - The volume is one sequential sum, as before.
// - The stretch limit first checks every spring against its limit at the
//   positions the pass starts from, in bulk and with a safety margin. Only
//   springs that may exceed the limit, or that touch a point an earlier spring
//   of the same pass has moved, are then visited in order (see stretchPass).
//
// Springs and faces are read from the body on every call; the incidence lists
// are rebuilt whenever the arrays' sizes or end points differ from those they
// were built for. Springs appended after the build (the drag spring) are added
// in their place in the order, without a rebuild. Nothing is allocated after
// prepare() unless the body outgrows the room it reserved.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "body/bulk_kernels.h"
#include "body/pressure_body.h"

class StepSolver {
public:
    // The bulk loops to use: fastestKernels() unless told otherwise (the tests
    // and the benchmark also run the portable ones).
    void useKernels(const BulkKernels& kernels) { kernels_ = &kernels; }

    // Sizes every working array for the body as it is now (with room for a drag
    // point and spring) and builds the incidence lists.
    void prepare(PressureBody& body);

    void computeForces(PressureBody& body);
    void integrate(PressureBody& body, IntegrationMode mode, float dt);

private:
    bool fits(const PressureBody& body) const;
    void buildIncidence(const PressureBody& body);
    void loadState(const PressureBody& body, bool withForces);
    void evaluate(PressureBody& body);
    void accumulate(PressureBody& body, bool withFaces);
    void stretchPass(const PressureBody& body);
    void storeMovedPositions(PressureBody& body);

    const BulkKernels* kernels_ = &fastestKernels();

    // Room reserved at the last build.
    size_t pointRoom_ = 0;
    size_t springRoom_ = 0;
    // Sizes the incidence lists were built for; springs past baseSprings_ are
    // appended ones, summed in their place without being listed.
    bool built_ = false;
    size_t basePoints_ = 0;
    size_t baseSprings_ = 0;
    size_t baseFaces_ = 0;
    std::vector<int32_t> springEnds_;   // A, B of every listed spring, as built
    std::vector<int32_t> faceCorners_;  // A, B, C of every face, as built

    // Incidence: point i's entries are entries_[entryStart_[i] .. entryStart_[i + 1]),
    // spring ends before faceEntry_[i], face corners from there on. An entry is a
    // slot of the term arrays: spring s adds slot s to its A and slot
    // springRoom_ + s to its B; face f adds slot 2 · springRoom_ + f to each corner.
    std::vector<uint32_t> entryStart_;
    std::vector<uint32_t> faceEntry_;
    std::vector<uint32_t> entries_;
    std::vector<uint32_t> cursor_;  // scratch of the build

    // State of the points being evaluated.
    std::vector<PointState> state_;
    std::vector<float> f0x_, f0y_, f0z_;  // start forces of a Heun step

    // Force terms by slot, and the face geometry of the last evaluation.
    std::vector<float> termX_, termY_, termZ_;
    std::vector<float> area_, normalX_, normalY_, normalZ_;

    // Stretch limit: springs that may exceed their limit, points moved so far.
    std::vector<uint8_t> mayStretch_;
    std::vector<uint8_t> moved_;
    std::vector<int32_t> movedList_;
};
