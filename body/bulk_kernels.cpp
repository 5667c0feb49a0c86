// The portable bulk loops. They run block by block: a plain loop gathers each
// block's inputs from the records and the point states into small local arrays,
// then a loop without indirection does the arithmetic, which the compiler turns
// into vector code where it can.
//
// Arithmetic note. A vector operation of the records is written as "form the
// component in double, round to float". For +, −, × of two floats (and ÷, √)
// that is the same number as the float operation itself, because double has more
// than twice float's precision plus two bits, so rounding twice cannot differ
// from rounding once. These loops therefore use plain float arithmetic for
// those, and double exactly where a formula carries a double scalar (lengths,
// dot and cross products, the spring magnitude, volume terms). No operation is
// reordered, fused or reassociated.
#include "body/bulk_kernels.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

constexpr size_t block = 256;

template <bool check>
bool springTermsBlock(const Spring* springs, size_t first, size_t last, const PointState* state,
                      const int32_t* ends, size_t room, TermArrays terms) {
    int mismatch = 0;
    float dx[block], dy[block], dz[block], wx[block], wy[block], wz[block];
    float damping[block], restLength[block], stiffness[block];
    for (size_t base = first; base < last; base += block) {
        const size_t count = std::min(block, last - base);
        for (size_t k = 0; k < count; ++k) {
            const Spring& spring = springs[base + k];
            const int32_t a = spring.pointA;
            const int32_t b = spring.pointB;
            if constexpr (check) mismatch |= (a != ends[2 * (base + k)]) | (b != ends[2 * (base + k) + 1]);
            const PointState& pa = state[a];
            const PointState& pb = state[b];
            dx[k] = pa.x - pb.x;
            dy[k] = pa.y - pb.y;
            dz[k] = pa.z - pb.z;
            wx[k] = pa.vx - pb.vx;
            wy[k] = pa.vy - pb.vy;
            wz[k] = pa.vz - pb.vz;
            damping[k] = spring.damping;
            restLength[k] = spring.restLength;
            stiffness[k] = spring.stiffness;
        }
        float* __restrict ax = terms.x + base;
        float* __restrict ay = terms.y + base;
        float* __restrict az = terms.z + base;
        float* __restrict bx = terms.x + room + base;
        float* __restrict by = terms.y + room + base;
        float* __restrict bz = terms.z + room + base;
        for (size_t k = 0; k < count; ++k) {
            const double length = std::sqrt(static_cast<double>(dz[k]) * dz[k] + static_cast<double>(dy[k]) * dy[k] +
                                            static_cast<double>(dx[k]) * dx[k]);
            const float lengthF = static_cast<float>(length);
            const double closing = static_cast<double>(wz[k]) * dz[k] + static_cast<double>(wy[k]) * dy[k] +
                                   static_cast<double>(wx[k]) * dx[k];
            // Damper along the spring plus Hooke's law on the excess length.
            const float magnitude = static_cast<float>(closing * damping[k] / lengthF +
                                                       (static_cast<double>(lengthF) - restLength[k]) * stiffness[k]);
            const float reciprocal = static_cast<float>(1.0 / lengthF);
            const float fx = (dx[k] * reciprocal) * magnitude;
            const float fy = (dy[k] * reciprocal) * magnitude;
            const float fz = (dz[k] * reciprocal) * magnitude;
            const bool none = !(length > 0.0);  // 0 or NaN: a square root is never negative
            ax[k] = none ? -0.0f : -fx;
            ay[k] = none ? -0.0f : -fy;
            az[k] = none ? -0.0f : -fz;
            bx[k] = none ? -0.0f : fx;
            by[k] = none ? -0.0f : fy;
            bz[k] = none ? -0.0f : fz;
        }
    }
    return mismatch == 0;
}

bool springTermsPortable(const Spring* springs, size_t first, size_t last, const PointState* state,
                         const int32_t* ends, size_t room, TermArrays terms) {
    return ends != nullptr ? springTermsBlock<true>(springs, first, last, state, ends, room, terms)
                           : springTermsBlock<false>(springs, first, last, state, nullptr, room, terms);
}

