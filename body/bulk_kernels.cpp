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

// Adds one point's term: x + t for each coordinate.
inline void addTo(float* force, float tx, float ty, float tz) {
    force[0] = force[0] + tx;
    force[1] = force[1] + ty;
    force[2] = force[2] + tz;
}

void addSpringForces(const Spring* springs, size_t first, size_t last, const PointState* state, float* forces) {
    float dx[block], dy[block], dz[block], wx[block], wy[block], wz[block];
    float damping[block], restLength[block], stiffness[block];
    float fx[block], fy[block], fz[block];
    uint8_t acts[block];
    for (size_t base = first; base < last; base += block) {
        const size_t count = std::min(block, last - base);
        for (size_t k = 0; k < count; ++k) {
            const Spring& spring = springs[base + k];
            const PointState& pa = state[spring.pointA];
            const PointState& pb = state[spring.pointB];
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
            fx[k] = (dx[k] * reciprocal) * magnitude;
            fy[k] = (dy[k] * reciprocal) * magnitude;
            fz[k] = (dz[k] * reciprocal) * magnitude;
            acts[k] = length > 0.0;  // not 0 or NaN: a square root is never negative
        }
        for (size_t k = 0; k < count; ++k) {
            if (!acts[k]) continue;
            const Spring& spring = springs[base + k];
            addTo(forces + forceStride * spring.pointA, -fx[k], -fy[k], -fz[k]);
            addTo(forces + forceStride * spring.pointB, fx[k], fy[k], fz[k]);
        }
    }
}

float faceGeometry(const Face* faces, size_t faceCount, const PointState* state, float* __restrict area,
                   float* __restrict nx, float* __restrict ny, float* __restrict nz) {
    float volume = 0.0f;
    float e1x[block], e1y[block], e1z[block], e2x[block], e2y[block], e2z[block];
    double xSum[block], volumeTerm[block];
    for (size_t base = 0; base < faceCount; base += block) {
        const size_t count = std::min(block, faceCount - base);
        for (size_t k = 0; k < count; ++k) {
            const Face& face = faces[base + k];
            const PointState& p0 = state[face.pointA];
            const PointState& p1 = state[face.pointB];
            const PointState& p2 = state[face.pointC];
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

void addFaceSharesPortable(Face* faces, size_t faceCount, const float* __restrict area, const float* __restrict nx,
                   const float* __restrict ny, const float* __restrict nz, float pressureConstant,
                   float inverseVolume, float* forces) {
    const float share = 0.3333f;
    float fx[block], fy[block], fz[block];
    for (size_t base = 0; base < faceCount; base += block) {
        const size_t count = std::min(block, faceCount - base);
        for (size_t k = 0; k < count; ++k) {
            const size_t f = base + k;
            fx[k] = ((nx[f] * area[f]) * pressureConstant) * inverseVolume;
            fy[k] = ((ny[f] * area[f]) * pressureConstant) * inverseVolume;
            fz[k] = ((nz[f] * area[f]) * pressureConstant) * inverseVolume;
        }
        for (size_t k = 0; k < count; ++k) {
            Face& face = faces[base + k];
            face.normal = Vector3{nx[base + k], ny[base + k], nz[base + k]};
            face.area = area[base + k];
            face.pressureForce = Vector3{fx[k], fy[k], fz[k]};
            if (forces == nullptr) continue;
            const float sx = fx[k] * share, sy = fy[k] * share, sz = fz[k] * share;
            addTo(forces + forceStride * face.pointA, sx, sy, sz);
            addTo(forces + forceStride * face.pointB, sx, sy, sz);
            addTo(forces + forceStride * face.pointC, sx, sy, sz);
        }
    }
}

float springsAndFacesPortable(const ForcePass& pass, size_t& marked) {
    addSpringForces(pass.springs, 0, pass.springCount, pass.state, pass.forces);
    if (pass.mayStretch != nullptr)
        marked = markStretchedPortable(pass.springs, pass.springCount, pass.state, pass.mayStretch);
    return faceGeometry(pass.faces, pass.faceCount, pass.state, pass.area, pass.nx, pass.ny, pass.nz);
}

}  // namespace

const BulkKernels& portableKernels() {
    static const BulkKernels kernels{springsAndFacesPortable, markStretchedPortable, addFaceSharesPortable};
    return kernels;
}
