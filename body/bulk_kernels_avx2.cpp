// The bulk loops with AVX2, four springs or faces at a time: their points are
// loaded as 16-byte rows and transposed into one register per coordinate, the
// double-precision part runs four lanes wide. Every lane does exactly the
// operations of the portable loops (body/bulk_kernels.cpp), in the same order
// and with the same roundings; nothing here is fused or reassociated.
// Compiled for every x86-64 processor; used only when the processor has AVX2.
#include "body/bulk_kernels.h"
#include "body/pressure_body.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstddef>

#define AVX2 __attribute__((target("avx2")))

namespace {

// x, y, z (and the fourth float) of four 16-byte rows, as four columns.
struct Columns {
    __m128 x, y, z, w;
};

AVX2 inline Columns transpose(__m128 r0, __m128 r1, __m128 r2, __m128 r3) {
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    return {r0, r1, r2, r3};
}

AVX2 inline __m256d wide(__m128 v) { return _mm256_cvtps_pd(v); }

// Stores the first `lanes` floats of v.
AVX2 inline void storeFirst(float* to, __m128 v, size_t lanes) {
    alignas(16) float all[4];
    _mm_store_ps(all, v);
    for (size_t j = 0; j < lanes; ++j) to[j] = all[j];
}

// z·z + y·y + x·x, summed in that order.
AVX2 inline __m256d dot(__m256d ax, __m256d ay, __m256d az, __m256d bx, __m256d by, __m256d bz) {
    return _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(az, bz), _mm256_mul_pd(ay, by)), _mm256_mul_pd(ax, bx));
}

// The four springs of one group, by index (a short last group repeats its
// first spring in the missing lanes).
struct SpringGroup {
    const Spring* spring[4];
    size_t lanes;
};

AVX2 inline SpringGroup springGroup(const Spring* springs, size_t s, size_t count) {
    const size_t lanes = std::min<size_t>(4, count - s);
    SpringGroup group{{}, lanes};
    for (size_t j = 0; j < 4; ++j) group.spring[j] = &springs[s + (j < lanes ? j : 0)];
    return group;
}

// The stretch-limit marks of one group, from the squared lengths and the rows
// (damping, restLength, stretchPercent, maxDeviation) of its springs; see
// markStretched in body/bulk_kernels.cpp for why the margin is safe.
AVX2 inline unsigned stretchMarks(__m256d squared, const Columns& limits) {
    const __m256d rest = wide(limits.y), maxDeviation = wide(limits.w);
    const __m256d high = _mm256_add_pd(rest, maxDeviation);
    const __m256d low = _mm256_sub_pd(rest, maxDeviation);
    const __m256d highSquared = _mm256_mul_pd(_mm256_mul_pd(high, high), _mm256_set1_pd(1.0 - 1e-12));
    const __m256d lowSquared = _mm256_mul_pd(_mm256_mul_pd(low, low), _mm256_set1_pd(1.0 + 1e-12));
    const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(squared, highSquared, _CMP_LT_OQ),
                                         _mm256_cmp_pd(squared, lowSquared, _CMP_GT_OQ));
    return ~static_cast<unsigned>(_mm256_movemask_pd(inside)) & 0xfu;
}

AVX2 inline size_t storeMarks(unsigned outside, size_t lanes, uint8_t* mayStretch) {
    outside &= (1u << lanes) - 1u;
    for (size_t j = 0; j < lanes; ++j) mayStretch[j] = static_cast<uint8_t>((outside >> j) & 1u);
    return static_cast<size_t>(std::popcount(outside));
}

// stretchMargin (body/bulk_kernels.h) of four springs, lane by lane.
AVX2 inline __m128 stretchMargins(__m128 length, const Columns& limits) {
    const __m128 high = _mm_add_ps(limits.y, limits.w);  // restLength + maxDeviation
    const __m128 low = _mm_sub_ps(limits.y, limits.w);
    const __m128 belowHigh = _mm_sub_ps(_mm_mul_ps(high, _mm_set1_ps(1.0f - 1e-5f)),
                                        _mm_mul_ps(length, _mm_set1_ps(1.0f + 1e-5f)));
    const __m128 aboveLow = _mm_sub_ps(_mm_mul_ps(length, _mm_set1_ps(1.0f - 1e-5f)),
                                       _mm_mul_ps(low, _mm_set1_ps(1.0f + 1e-5f)));
    return _mm_max_ps(_mm_min_ps(belowHigh, aboveLow), _mm_setzero_ps());
}

