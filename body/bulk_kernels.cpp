// The portable bulk loops: one spring or face at a time, as plain as the
// records' own operations, but on the compact working state.
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
#include "body/walls.h"

#include <cmath>
#include <limits>

namespace {

// Adds one point's term: x + t for each coordinate.
inline void addTo(float* force, float tx, float ty, float tz) {
    force[0] = force[0] + tx;
    force[1] = force[1] + ty;
    force[2] = force[2] + tz;
}

// A spring's A − B and its length |A − B|, the square root of z² + y² + x²
// summed in that order in double.
struct SpringExtent {
    float dx, dy, dz;
    double length;
};

SpringExtent extentOf(const Spring& spring, const PointState* state) {
    const PointState& a = state[spring.pointA];
    const PointState& b = state[spring.pointB];
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return {dx, dy, dz,
            std::sqrt(static_cast<double>(dz) * dz + static_cast<double>(dy) * dy + static_cast<double>(dx) * dx)};
}

void addSpringForces(const Spring* springs, size_t count, const PointState* state, float* forces) {
    for (size_t s = 0; s < count; ++s) {
        const Spring& spring = springs[s];
        const PointState& a = state[spring.pointA];
        const PointState& b = state[spring.pointB];
        const auto [dx, dy, dz, length] = extentOf(spring, state);
        if (!(length > 0.0)) continue;  // 0 or NaN: no direction, no force
        const float lengthF = static_cast<float>(length);
        // Ends so close that 1 / length is no float have no usable direction either.
        const float reciprocal = 1.0f / lengthF;
        if (!std::isfinite(reciprocal)) continue;
        const float wx = a.vx - b.vx, wy = a.vy - b.vy, wz = a.vz - b.vz;
        const double closing =
            static_cast<double>(wz) * dz + static_cast<double>(wy) * dy + static_cast<double>(wx) * dx;
        // Damper along the spring plus Hooke's law on the excess length.
        const float magnitude = static_cast<float>(closing * spring.damping / lengthF +
                                                   (static_cast<double>(lengthF) - spring.restLength) *
                                                       spring.stiffness);
        const float fx = (dx * reciprocal) * magnitude;
        const float fy = (dy * reciprocal) * magnitude;
        const float fz = (dz * reciprocal) * magnitude;
        addTo(forces + forceStride * spring.pointA, -fx, -fy, -fz);
        addTo(forces + forceStride * spring.pointB, fx, fy, fz);
    }
}

}  // namespace

float continueFaceGeometry(const Face* faces, size_t count, const PointState* state, float* area, float* nx,
                           float* ny, float* nz, float volume) {
    for (size_t f = 0; f < count; ++f) {
        const Face& face = faces[f];
        const PointState& p0 = state[face.pointA];
        const PointState& p1 = state[face.pointB];
        const PointState& p2 = state[face.pointC];
        const float e1x = p0.x - p1.x, e1y = p0.y - p1.y, e1z = p0.z - p1.z;
        const float e2x = p0.x - p2.x, e2y = p0.y - p2.y, e2z = p0.z - p2.z;
        const float cx = static_cast<float>(static_cast<double>(e1y) * e2z - static_cast<double>(e1z) * e2y);
        const float cy = static_cast<float>(static_cast<double>(e1z) * e2x - static_cast<double>(e1x) * e2z);
        const float cz = static_cast<float>(static_cast<double>(e1x) * e2y - static_cast<double>(e1y) * e2x);
        const double length =
            std::sqrt(static_cast<double>(cz) * cz + static_cast<double>(cy) * cy + static_cast<double>(cx) * cx);
        area[f] = static_cast<float>(length);
        // The normal: c scaled by the float reciprocal of its length; a length
        // of 0 or NaN, or one so small that its reciprocal is no float, leaves
        // c as it is.
        const float reciprocal = static_cast<float>(1.0 / length);
        const float scale = length > 0.0 && !std::isinf(reciprocal) ? reciprocal : 1.0f;
        nx[f] = cx * scale;
        ny[f] = cy * scale;
        nz[f] = cz * scale;
        // The volume uses 0.333, not one third; with area twice the triangle's
        // that is the 1.998 of the volume measure. One running float sum in
        // face order, each step formed in double.
        const double xSum = (static_cast<double>(p2.x) + p1.x) + p0.x;
        volume = static_cast<float>(xSum * area[f] * nx[f] * 0.333 + volume);
    }
    return volume;
}