float faceGeometryPortable(const Face* faces, size_t faceCount, const PointState* state, const int32_t* corners,
                           bool& cornersHold, float* __restrict area, float* __restrict nx, float* __restrict ny,
                           float* __restrict nz) {
    int mismatch = 0;
    float volume = 0.0f;
    float e1x[block], e1y[block], e1z[block], e2x[block], e2y[block], e2z[block];
    double xSum[block], volumeTerm[block];
    for (size_t base = 0; base < faceCount; base += block) {
        const size_t count = std::min(block, faceCount - base);
        for (size_t k = 0; k < count; ++k) {
            const Face& face = faces[base + k];
            const int32_t a = face.pointA;
            const int32_t b = face.pointB;
            const int32_t c = face.pointC;
            const size_t f = base + k;
            mismatch |= (a != corners[3 * f]) | (b != corners[3 * f + 1]) | (c != corners[3 * f + 2]);
            const PointState& p0 = state[a];
            const PointState& p1 = state[b];
            const PointState& p2 = state[c];
            e1x[k] = p0.x - p1.x;
            e1y[k] = p0.y - p1.y;
            e1z[k] = p0.z - p1.z;
            e2x[k] = p0.x - p2.x;
            e2y[k] = p0.y - p2.y;
            e2z[k] = p0.z - p2.z;
            xSum[k] = (static_cast<double>(p2.x) + p1.x) + p0.x;
        }
        for (size_t k = 0; k < count; ++k) {
            const float cx = static_cast<float>(static_cast<double>(e1y[k]) * e2z[k] - static_cast<double>(e1z[k]) * e2y[k]);
            const float cy = static_cast<float>(static_cast<double>(e1z[k]) * e2x[k] - static_cast<double>(e1x[k]) * e2z[k]);
            const float cz = static_cast<float>(static_cast<double>(e1x[k]) * e2y[k] - static_cast<double>(e1y[k]) * e2x[k]);
            const double length = std::sqrt(static_cast<double>(cz) * cz + static_cast<double>(cy) * cy +
                                            static_cast<double>(cx) * cx);
            const float faceArea = static_cast<float>(length);
            // A length of 0 or NaN leaves c as it is: scaling by 1 changes no value.
            // (Picked by bit mask: as a plain choice the compiler would move the
            // division into a branch and give up vector code.)
            const uint32_t use = 0u - static_cast<uint32_t>(length > 0.0);
            const float scale = std::bit_cast<float>((std::bit_cast<uint32_t>(static_cast<float>(1.0 / length)) & use) |
                                                     (std::bit_cast<uint32_t>(1.0f) & ~use));
            const float normalX = cx * scale;
            area[base + k] = faceArea;
            nx[base + k] = normalX;
            ny[base + k] = cy * scale;
            nz[base + k] = cz * scale;
            // The volume uses 0.333, not one third; with area twice the triangle's
            // that is the 1.998 of the volume measure.
            volumeTerm[k] = xSum[k] * faceArea * normalX * 0.333;
        }
        // One running float sum in face order, each step formed in double.
        for (size_t k = 0; k < count; ++k) volume = static_cast<float>(volumeTerm[k] + volume);
    }
    if (mismatch != 0) cornersHold = false;
    return volume;
}

// The exact test is | sqrt(d·d) − rest | > maxDeviation in double. A spring is
// left unmarked only when d·d lies strictly inside [(rest − max)², (rest + max)²]
// shrunk by a relative 1e-12, far more than the few rounding steps of the exact
// test, so an unmarked spring cannot fire. (When rest ≤ max no compression can
// fire; squaring the low bound then only marks more springs.) NaN or infinite
// values mark the spring.
size_t markStretchedPortable(const Spring* springs, size_t springCount, const PointState* state,
                             uint8_t* __restrict mayStretch) {
    size_t marked = 0;
    float dx[block], dy[block], dz[block], restLength[block], maxDeviation[block];
    for (size_t base = 0; base < springCount; base += block) {
        const size_t count = std::min(block, springCount - base);
        for (size_t k = 0; k < count; ++k) {
            const Spring& spring = springs[base + k];
            const PointState& a = state[spring.pointA];
            const PointState& b = state[spring.pointB];
            dx[k] = a.x - b.x;
            dy[k] = a.y - b.y;
            dz[k] = a.z - b.z;
            restLength[k] = spring.restLength;
            maxDeviation[k] = spring.maxDeviation;
        }
        for (size_t k = 0; k < count; ++k) {
            const double squared = static_cast<double>(dz[k]) * dz[k] + static_cast<double>(dy[k]) * dy[k] +
                                   static_cast<double>(dx[k]) * dx[k];
            const double high = static_cast<double>(restLength[k]) + maxDeviation[k];
            const double low = static_cast<double>(restLength[k]) - maxDeviation[k];
            const double highSquared = high * high * (1.0 - 1e-12);
            const double lowSquared = low * low * (1.0 + 1e-12);
            const bool outside = !((squared < highSquared) & (squared > lowSquared));
            mayStretch[base + k] = static_cast<uint8_t>(outside);
            marked += static_cast<size_t>(outside);
        }
    }
    return marked;
}

}  // namespace

void faceShares(Face* faces, size_t faceCount, const float* __restrict area, const float* __restrict nx,
                const float* __restrict ny, const float* __restrict nz, float pressureConstant, float inverseVolume,
                TermArrays shares) {
    const float share = 0.3333f;
    float fx[block], fy[block], fz[block];
    for (size_t base = 0; base < faceCount; base += block) {
        const size_t count = std::min(block, faceCount - base);
        float* __restrict sx = shares.x + base;
        float* __restrict sy = shares.y + base;
        float* __restrict sz = shares.z + base;
        for (size_t k = 0; k < count; ++k) {
            const size_t f = base + k;
            fx[k] = ((nx[f] * area[f]) * pressureConstant) * inverseVolume;
            fy[k] = ((ny[f] * area[f]) * pressureConstant) * inverseVolume;
            fz[k] = ((nz[f] * area[f]) * pressureConstant) * inverseVolume;
            sx[k] = fx[k] * share;
            sy[k] = fy[k] * share;
            sz[k] = fz[k] * share;
        }
        for (size_t k = 0; k < count; ++k) {
            Face& face = faces[base + k];
            face.normal = Vector3{nx[base + k], ny[base + k], nz[base + k]};
            face.area = area[base + k];
            face.pressureForce = Vector3{fx[k], fy[k], fz[k]};
        }
    }
}

const BulkKernels& portableKernels() {
    static const BulkKernels kernels{springTermsPortable, faceGeometryPortable, markStretchedPortable};
    return kernels;
}