// The smallest of four floats.
AVX2 inline float smallest(__m128 values) {
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, values);
    return std::min(std::min(lanes[0], lanes[1]), std::min(lanes[2], lanes[3]));
}

// Four springs: their forces, added to their ends in order; optionally their
// marks, and their stretch margins folded into `margin`.
AVX2 inline size_t addSpringGroup(const SpringGroup& group, const PointState* state, float* forces,
                                  uint8_t* mayStretch, __m128& margin) {
    __m128 d[4], w[4], p[4];
    for (size_t j = 0; j < 4; ++j) {
        const Spring& spring = *group.spring[j];
        const float* a = &state[spring.pointA].x;
        const float* b = &state[spring.pointB].x;
        d[j] = _mm_sub_ps(_mm_load_ps(a), _mm_load_ps(b));
        w[j] = _mm_sub_ps(_mm_load_ps(a + 4), _mm_load_ps(b + 4));
        p[j] = _mm_loadu_ps(&spring.stiffness);  // stiffness, damping, restLength, stretchPercent
    }
    const Columns dc = transpose(d[0], d[1], d[2], d[3]);
    const Columns wc = transpose(w[0], w[1], w[2], w[3]);
    const Columns pc = transpose(p[0], p[1], p[2], p[3]);
    const __m256d dx = wide(dc.x), dy = wide(dc.y), dz = wide(dc.z);

    const __m256d squared = dot(dx, dy, dz, dx, dy, dz);
    const __m256d length = _mm256_sqrt_pd(squared);
    const __m128 lengthF = _mm256_cvtpd_ps(length);
    const __m256d lengthD = wide(lengthF);
    const __m256d closing = dot(wide(wc.x), wide(wc.y), wide(wc.z), dx, dy, dz);
    // Damper along the spring plus Hooke's law on the excess length.
    const __m128 magnitude =
        _mm256_cvtpd_ps(_mm256_add_pd(_mm256_div_pd(_mm256_mul_pd(closing, wide(pc.y)), lengthD),
                                      _mm256_mul_pd(_mm256_sub_pd(lengthD, wide(pc.z)), wide(pc.x))));
    // 1 / length with length a float: the float division gives the same number
    // as the double one rounded to float.
    const __m128 reciprocal = _mm_div_ps(_mm_set1_ps(1.0f), lengthF);
    const __m128 fx = _mm_mul_ps(_mm_mul_ps(dc.x, reciprocal), magnitude);
    const __m128 fy = _mm_mul_ps(_mm_mul_ps(dc.y, reciprocal), magnitude);
    const __m128 fz = _mm_mul_ps(_mm_mul_ps(dc.z, reciprocal), magnitude);
    // One row (fx, fy, fz, 0) per spring.
    const Columns rows = transpose(fx, fy, fz, _mm_setzero_ps());
    const __m128 toB[4] = {rows.x, rows.y, rows.z, rows.w};
    // A length of 0 or NaN exerts nothing, nor one so small that 1 / length is
    // no float. (A float length is above 0 exactly when the double one is: a
    // nonzero length is at least the largest |coordinate difference|, itself a
    // float.)
    const __m128 infinity = _mm_set1_ps(__builtin_inff());
    const int acts = _mm_movemask_ps(_mm_and_ps(_mm_cmp_ps(lengthF, _mm_setzero_ps(), _CMP_GT_OQ),
                                                _mm_cmp_ps(reciprocal, infinity, _CMP_LT_OQ)));
    for (size_t j = 0; j < group.lanes; ++j) {
        if (!(acts & (1 << j))) continue;
        float* a = forces + forceStride * group.spring[j]->pointA;
        _mm_store_ps(a, _mm_sub_ps(_mm_load_ps(a), toB[j]));  // A − f is A + (−f), the same number
        float* b = forces + forceStride * group.spring[j]->pointB;
        _mm_store_ps(b, _mm_add_ps(_mm_load_ps(b), toB[j]));
    }
    if (mayStretch == nullptr) return 0;
    __m128 l[4];
    for (size_t j = 0; j < 4; ++j) l[j] = _mm_loadu_ps(&group.spring[j]->damping);
    const Columns limits = transpose(l[0], l[1], l[2], l[3]);
    margin = _mm_min_ps(stretchMargins(lengthF, limits), margin);  // a short group repeats a spring
    return storeMarks(stretchMarks(squared, limits), group.lanes, mayStretch);
}