namespace {

// The exact test is | sqrt(d·d) − rest | > maxDeviation in double. A spring is
// left unmarked only when d·d lies strictly inside [(rest − max)², (rest + max)²]
// shrunk by a relative 1e-12, far more than the few rounding steps of the exact
// test, so an unmarked spring cannot fire. (When rest ≤ max no compression can
// fire; squaring the low bound then only marks more springs.) NaN or infinite
// values mark the spring.
size_t markStretchedPortable(const Spring* springs, size_t count, const PointState* state, uint8_t* mayStretch) {
    size_t marked = 0;
    for (size_t s = 0; s < count; ++s) {
        const Spring& spring = springs[s];
        const PointState& a = state[spring.pointA];
        const PointState& b = state[spring.pointB];
        const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
        const double squared =
            static_cast<double>(dz) * dz + static_cast<double>(dy) * dy + static_cast<double>(dx) * dx;
        const double high = static_cast<double>(spring.restLength) + spring.maxDeviation;
        const double low = static_cast<double>(spring.restLength) - spring.maxDeviation;
        const bool inside = squared < high * high * (1.0 - 1e-12) && squared > low * low * (1.0 + 1e-12);
        mayStretch[s] = inside ? 0 : 1;
        marked += inside ? 0 : 1;
    }
    return marked;
}

void addFaceSharesPortable(Face* faces, size_t count, const float* area, const float* nx, const float* ny,
                           const float* nz, float pressureConstant, float inverseVolume, float* forces) {
    const float share = 0.3333f;
    for (size_t f = 0; f < count; ++f) {
        Face& face = faces[f];
        const Vector3 pressure{((nx[f] * area[f]) * pressureConstant) * inverseVolume,
                               ((ny[f] * area[f]) * pressureConstant) * inverseVolume,
                               ((nz[f] * area[f]) * pressureConstant) * inverseVolume};
        face.normal = Vector3{nx[f], ny[f], nz[f]};
        face.area = area[f];
        face.pressureForce = pressure;
        if (forces == nullptr) continue;
        const float sx = pressure.x * share, sy = pressure.y * share, sz = pressure.z * share;
        addTo(forces + forceStride * face.pointA, sx, sy, sz);
        addTo(forces + forceStride * face.pointB, sx, sy, sz);
        addTo(forces + forceStride * face.pointC, sx, sy, sz);
    }
}

// The smallest stretch margin of the springs at the given positions.
float smallestStretchMargin(const Spring* springs, size_t count, const PointState* state) {
    float smallest = std::numeric_limits<float>::infinity();
    for (size_t s = 0; s < count; ++s) {
        const Spring& spring = springs[s];
        const float length = static_cast<float>(extentOf(spring, state).length);
        const float margin = stretchMargin(length, spring.restLength, spring.maxDeviation);
        if (margin < smallest) smallest = margin;
    }
    return smallest;
}

void addCornerSharesPortable(const Face* faces, size_t count, float* forces) {
    const float share = 0.3333f;
    for (size_t f = 0; f < count; ++f) {
        const Face& face = faces[f];
        const Vector3& pressure = face.pressureForce;
        const float sx = pressure.x * share, sy = pressure.y * share, sz = pressure.z * share;
        addTo(forces + forceStride * face.pointA, sx, sy, sz);
        addTo(forces + forceStride * face.pointB, sx, sy, sz);
        addTo(forces + forceStride * face.pointC, sx, sy, sz);
    }
}

void addSpringsPortable(const ForcePass& pass, size_t& marked) {
    addSpringForces(pass.springs, pass.springCount, pass.state, pass.forces);
    if (pass.mayStretch == nullptr) return;
    marked += markStretchedPortable(pass.springs, pass.springCount, pass.state, pass.mayStretch);
    if (pass.stretchMargin != nullptr)
        *pass.stretchMargin = smallestStretchMargin(pass.springs, pass.springCount, pass.state);
}

float faceGeometryPortable(const ForcePass& pass) {
    return continueFaceGeometry(pass.faces, pass.faceCount, pass.state, pass.area, pass.nx, pass.ny, pass.nz,
                                0.0f);
}

void loadStatePortable(const MassPoint* points, size_t count, const Vector3& gravity, PointState* state,
                       float* forces) {
    for (size_t i = 0; i < count; ++i) {
        const MassPoint& point = points[i];
        state[i] = PointState{point.position.x, point.position.y, point.position.z, point.mass,
                              point.velocity.x, point.velocity.y, point.velocity.z, point.inverseMass};
        startForce(forces + forceStride * i, point.mass, gravity);
    }
}

void predictPointsPortable(MassPoint* points, MassPoint* copies, size_t count, float dt, const Vector3& gravity,
                           PointState* state, float* forces) {
    for (size_t i = 0; i < count; ++i) {
        MassPoint& point = points[i];
        copies[i] = point;
        const float m = point.inverseMass;
        const Vector3 f0 = point.force;
        const Vector3 dv{(f0.x * m) * dt, (f0.y * m) * dt, (f0.z * m) * dt};
        const Vector3 v{point.velocity.x + dv.x, point.velocity.y + dv.y, point.velocity.z + dv.z};
        const Vector3 dx{v.x * dt, v.y * dt, v.z * dt};
        state[i] = PointState{point.position.x + dx.x, point.position.y + dx.y, point.position.z + dx.z, point.mass,
                              v.x, v.y, v.z, m};
        startForce(forces + forceStride * i, point.mass, gravity);
        point.velocityChange = dv;
        point.positionChange = dx;
    }
}

float correctPointsPortable(MassPoint* points, size_t count, float dt, const float* forces, PointState* state) {
    const float h = static_cast<float>(dt * 0.5);
    float moved = 0.0f;
    const auto note = [&moved](float change) {
        if (!(change <= moved)) moved = std::isnan(change) ? std::numeric_limits<float>::infinity() : change;
    };
    for (size_t i = 0; i < count; ++i) {
        MassPoint& point = points[i];
        const float* f1 = forces + forceStride * i;
        const Vector3 f0 = point.force;
        point.force = Vector3{f1[0], f1[1], f1[2]};
        const float m = point.inverseMass;
        Vector3 v = point.velocity;
        v = Vector3{v.x + (h * (f1[0] + f0.x)) * m, v.y + (h * (f1[1] + f0.y)) * m, v.z + (h * (f1[2] + f0.z)) * m};
        Vector3 x = point.position;
        x = Vector3{x.x + v.x * dt, x.y + v.y * dt, x.z + v.z * dt};
        applyWalls(x, v);
        point.velocity = v;
        point.position = x;
        note(std::fabs(x.x - state[i].x));
        note(std::fabs(x.y - state[i].y));
        note(std::fabs(x.z - state[i].z));
        state[i].x = x.x;
        state[i].y = x.y;
        state[i].z = x.z;
    }
    return moved;
}

float springsAndFacesPortable(const ForcePass& pass, size_t& marked) {
    addSpringsPortable(pass, marked);
    return faceGeometryPortable(pass);
}

}  // namespace

const BulkKernels& portableKernels() {
    static const BulkKernels kernels{predictPointsPortable, correctPointsPortable, loadStatePortable,
                                     addSpringsPortable,    faceGeometryPortable,  springsAndFacesPortable,
                                     markStretchedPortable, addFaceSharesPortable, addCornerSharesPortable};
    return kernels;
}

const BulkKernels& fastestKernels() {
    static const BulkKernels& kernels =
        avx512Kernels() != nullptr ? *avx512Kernels() : avx2Kernels() != nullptr ? *avx2Kernels() : portableKernels();
    return kernels;
}

std::vector<NamedKernels> availableKernels() {
    std::vector<NamedKernels> sets{{"portable", &portableKernels()}};
    if (avx2Kernels() != nullptr) sets.push_back({"AVX2", avx2Kernels()});
    if (avx512Kernels() != nullptr) sets.push_back({"AVX-512", avx512Kernels()});
    return sets;
}
