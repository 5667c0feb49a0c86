#pragma once
// The bulk loops of the step solver (body/step_solver.h): every spring's force,
// every face's geometry and the volume sum, every face's pressure share, and
// the stretch-limit pre-check. Each exists in a portable form and, for
// processors with AVX2, in a hand-vectorised form. Both do the same IEEE
// operations in the same order on every element and add every force to its
// points in stored order, so they give the same bits; the tests hold them to it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "body/records.h"

// One point's working state: position and velocity in 32 aligned bytes, so a
// spring or face reaches each end with one or two aligned loads.
struct alignas(32) PointState {
    float x, y, z, mass;
    float vx, vy, vz, inverseMass;
};

// Forces are summed in a private array of four floats per point: x, y, z and
// one scratch float that nothing reads, so that a sum takes one aligned load
// and store.
constexpr size_t forceStride = 4;

// What one force pass reads and writes.
struct ForcePass {
    const Spring* springs;
    size_t springCount;
    const Face* faces;
    size_t faceCount;
    const PointState* state;
    float* forces;  // holds the gravity terms; receives the spring forces
    float* area;    // per face: |c|, the unit normal, from the face geometry
    float* nx;
    float* ny;
    float* nz;
    uint8_t* mayStretch;  // optional: per spring, the stretch-limit marks at these positions
    double* volumeTerms;  // optional: room for one volume term per face
    // Optional, with mayStretch: receives the smallest stretchMargin (below)
    // of the springs at these positions; 0 promises nothing.
    float* stretchMargin;
};

// The face geometry of faces[0, count) in the portable way, continuing a
// running volume that the faces before them left at `volume`; returns the new
// volume. The wide loops finish their last few faces with it.
float continueFaceGeometry(const Face* faces, size_t count, const PointState* state, float* area, float* nx,
                           float* ny, float* nz, float volume);

// The face fields of a pass, copied out of it: the loops store through these
// pointers, and a store could otherwise make the compiler read the pass again.
struct FaceArrays {
    const Face* faces;
    size_t count;
    const PointState* state;
    float* area;
    float* nx;
    float* ny;
    float* nz;

    explicit FaceArrays(const ForcePass& pass)
        : faces(pass.faces), count(pass.faceCount), state(pass.state), area(pass.area), nx(pass.nx), ny(pass.ny),
          nz(pass.nz) {}
    // Continues the volume sum over faces [from, count) the portable way.
    float continueFrom(size_t from, float volume) const {
        return continueFaceGeometry(faces + from, count - from, state, area + from, nx + from, ny + from, nz + from,
                                    volume);
    }
};

// How much shorter than its upper limit and longer than its lower limit a
// spring of the given length is, both shrunk by a relative 1e-5: far more than
// the rounding of this float arithmetic and of any length or limit test. If
// every end of every spring then moves by less than a quarter of the smallest
// margin in each coordinate (so by less than √3/4 of it in length; a spring's
// length changes by at most twice that), no spring can reach its limit. NaN
// gives no margin.
inline float stretchMargin(float length, float restLength, float maxDeviation) {
    const float high = restLength + maxDeviation;
    const float low = restLength - maxDeviation;
    const float belowHigh = high * (1.0f - 1e-5f) - length * (1.0f + 1e-5f);
    const float aboveLow = length * (1.0f - 1e-5f) - low * (1.0f + 1e-5f);
    const float margin = belowHigh < aboveLow ? belowHigh : aboveLow;
    return margin > 0.0f ? margin : 0.0f;
}

// Gravity, the first term of every point's force sum: 0 + m · g, so a point
// of mass 0 gets +0, never −0.
inline void startForce(float* force, float m, const Vector3& g) {
    force[0] = 0.0f + m * g.x;
    force[1] = 0.0f + m * g.y;
    force[2] = 0.0f + m * g.z;
    force[3] = 0.0f;
}

struct BulkKernels {
    // Heun steps 1.-2. for `count` points: copy each record to `copies`,
    // predict with an Euler step into `state` (the records keep the start state
    // and receive the velocity and position changes), and start each force sum
    // of the predicted state with gravity.
    void (*predictPoints)(MassPoint* points, MassPoint* copies, size_t count, float dt, const Vector3& gravity,
                          PointState* state, float* forces);
    // Heun steps 4.-5. for `count` points whose records hold the start state
    // and F0: F1 from `forces` into the records, v += (h · (F1 + F0)) · 1/m,
    // x += v · dt, the walls, and the new position into `state`. Returns the
    // largest change of a coordinate from the position `state` held
    // (infinity for NaN).
    float (*correctPoints)(MassPoint* points, size_t count, float dt, const float* forces, PointState* state);
    // The points' positions, velocities and masses into `state`, and every
    // point's force sum in `forces` started with gravity.
    void (*loadState)(const MassPoint* points, size_t count, const Vector3& gravity, PointState* state,
                      float* forces);
    // Adds the force of every spring to its ends, in stored order (−f to A,
    // then +f to B; a spring of length 0 or NaN adds nothing). With
    // pass.mayStretch, also marks the springs as markStretched does and adds
    // their number to `marked`.
    void (*addSprings)(const ForcePass& pass, size_t& marked);
    // Computes every face's area and normal and returns the volume, summed in
    // face order as one running float. Reads only the state and the faces and
    // writes only area and the normal, so it may run beside addSprings.
    float (*faceGeometry)(const ForcePass& pass);
    // addSprings and faceGeometry together, returning the volume; the loops
    // may interleave them, using pass.volumeTerms when it is given.
    float (*springsAndFaces)(const ForcePass& pass, size_t& marked);
    // Marks (1) every spring that may exceed its stretch limit at the given
    // positions and returns how many it marked; an unmarked spring cannot fire.
    size_t (*markStretched)(const Spring* springs, size_t count, const PointState* state, uint8_t* mayStretch);
    // Pressure force of every face, ((normal × area) × nRT) × 1/V, written to
    // the face records with the normal and area; with `forces`, also adds each
    // corner's share (0.3333 of it) to corners A, B, C, face by face.
    void (*addFaceShares)(Face* faces, size_t count, const float* area, const float* nx, const float* ny,
                          const float* nz, float pressureConstant, float inverseVolume, float* forces);
    // The corners' shares of the pressure forces already in the face records
    // (0.3333 of each), added to corners A, B, C, face by face: the adds of
    // addFaceShares alone.
    void (*addCornerShares)(const Face* faces, size_t count, float* forces);
};

// The portable loops.
const BulkKernels& portableKernels();
// The AVX2 loops, or null when the processor lacks AVX2.
const BulkKernels* avx2Kernels();
// The AVX-512 loops, or null when the processor lacks AVX-512F or BMI2.
const BulkKernels* avx512Kernels();
// The widest of those the processor runs.
const BulkKernels& fastestKernels();

// Every set of loops this processor runs, portable first (for the tests and
// the benchmark).
struct NamedKernels {
    const char* name;
    const BulkKernels* kernels;
};
std::vector<NamedKernels> availableKernels();