// Four faces: area, normal, and their terms added to the running volume.
template <bool fullGroup>
AVX2 inline void faceGroup(const FaceArrays& arrays, size_t f, float& volume) {
    const Face* const faces = arrays.faces;
    const PointState* const state = arrays.state;
    float* const area = arrays.area;
    float* const nx = arrays.nx;
    float* const ny = arrays.ny;
    float* const nz = arrays.nz;
    const __m256d one = _mm256_set1_pd(1.0);
    const size_t lanes = fullGroup ? 4 : std::min<size_t>(4, arrays.count - f);
    __m128 r0[4], r1[4], r2[4];
    for (size_t j = 0; j < 4; ++j) {
        const Face& face = faces[f + (j < lanes ? j : 0)];
        r0[j] = _mm_load_ps(&state[face.pointA].x);
        r1[j] = _mm_load_ps(&state[face.pointB].x);
        r2[j] = _mm_load_ps(&state[face.pointC].x);
    }
    const Columns p0 = transpose(r0[0], r0[1], r0[2], r0[3]);
    const Columns p1 = transpose(r1[0], r1[1], r1[2], r1[3]);
    const Columns p2 = transpose(r2[0], r2[1], r2[2], r2[3]);
    // e1 = P0 − P1, e2 = P0 − P2, c = e1 × e2 with each component in double.
    const __m256d e1x = wide(_mm_sub_ps(p0.x, p1.x)), e1y = wide(_mm_sub_ps(p0.y, p1.y)),
                  e1z = wide(_mm_sub_ps(p0.z, p1.z));
    const __m256d e2x = wide(_mm_sub_ps(p0.x, p2.x)), e2y = wide(_mm_sub_ps(p0.y, p2.y)),
                  e2z = wide(_mm_sub_ps(p0.z, p2.z));
    const __m128 cx = _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_mul_pd(e1y, e2z), _mm256_mul_pd(e1z, e2y)));
    const __m128 cy = _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_mul_pd(e1z, e2x), _mm256_mul_pd(e1x, e2z)));
    const __m128 cz = _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_mul_pd(e1x, e2y), _mm256_mul_pd(e1y, e2x)));
    const __m256d cxd = wide(cx), cyd = wide(cy), czd = wide(cz);
    const __m256d length = _mm256_sqrt_pd(dot(cxd, cyd, czd, cxd, cyd, czd));
    const __m128 faceArea = _mm256_cvtpd_ps(length);
    // A length of 0 or NaN, or one so small that its reciprocal is no float,
    // leaves c as it is (scaled by 1).
    const __m256d divisor = _mm256_blendv_pd(one, length, _mm256_cmp_pd(length, _mm256_setzero_pd(), _CMP_GT_OQ));
    const __m128 reciprocal = _mm256_cvtpd_ps(_mm256_div_pd(one, divisor));
    const __m128 scale = _mm_blendv_ps(_mm_set1_ps(1.0f), reciprocal,
                                       _mm_cmp_ps(reciprocal, _mm_set1_ps(__builtin_inff()), _CMP_LT_OQ));
    const __m128 normalX = _mm_mul_ps(cx, scale);
    if (lanes == 4) {
        _mm_storeu_ps(area + f, faceArea);
        _mm_storeu_ps(nx + f, normalX);
        _mm_storeu_ps(ny + f, _mm_mul_ps(cy, scale));
        _mm_storeu_ps(nz + f, _mm_mul_ps(cz, scale));
    } else {
        storeFirst(area + f, faceArea, lanes);
        storeFirst(nx + f, normalX, lanes);
        storeFirst(ny + f, _mm_mul_ps(cy, scale), lanes);
        storeFirst(nz + f, _mm_mul_ps(cz, scale), lanes);
    }
    // Volume terms ((x2 + x1) + x0) · area · nx · 0.333 (0.333, not one third,
    // with area twice the triangle's: the 1.998 of the volume measure), then
    // the running sum, each step formed in double.
    const __m256d xSum = _mm256_add_pd(_mm256_add_pd(wide(p2.x), wide(p1.x)), wide(p0.x));
    const __m256d term = _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(xSum, wide(faceArea)), wide(normalX)),
                                       _mm256_set1_pd(0.333));
    alignas(32) double terms[4];
    _mm256_store_pd(terms, term);
    for (size_t j = 0; j < lanes; ++j) volume = static_cast<float>(terms[j] + volume);
}

