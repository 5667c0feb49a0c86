#pragma once
// The bulk loops of the step solver (body/step_solver.h): every spring's force
// terms, every face's geometry and volume sum, every face's pressure share, and
// the stretch-limit pre-check. Each exists in a portable form and, for
// processors with AVX2, in a hand-vectorised form. Both do the same IEEE
// operations in the same order on every element, so they give the same bits;
// the tests hold them to it.
#include <cstddef>
#include <cstdint>

#include "body/records.h"

// One point's working state: position and velocity in 32 aligned bytes, so a
// spring or face reaches each end with one or two aligned loads.
struct alignas(32) PointState {
    float x, y, z, mass;
    float vx, vy, vz, inverseMass;
};

// Force terms by slot, one array per component.
struct TermArrays {
    float* x;
    float* y;
    float* z;
};

struct BulkKernels {
    // Force of every spring in [first, last) on its ends: −f into slot s (for
    // A), +f into slot room + s (for B). A spring of length 0 (or NaN) exerts
    // nothing; its slots get −0, which leaves any sum unchanged. When `ends` is
    // given, also answers whether the springs' end points still equal it.
    bool (*springTerms)(const Spring* springs, size_t first, size_t last, const PointState* state,
                        const int32_t* ends, size_t room, TermArrays terms);
    // Every face's area, unit normal and term of the volume sum; returns the
    // volume, summed in face order as one running float. `cornersHold` is
    // cleared when a face's corners differ from `corners`.
    float (*faceGeometry)(const Face* faces, size_t count, const PointState* state, const int32_t* corners,
                          bool& cornersHold, float* area, float* nx, float* ny, float* nz);
    // Marks (1) every spring that may exceed its stretch limit at the given
    // positions and returns how many it marked; an unmarked spring cannot fire.
    size_t (*markStretched)(const Spring* springs, size_t count, const PointState* state, uint8_t* mayStretch);
};

// The portable loops.
const BulkKernels& portableKernels();
// The AVX2 loops, or the portable ones when the processor lacks AVX2.
const BulkKernels& fastestKernels();

// Pressure force of every face, ((normal × area) × nRT) × 1/V, written to the
// face records with the normal and area, and each corner's share of it (0.3333
// of it) into `shares`.
void faceShares(Face* faces, size_t count, const float* area, const float* nx, const float* ny, const float* nz,
                float pressureConstant, float inverseVolume, TermArrays shares);
