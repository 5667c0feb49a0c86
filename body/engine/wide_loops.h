#pragma once
// The engine's wide loops: the per-spring and per-face arithmetic of a force
// evaluation and the stretch-limit check, a group of springs or faces at a
// time. Written once (body/engine/wide_loops.cpp) and compiled for every SIMD
// target the build knows; every target does the records' operations lane by
// lane, in the same order and with the same roundings, and adds every force to
// its points one spring or face at a time in stored order, so all give the
// bits of the plain reference.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "body/records.h"

namespace plumfold {

// One point's working state: position and velocity in 32 aligned bytes, so a
// spring or face reaches each end with two short row loads.
struct alignas(32) PointState {
    Vector3 position;
    float mass;
    Vector3 velocity;
    float inverseMass;
};
static_assert(sizeof(PointState) == 8 * sizeof(float), "rows of four floats: position, mass; velocity, 1/m");

// Forces are summed in rows of four floats per point: x, y, z and a scratch
// float that nothing reads, so that a sum is one short row operation.
constexpr size_t forceStride = 4;

// What one pass over the springs reads and writes.
struct SpringPass {
    const Spring* springs;
    size_t count;
    const PointState* state;
    float* forces;              // receives every spring's force
    const double* volumeTerms;  // the faces' volume terms, the rest summed along the way
    size_t termCount;
    size_t termsSummed;   // how many of them `volume` holds already
    uint8_t* marks;       // optional: the stretch-limit marks at these positions
    size_t marked = 0;    // out, with marks: how many springs were marked
    float margin = 0.0f;  // out, with marks: the smallest stretch margin (see below)
    float volume = 0.0f;  // in: the sum of the first termsSummed terms; out: of all
};

// How much shorter than its upper limit and longer than its lower limit a
// spring of the given length is, both shrunk by a relative 1e-5: far more than
// the rounding of this float arithmetic and of any length or limit test. If
// every end of every spring then moves by less than a quarter of the smallest
// margin in each coordinate (so by less than √3/4 of it in length; a spring's
// length changes by at most twice that), no spring can reach its limit. NaN
// gives no margin.
constexpr float marginShrink = 1e-5f;

// The running volume: one float sum of the faces' volume terms in face order,
// each step formed in double.
struct VolumeSum {
    float volume = 0.0f;
    size_t terms = 0;  // how many terms it holds
};

struct WideLoops {
    const char* target;  // the SIMD target the loops were compiled for
    // Area and unit normal of every face at the positions in state, into its
    // record, and its volume term, ((x2 + x1) + x0) · area · normal x · 0.333,
    // into volumeTerms; about the first half of the terms is summed along the
    // way, so that the sum's waits hide behind the faces' work.
    void (*measureFaces)(Face* faces, size_t count, const PointState* state, double* volumeTerms, VolumeSum& volume);
    // Adds every spring's force to its ends, in stored order (−f to A, +f to B;
    // ends with no usable direction get nothing). Along the way it sums the
    // rest of the volume terms in order, continuing `volume`, so that the sum's
    // waits hide behind the springs' work. With marks, also marks the springs
    // as markStretched does and finds their smallest stretch margin.
    void (*addSprings)(SpringPass& pass);
    // Marks (1) every spring that may exceed its stretch limit at the given
    // positions, else 0, and returns how many it marked. An unmarked spring
    // cannot fire there.
    size_t (*markStretched)(const Spring* springs, size_t count, const PointState* state, uint8_t* marks);
    // Every face's pressure force, ((normal × area) × nRT) × 1/V, from the
    // normal and area in its record, into the record, and each corner's share
    // (0.3333 of it) added to corners A, B, C, face by face.
    void (*applyPressure)(Face* faces, size_t count, float pressureConstant, float inverseVolume, float* forces);

    // The per-point phases of the engine's step (body/engine/engine.cpp), a
    // point at a time. The records' positions and velocities into the working
    // rows, every force sum started with gravity (0 + m · g).
    void (*loadPoints)(const MassPoint* points, size_t count, const Vector3& gravity, PointState* state, float* forces);
    // The force sums into the records.
    void (*storeForces)(const float* forces, size_t count, MassPoint* points);
    // Every force sum back to gravity alone, from the masses in the working rows.
    void (*restartForces)(const PointState* state, size_t count, const Vector3& gravity, float* forces);
    // Heun 1.-2.: the records into `start`, an Euler step's velocity and
    // position changes into the records, the prediction into the working rows
    // and every force sum started with gravity.
    void (*predict)(MassPoint* points, size_t count, float dt, const Vector3& gravity, const float* force0,
                    MassPoint* start, PointState* state, float* forces);
    // Heun 4.: from the start state (the records, with F0) and F1 (the sums):
    // v += (dt/2 · (F1 + F0)) · 1/m, x += v · dt, the walls; F1 into the
    // records, the new positions into the working rows. Returns the largest
    // change of a coordinate from the working rows' position (infinity for NaN).
    float (*correct)(MassPoint* points, size_t count, float dt, const float* forces, PointState* state);
};

// The loops of every target this processor runs, best first; the last one is
// portable C++ without SIMD instructions (Highway's EMU128 or scalar target).
// With static dispatch (PLUMFOLD_SIMD_DISPATCH=OFF) only the compiler's
// baseline target is there. For tests and benchmarks: it asks Highway for each
// target in turn by narrowing, for a moment, the targets Highway believes the
// processor has, so no other thread may be choosing loops meanwhile.
std::vector<const WideLoops*> availableLoops();
// The best of them: what a new engine uses.
const WideLoops& bestLoops();

}  // namespace plumfold