AVX2 void addSprings(const ForcePass& pass, size_t& marked) {
    __m128 margin = _mm_set1_ps(__builtin_inff());
    for (size_t s = 0; s < pass.springCount; s += 4)
        marked += addSpringGroup(springGroup(pass.springs, s, pass.springCount), pass.state, pass.forces,
                                 pass.mayStretch != nullptr ? pass.mayStretch + s : nullptr, margin);
    if (pass.mayStretch != nullptr && pass.stretchMargin != nullptr) *pass.stretchMargin = smallest(margin);
}

AVX2 float faceGeometry(const ForcePass& pass) {
    const FaceArrays arrays(pass);
    float volume = 0.0f;
    size_t f = 0;
    for (; f + 4 <= arrays.count; f += 4) faceGroup<true>(arrays, f, volume);
    if (f < arrays.count) faceGroup<false>(arrays, f, volume);
    return volume;
}

AVX2 size_t markStretched(const Spring* springs, size_t count, const PointState* state, uint8_t* mayStretch) {
    size_t marked = 0;
    for (size_t s = 0; s < count; s += 4) {
        const SpringGroup group = springGroup(springs, s, count);
        __m128 d[4], l[4];
        for (size_t j = 0; j < 4; ++j) {
            const Spring& spring = *group.spring[j];
            d[j] = _mm_sub_ps(_mm_load_ps(&state[spring.pointA].x), _mm_load_ps(&state[spring.pointB].x));
            l[j] = _mm_loadu_ps(&spring.damping);  // damping, restLength, stretchPercent, maxDeviation
        }
        const Columns dc = transpose(d[0], d[1], d[2], d[3]);
        const __m256d dx = wide(dc.x), dy = wide(dc.y), dz = wide(dc.z);
        marked += storeMarks(stretchMarks(dot(dx, dy, dz, dx, dy, dz), transpose(l[0], l[1], l[2], l[3])),
                             group.lanes, mayStretch + s);
    }
    return marked;
}

// Pressure forces and corner shares, four faces at a time.
AVX2 void addFaceShares(Face* faces, size_t count, const float* area, const float* nx, const float* ny,
                        const float* nz, float pressureConstant, float inverseVolume, float* forces) {
    static_assert(offsetof(Face, area) == offsetof(Face, normal) + 3 * sizeof(float),
                  "normal and area are written as one row");
    const __m128 constant = _mm_set1_ps(pressureConstant);
    const __m128 inverse = _mm_set1_ps(inverseVolume);
    const __m128 share = _mm_set1_ps(0.3333f);
    const __m128 negativeZero = _mm_set1_ps(-0.0f);
    for (size_t f = 0; f < count; f += 4) {
        const size_t lanes = std::min<size_t>(4, count - f);
        __m128 x, y, z, a;
        if (lanes == 4) {
            x = _mm_loadu_ps(nx + f);
            y = _mm_loadu_ps(ny + f);
            z = _mm_loadu_ps(nz + f);
            a = _mm_loadu_ps(area + f);
        } else {
            alignas(16) float in[4][4] = {};
            for (size_t j = 0; j < lanes; ++j) {
                in[0][j] = nx[f + j];
                in[1][j] = ny[f + j];
                in[2][j] = nz[f + j];
                in[3][j] = area[f + j];
            }
            x = _mm_load_ps(in[0]);
            y = _mm_load_ps(in[1]);
            z = _mm_load_ps(in[2]);
            a = _mm_load_ps(in[3]);
        }
        const __m128 px = _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(x, a), constant), inverse);
        const __m128 py = _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(y, a), constant), inverse);
        const __m128 pz = _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(z, a), constant), inverse);
        const Columns normalRows = transpose(x, y, z, a);
        const Columns forceRows = transpose(px, py, pz, negativeZero);
        const Columns shareRows =
            transpose(_mm_mul_ps(px, share), _mm_mul_ps(py, share), _mm_mul_ps(pz, share), negativeZero);
        const __m128 normalRow[4] = {normalRows.x, normalRows.y, normalRows.z, normalRows.w};
        const __m128 forceRow[4] = {forceRows.x, forceRows.y, forceRows.z, forceRows.w};
        const __m128 shareRow[4] = {shareRows.x, shareRows.y, shareRows.z, shareRows.w};
        for (size_t j = 0; j < lanes; ++j) {
            Face& face = faces[f + j];
            _mm_storeu_ps(&face.normal.x, normalRow[j]);  // normal, then area
            _mm_storel_pi(reinterpret_cast<__m64*>(&face.pressureForce.x), forceRow[j]);
            _mm_store_ss(&face.pressureForce.z, _mm_movehl_ps(forceRow[j], forceRow[j]));
            if (forces == nullptr) continue;
            for (int32_t corner : {face.pointA, face.pointB, face.pointC}) {
                float* to = forces + forceStride * corner;
                _mm_store_ps(to, _mm_add_ps(_mm_load_ps(to), shareRow[j]));
            }
        }
    }
}

// The record's three-float fields sit back to back (position, velocity,
// force, positionChange, velocityChange), so each is loaded as four floats,
// the fourth belonging to the next field and never stored.
static_assert(offsetof(MassPoint, velocity) == offsetof(MassPoint, position) + 12 &&
                  offsetof(MassPoint, force) == offsetof(MassPoint, velocity) + 12 &&
                  offsetof(MassPoint, positionChange) == offsetof(MassPoint, force) + 12 &&
                  offsetof(MassPoint, velocityChange) == offsetof(MassPoint, positionChange) + 12 &&
                  sizeof(MassPoint) == 17 * sizeof(float),
              "a point record is mass, inverseMass and five vectors, back to back");

AVX2 void predictPoints(MassPoint* points, MassPoint* copies, size_t count, float dt, const Vector3& gravity,
                        PointState* state, float* forces) {
    const __m128 step = _mm_set1_ps(dt);
    const __m128 g = _mm_setr_ps(gravity.x, gravity.y, gravity.z, 0.0f);
    for (size_t i = 0; i < count; ++i) {
        MassPoint& point = points[i];
        const float* from = &point.mass;
        float* to = &copies[i].mass;
        const __m256 head = _mm256_loadu_ps(from);
        const __m256 tail = _mm256_loadu_ps(from + 8);
        const float last = from[16];
        _mm256_storeu_ps(to, head);
        _mm256_storeu_ps(to + 8, tail);
        to[16] = last;
        // (F0 · 1/m) · dt, v + that, v · dt, x + that.
        const __m128 mass = _mm_set1_ps(point.mass);
        const __m128 m = _mm_set1_ps(point.inverseMass);
        const __m128 dv = _mm_mul_ps(_mm_mul_ps(_mm_loadu_ps(&point.force.x), m), step);
        const __m128 v = _mm_add_ps(_mm_loadu_ps(&point.velocity.x), dv);
        const __m128 dx = _mm_mul_ps(v, step);
        const __m128 x = _mm_add_ps(_mm_loadu_ps(&point.position.x), dx);
        _mm256_store_ps(&state[i].x, _mm256_set_m128(_mm_blend_ps(v, m, 0x8), _mm_blend_ps(x, mass, 0x8)));
        const __m128 start = _mm_add_ps(_mm_setzero_ps(), _mm_mul_ps(mass, g));  // 0 + m · g
        _mm_store_ps(forces + forceStride * i, _mm_blend_ps(start, _mm_setzero_ps(), 0x8));
        // positionChange, then velocityChange: six floats.
        _mm_storeu_ps(&point.positionChange.x, _mm_blend_ps(dx, _mm_shuffle_ps(dv, dv, 0x00), 0x8));
        _mm_storel_pi(reinterpret_cast<__m64*>(&point.velocityChange.y), _mm_shuffle_ps(dv, dv, 0x09));
    }
}

// The walls lane by lane, as applyWalls (body/walls.h) does them: the floor
// first (the whole velocity bounces), then the low and the high side walls of
// x and z, each seeing what the test before it set. "Not ≥", so NaN lands on
// the wall.
AVX2 inline void applyWallLanes(__m128& x, __m128& v) {
    const __m128 bounce = _mm_set1_ps(-0.6f);
    const __m128 low = _mm_set1_ps(static_cast<float>(-boxLimit));
    const __m128 high = _mm_set1_ps(static_cast<float>(boxLimit));
    const __m128 sides = _mm_castsi128_ps(_mm_setr_epi32(-1, 0, -1, 0));
    const __m128 height = _mm_castsi128_ps(_mm_setr_epi32(0, -1, 0, 0));
    const __m128 below = _mm_cmp_ps(x, low, _CMP_NGE_UQ);
    // Most points touch no wall: then every test below changes nothing.
    if ((_mm_movemask_ps(_mm_or_ps(below, _mm_cmp_ps(x, high, _CMP_GT_OQ))) & 0x7) == 0) return;
    const __m128 floor = _mm_shuffle_ps(below, below, 0x55);
    v = _mm_blendv_ps(v, _mm_mul_ps(v, bounce), floor);
    x = _mm_blendv_ps(x, low, _mm_and_ps(floor, height));
    const __m128 belowSide = _mm_and_ps(below, sides);
    x = _mm_blendv_ps(x, low, belowSide);
    v = _mm_blendv_ps(v, _mm_mul_ps(v, bounce), belowSide);
    const __m128 aboveSide = _mm_and_ps(_mm_cmp_ps(x, high, _CMP_GT_OQ), sides);
    x = _mm_blendv_ps(x, high, aboveSide);
    v = _mm_blendv_ps(v, _mm_mul_ps(v, bounce), aboveSide);
}

AVX2 float correctPoints(MassPoint* points, size_t count, float dt, const float* forces, PointState* state) {
    const __m128 step = _mm_set1_ps(dt);
    const __m128 h = _mm_set1_ps(static_cast<float>(dt * 0.5));
    const __m128 xyz = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    __m128 moved = _mm_setzero_ps(), unordered = _mm_setzero_ps();
    for (size_t i = 0; i < count; ++i) {
        MassPoint& point = points[i];
        const __m128 f1 = _mm_load_ps(forces + forceStride * i);
        const __m128 f0 = _mm_loadu_ps(&point.force.x);
        const __m128 m = _mm_set1_ps(point.inverseMass);
        // v + (h · (F1 + F0)) · 1/m, then x + v · dt.
        __m128 v = _mm_add_ps(_mm_loadu_ps(&point.velocity.x), _mm_mul_ps(_mm_mul_ps(h, _mm_add_ps(f1, f0)), m));
        __m128 x = _mm_add_ps(_mm_loadu_ps(&point.position.x), _mm_mul_ps(v, step));
        applyWallLanes(x, v);
        const __m128 predicted = _mm_load_ps(&state[i].x);
        const __m128 change = _mm_and_ps(_mm_and_ps(_mm_sub_ps(x, predicted), magnitude), xyz);
        moved = _mm_max_ps(change, moved);
        unordered = _mm_or_ps(unordered, _mm_cmp_ps(change, change, _CMP_UNORD_Q));
        // Position, velocity and force: nine floats.
        _mm_storeu_ps(&point.position.x, _mm_blend_ps(x, _mm_shuffle_ps(v, v, 0x00), 0x8));
        _mm_storeu_ps(&point.velocity.y, _mm_shuffle_ps(v, f1, _MM_SHUFFLE(1, 0, 2, 1)));
        _mm_store_ss(&point.force.z, _mm_movehl_ps(f1, f1));
        _mm_store_ps(&state[i].x, _mm_blend_ps(x, predicted, 0x8));  // the mass stays
    }
    if (_mm_movemask_ps(unordered) != 0) return __builtin_inff();
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, moved);
    return std::max(std::max(lanes[0], lanes[1]), lanes[2]);
}

// A point record starts with mass, inverseMass, position and velocity: 32
// bytes, one load, rearranged into the working state's order by one permute.
AVX2 void loadState(const MassPoint* points, size_t count, const Vector3& gravity, PointState* state,
                    float* forces) {
    static_assert(offsetof(MassPoint, mass) == 0 && offsetof(MassPoint, inverseMass) == 4 &&
                      offsetof(MassPoint, position) == 8 && offsetof(MassPoint, velocity) == 20,
                  "the record's head is mass, inverseMass, position, velocity");
    const __m256i order = _mm256_setr_epi32(2, 3, 4, 0, 5, 6, 7, 1);  // x y z mass vx vy vz 1/m
    const __m128 g = _mm_setr_ps(gravity.x, gravity.y, gravity.z, 0.0f);
    for (size_t i = 0; i < count; ++i) {
        const __m256 head = _mm256_loadu_ps(&points[i].mass);
        _mm256_store_ps(&state[i].x, _mm256_permutevar8x32_ps(head, order));
        // 0 + m · g, and 0 in the unused float whatever m is.
        const __m128 start = _mm_add_ps(_mm_setzero_ps(), _mm_mul_ps(_mm_set1_ps(points[i].mass), g));
        _mm_store_ps(forces + forceStride * i, _mm_blend_ps(start, _mm_setzero_ps(), 0x8));
    }
}

AVX2 float springsAndFaces(const ForcePass& pass, size_t& marked) {
    addSprings(pass, marked);
    return faceGeometry(pass);
}

AVX2 void addCornerShares(const Face* faces, size_t count, float* forces) {
    static_assert(offsetof(Face, pressureForce) + sizeof(Vector3) == sizeof(Face),
                  "the pressure force ends the face record");
    const __m128 share = _mm_set1_ps(0.3333f);
    const __m128 xyz = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
    for (size_t f = 0; f < count; ++f) {
        const Face& face = faces[f];
        // The pressure force is the last twelve bytes of the record: load the
        // sixteen ending there and move x, y, z down.
        const __m128 ending = _mm_loadu_ps(&face.pressureForce.x - 1);
        const __m128 pressure = _mm_and_ps(_mm_shuffle_ps(ending, ending, _MM_SHUFFLE(0, 3, 2, 1)), xyz);
        const __m128 row = _mm_mul_ps(pressure, share);
        for (int32_t corner : {face.pointA, face.pointB, face.pointC}) {
            float* to = forces + forceStride * corner;
            _mm_store_ps(to, _mm_add_ps(_mm_load_ps(to), row));
        }
    }
}

}  // namespace

const BulkKernels* avx2Kernels() {
    static const BulkKernels kernels{predictPoints,   correctPoints, loadState,    addSprings,
                                     faceGeometry,    springsAndFaces, markStretched, addFaceShares,
                                     addCornerShares};
    return __builtin_cpu_supports("avx2") ? &kernels : nullptr;
}

#else

const BulkKernels* avx2Kernels() { return nullptr; }

#endif
