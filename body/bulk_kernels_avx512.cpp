// The bulk loops with AVX-512, eight springs or faces at a time. On the
// processors this targets, widening floats to doubles and narrowing them back
// is what limits the four-wide loops (body/bulk_kernels_avx2.cpp); a 512-bit
// register converts eight values for about the price of four. Every lane does
// exactly the operations of the portable loops (body/bulk_kernels.cpp), in the
// same order and with the same roundings; nothing is fused or reassociated.
// Compiled for every x86-64 processor; used only when the processor has
// AVX-512F and BMI2.
#include "body/bulk_kernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

// GCC 12's AVX-512 headers trip -Wuninitialized on their own intrinsics when
// the instruction set is enabled per function.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#define AVX512 __attribute__((target("avx2,avx512f,bmi2,popcnt")))

namespace {

// x, y, z (and the fourth float) of eight 16-byte rows, as four columns of
// eight; rows[j] holds row j in its low half and row j + 4 in its high half.
struct Columns8 {
    __m256 x, y, z, w;
};

AVX512 inline Columns8 transpose8(const __m256 rows[4]) {
    const __m256 t0 = _mm256_unpacklo_ps(rows[0], rows[1]);
    const __m256 t1 = _mm256_unpacklo_ps(rows[2], rows[3]);
    const __m256 t2 = _mm256_unpackhi_ps(rows[0], rows[1]);
    const __m256 t3 = _mm256_unpackhi_ps(rows[2], rows[3]);
    return {_mm256_shuffle_ps(t0, t1, 0x44), _mm256_shuffle_ps(t0, t1, 0xee), _mm256_shuffle_ps(t2, t3, 0x44),
            _mm256_shuffle_ps(t2, t3, 0xee)};
}

AVX512 inline __m256 rowPair(const float* low, const float* high, bool aligned = true) {
    if (aligned) return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_load_ps(low)), _mm_load_ps(high), 1);
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(low)), _mm_loadu_ps(high), 1);
}

AVX512 inline __m512d wide(__m256 v) { return _mm512_cvtps_pd(v); }

// z·z + y·y + x·x, summed in that order.
AVX512 inline __m512d dot(__m512d ax, __m512d ay, __m512d az, __m512d bx, __m512d by, __m512d bz) {
    return _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(az, bz), _mm512_mul_pd(ay, by)), _mm512_mul_pd(ax, bx));
}

// Rows of eight whole point states (x, y, z, mass, vx, vy, vz, 1/m) as eight
// columns of eight: row j of `rows` goes to lane j.
struct StateColumns {
    __m256 x, y, z, vx, vy, vz;
};

AVX512 inline StateColumns transposeStates(const __m256 rows[8]) {
    const __m256 t0 = _mm256_unpacklo_ps(rows[0], rows[1]), t1 = _mm256_unpackhi_ps(rows[0], rows[1]);
    const __m256 t2 = _mm256_unpacklo_ps(rows[2], rows[3]), t3 = _mm256_unpackhi_ps(rows[2], rows[3]);
    const __m256 t4 = _mm256_unpacklo_ps(rows[4], rows[5]), t5 = _mm256_unpackhi_ps(rows[4], rows[5]);
    const __m256 t6 = _mm256_unpacklo_ps(rows[6], rows[7]), t7 = _mm256_unpackhi_ps(rows[6], rows[7]);
    // Lanes 0-3 of rows 0-3 and of rows 4-7, positions in the low halves, velocities in the high.
    const __m256 x03 = _mm256_shuffle_ps(t0, t2, 0x44), x47 = _mm256_shuffle_ps(t4, t6, 0x44);
    const __m256 y03 = _mm256_shuffle_ps(t0, t2, 0xee), y47 = _mm256_shuffle_ps(t4, t6, 0xee);
    const __m256 z03 = _mm256_shuffle_ps(t1, t3, 0x44), z47 = _mm256_shuffle_ps(t5, t7, 0x44);
    return {_mm256_permute2f128_ps(x03, x47, 0x20), _mm256_permute2f128_ps(y03, y47, 0x20),
            _mm256_permute2f128_ps(z03, z47, 0x20), _mm256_permute2f128_ps(x03, x47, 0x31),
            _mm256_permute2f128_ps(y03, y47, 0x31), _mm256_permute2f128_ps(z03, z47, 0x31)};
}

// The stretch-limit marks of eight springs, from their squared lengths and
// their rest lengths and limits; see markStretched in body/bulk_kernels.cpp
// for why the margin is safe.
AVX512 inline unsigned stretchMarks8(__m512d squared, __m256 restLength, __m256 maxDeviationF) {
    const __m512d rest = wide(restLength), maxDeviation = wide(maxDeviationF);
    const __m512d high = _mm512_add_pd(rest, maxDeviation);
    const __m512d low = _mm512_sub_pd(rest, maxDeviation);
    const __m512d highSquared = _mm512_mul_pd(_mm512_mul_pd(high, high), _mm512_set1_pd(1.0 - 1e-12));
    const __m512d lowSquared = _mm512_mul_pd(_mm512_mul_pd(low, low), _mm512_set1_pd(1.0 + 1e-12));
    const __mmask8 inside = _mm512_cmp_pd_mask(squared, highSquared, _CMP_LT_OQ) &
                            _mm512_cmp_pd_mask(squared, lowSquared, _CMP_GT_OQ);
    return ~static_cast<unsigned>(inside) & 0xffu;
}

// Four consecutive float fields of springs 0 .. 7, from `first` on, as four
// columns of eight.
AVX512 inline Columns8 springColumns(const Spring* springs, float Spring::*first) {
    __m256 rows[4];
    for (size_t j = 0; j < 4; ++j) rows[j] = rowPair(&(springs[j].*first), &(springs[j + 4].*first), false);
    return transpose8(rows);
}

// One mark byte per spring (1: may exceed its limit); returns how many.
AVX512 inline size_t storeMarks8(unsigned outside, uint8_t* mayStretch) {
    const uint64_t bytes = _pdep_u64(outside, 0x0101010101010101ull);  // bit j to byte j
    std::memcpy(mayStretch, &bytes, sizeof bytes);
    return static_cast<size_t>(_mm_popcnt_u32(outside));
}

// stretchMargin (body/bulk_kernels.h) of eight springs, lane by lane.
AVX512 inline __m256 stretchMargins8(__m256 length, __m256 restLength, __m256 maxDeviation) {
    const __m256 high = _mm256_add_ps(restLength, maxDeviation);
    const __m256 low = _mm256_sub_ps(restLength, maxDeviation);
    const __m256 belowHigh = _mm256_sub_ps(_mm256_mul_ps(high, _mm256_set1_ps(1.0f - 1e-5f)),
                                           _mm256_mul_ps(length, _mm256_set1_ps(1.0f + 1e-5f)));
    const __m256 aboveLow = _mm256_sub_ps(_mm256_mul_ps(length, _mm256_set1_ps(1.0f - 1e-5f)),
                                          _mm256_mul_ps(low, _mm256_set1_ps(1.0f + 1e-5f)));
    return _mm256_max_ps(_mm256_min_ps(belowHigh, aboveLow), _mm256_setzero_ps());
}

AVX512 inline __m128 lowHalf(__m256 v) { return _mm256_castps256_ps128(v); }
AVX512 inline __m128 highHalf(__m256 v) { return _mm256_extractf128_ps(v, 1); }

// A spring's force f, as a row (fx, fy, fz, 0): A − f, then B + f. (A − f is
// A + (−f), the same number.)
AVX512 inline __attribute__((always_inline)) void addSpringForce(float* forces, const Spring& spring, __m128 f) {
    float* a = forces + forceStride * spring.pointA;
    _mm_store_ps(a, _mm_sub_ps(_mm_load_ps(a), f));
    float* b = forces + forceStride * spring.pointB;
    _mm_store_ps(b, _mm_add_ps(_mm_load_ps(b), f));
}

// Eight springs s .. s + 7: their forces, added to their ends in order; when
// marking, their marks (returning how many) and their stretch margins folded
// into `margin`.
template <bool marking>
AVX512 inline __attribute__((always_inline)) size_t addSpringGroup8(const Spring* springs, const PointState* state,
                                                                    float* forces, uint8_t* mayStretch,
                                                                    __m256& margin) {
    __m256 d[8];
    for (size_t j = 0; j < 8; ++j) {
        const Spring& spring = springs[j];
        d[j] = _mm256_sub_ps(_mm256_load_ps(&state[spring.pointA].x), _mm256_load_ps(&state[spring.pointB].x));
    }
    const StateColumns dc = transposeStates(d);
    const Columns8 pc = springColumns(springs, &Spring::stiffness);  // stiffness, damping, restLength
    const __m512d dx = wide(dc.x), dy = wide(dc.y), dz = wide(dc.z);

    const __m512d squared = dot(dx, dy, dz, dx, dy, dz);
    const __m512d length = _mm512_sqrt_pd(squared);
    const __m256 lengthF = _mm512_cvtpd_ps(length);
    const __m512d lengthD = wide(lengthF);
    const __m512d closing = dot(wide(dc.vx), wide(dc.vy), wide(dc.vz), dx, dy, dz);
    // Damper along the spring plus Hooke's law on the excess length.
    const __m256 magnitude =
        _mm512_cvtpd_ps(_mm512_add_pd(_mm512_div_pd(_mm512_mul_pd(closing, wide(pc.y)), lengthD),
                                      _mm512_mul_pd(_mm512_sub_pd(lengthD, wide(pc.z)), wide(pc.x))));
    // 1 / length with length a float: the float division gives the same number
    // as the double one rounded to float.
    const __m256 reciprocal = _mm256_div_ps(_mm256_set1_ps(1.0f), lengthF);
    const __m256 fx = _mm256_mul_ps(_mm256_mul_ps(dc.x, reciprocal), magnitude);
    const __m256 fy = _mm256_mul_ps(_mm256_mul_ps(dc.y, reciprocal), magnitude);
    const __m256 fz = _mm256_mul_ps(_mm256_mul_ps(dc.z, reciprocal), magnitude);
    // One row (fx, fy, fz, 0) per spring, springs j and j + 4 in one register.
    const __m256 columns[4] = {fx, fy, fz, _mm256_setzero_ps()};
    const Columns8 rows = transpose8(columns);
    const __m256 pairs[4] = {rows.x, rows.y, rows.z, rows.w};
    // A length of 0 or NaN exerts nothing, nor one so small that 1 / length is
    // no float (see the four-wide loop).
    const __m256 positive = _mm256_cmp_ps(lengthF, _mm256_setzero_ps(), _CMP_GT_OQ);
    const __m256 finite = _mm256_cmp_ps(reciprocal, _mm256_set1_ps(__builtin_inff()), _CMP_LT_OQ);
    const unsigned acts = static_cast<unsigned>(_mm256_movemask_ps(_mm256_and_ps(positive, finite)));
    // Spring j's row is in the low half of pair j, spring j + 4's in the high half.
    const __m128 toB[8] = {lowHalf(pairs[0]),  lowHalf(pairs[1]),  lowHalf(pairs[2]),  lowHalf(pairs[3]),
                           highHalf(pairs[0]), highHalf(pairs[1]), highHalf(pairs[2]), highHalf(pairs[3])};
    if (acts == 0xffu) {  // the usual case: every spring acts
        for (size_t j = 0; j < 8; ++j) addSpringForce(forces, springs[j], toB[j]);
    } else {
        for (size_t j = 0; j < 8; ++j)
            if (acts & (1u << j)) addSpringForce(forces, springs[j], toB[j]);
    }
    if (!marking) return 0;
    const __m256 maxDeviation = _mm256_set_ps(springs[7].maxDeviation, springs[6].maxDeviation,
                                              springs[5].maxDeviation, springs[4].maxDeviation,
                                              springs[3].maxDeviation, springs[2].maxDeviation,
                                              springs[1].maxDeviation, springs[0].maxDeviation);
    margin = _mm256_min_ps(stretchMargins8(lengthF, pc.z, maxDeviation), margin);
    return storeMarks8(stretchMarks8(squared, pc.z, maxDeviation), mayStretch);
}

// Eight springs s .. s + 7: only their marks.
AVX512 inline size_t markGroup8(const Spring* springs, const PointState* state, uint8_t* mayStretch) {
    __m256 d[4];
    for (size_t j = 0; j < 4; ++j) {
        const Spring& low = springs[j];
        const Spring& high = springs[j + 4];
        d[j] = _mm256_sub_ps(rowPair(&state[low.pointA].x, &state[high.pointA].x),
                             rowPair(&state[low.pointB].x, &state[high.pointB].x));
    }
    const Columns8 dc = transpose8(d);
    const __m512d dx = wide(dc.x), dy = wide(dc.y), dz = wide(dc.z);
    // damping, restLength, stretchPercent, maxDeviation
    const Columns8 limits = springColumns(springs, &Spring::damping);
    return storeMarks8(stretchMarks8(dot(dx, dy, dz, dx, dy, dz), limits.y, limits.w), mayStretch);
}

AVX512 size_t markStretched(const Spring* springs, size_t count, const PointState* state, uint8_t* mayStretch) {
    size_t marked = 0;
    size_t s = 0;
    for (; s + 8 <= count; s += 8) marked += markGroup8(springs + s, state, mayStretch + s);
    if (s < count) marked += avx2Kernels()->markStretched(springs + s, count - s, state, mayStretch + s);
    return marked;
}

// The smallest of eight floats.
AVX512 inline float smallest8(__m256 values) {
    const __m128 four = _mm_min_ps(_mm256_castps256_ps128(values), _mm256_extractf128_ps(values, 1));
    const __m128 two = _mm_min_ps(four, _mm_movehl_ps(four, four));
    return _mm_cvtss_f32(_mm_min_ss(two, _mm_shuffle_ps(two, two, 1)));
}

// Springs s .. the last with the four-wide loop; then the smallest stretch
// margin, if asked for, from `margin` and theirs.
AVX512 void addLastSprings(const ForcePass& pass, size_t s, size_t& marked, __m256 margin) {
    float lastMargin = __builtin_inff();
    if (s < pass.springCount) {
        ForcePass rest = pass;
        rest.springs += s;
        rest.springCount -= s;
        if (rest.mayStretch != nullptr) rest.mayStretch += s;
        rest.stretchMargin = &lastMargin;
        avx2Kernels()->addSprings(rest, marked);
    }
    if (pass.mayStretch != nullptr && pass.stretchMargin != nullptr)
        *pass.stretchMargin = std::min(smallest8(margin), lastMargin);
}

AVX512 void addSprings(const ForcePass& pass, size_t& marked) {
    const Spring* const springs = pass.springs;
    const size_t count = pass.springCount;
    const PointState* const state = pass.state;
    float* const forces = pass.forces;
    uint8_t* const mayStretch = pass.mayStretch;
    __m256 margin = _mm256_set1_ps(__builtin_inff());
    size_t s = 0;
    if (mayStretch != nullptr) {
        for (; s + 8 <= count; s += 8)
            marked += addSpringGroup8<true>(springs + s, state, forces, mayStretch + s, margin);
    } else {
        for (; s + 8 <= count; s += 8) addSpringGroup8<false>(springs + s, state, forces, nullptr, margin);
    }
    addLastSprings(pass, s, marked, margin);
}

// Eight faces f .. f + 7: area and normal; returns their volume terms.
AVX512 inline __attribute__((always_inline)) __m512d faceGroup8(const FaceArrays& arrays, size_t f) {
    const Face* const faces = arrays.faces;
    const PointState* const state = arrays.state;
    float* const area = arrays.area;
    float* const nx = arrays.nx;
    float* const ny = arrays.ny;
    float* const nz = arrays.nz;
    const __m512d one = _mm512_set1_pd(1.0);
    __m256 r0[4], r1[4], r2[4];
    for (size_t j = 0; j < 4; ++j) {
        const Face& low = faces[f + j];
        const Face& high = faces[f + j + 4];
        r0[j] = rowPair(&state[low.pointA].x, &state[high.pointA].x);
        r1[j] = rowPair(&state[low.pointB].x, &state[high.pointB].x);
        r2[j] = rowPair(&state[low.pointC].x, &state[high.pointC].x);
    }
    const Columns8 p0 = transpose8(r0), p1 = transpose8(r1), p2 = transpose8(r2);
    // e1 = P0 − P1, e2 = P0 − P2, c = e1 × e2 with each component in double.
    const __m512d e1x = wide(_mm256_sub_ps(p0.x, p1.x)), e1y = wide(_mm256_sub_ps(p0.y, p1.y)),
                  e1z = wide(_mm256_sub_ps(p0.z, p1.z));
    const __m512d e2x = wide(_mm256_sub_ps(p0.x, p2.x)), e2y = wide(_mm256_sub_ps(p0.y, p2.y)),
                  e2z = wide(_mm256_sub_ps(p0.z, p2.z));
    const __m256 cx = _mm512_cvtpd_ps(_mm512_sub_pd(_mm512_mul_pd(e1y, e2z), _mm512_mul_pd(e1z, e2y)));
    const __m256 cy = _mm512_cvtpd_ps(_mm512_sub_pd(_mm512_mul_pd(e1z, e2x), _mm512_mul_pd(e1x, e2z)));
    const __m256 cz = _mm512_cvtpd_ps(_mm512_sub_pd(_mm512_mul_pd(e1x, e2y), _mm512_mul_pd(e1y, e2x)));
    const __m512d cxd = wide(cx), cyd = wide(cy), czd = wide(cz);
    const __m512d length = _mm512_sqrt_pd(dot(cxd, cyd, czd, cxd, cyd, czd));
    const __m256 faceArea = _mm512_cvtpd_ps(length);
    // A length of 0 or NaN, or one so small that its reciprocal is no float,
    // leaves c as it is (scaled by 1).
    const __m512d divisor =
        _mm512_mask_blend_pd(_mm512_cmp_pd_mask(length, _mm512_setzero_pd(), _CMP_GT_OQ), one, length);
    const __m256 reciprocal = _mm512_cvtpd_ps(_mm512_div_pd(one, divisor));
    const __m256 scale = _mm256_blendv_ps(_mm256_set1_ps(1.0f), reciprocal,
                                          _mm256_cmp_ps(reciprocal, _mm256_set1_ps(__builtin_inff()), _CMP_LT_OQ));
    const __m256 normalX = _mm256_mul_ps(cx, scale);
    _mm256_storeu_ps(area + f, faceArea);
    _mm256_storeu_ps(nx + f, normalX);
    _mm256_storeu_ps(ny + f, _mm256_mul_ps(cy, scale));
    _mm256_storeu_ps(nz + f, _mm256_mul_ps(cz, scale));
    // Volume terms ((x2 + x1) + x0) · area · nx · 0.333 (0.333, not one third,
    // with area twice the triangle's: the 1.998 of the volume measure).
    const __m512d xSum = _mm512_add_pd(_mm512_add_pd(wide(p2.x), wide(p1.x)), wide(p0.x));
    return _mm512_mul_pd(_mm512_mul_pd(_mm512_mul_pd(xSum, wide(faceArea)), wide(normalX)), _mm512_set1_pd(0.333));
}

// The running volume over terms [from, to): one float sum in face order, each
// step formed in double.
AVX512 inline float addVolumeTerms(const double* terms, size_t from, size_t to, float volume) {
    for (size_t j = from; j < to; ++j) volume = static_cast<float>(terms[j] + volume);
    return volume;
}

AVX512 float faceGeometry(const ForcePass& pass) {
    const FaceArrays arrays(pass);
    float volume = 0.0f;
    size_t f = 0;
    for (; f + 8 <= arrays.count; f += 8) {
        alignas(64) double terms[8];
        _mm512_store_pd(terms, faceGroup8(arrays, f));
        volume = addVolumeTerms(terms, 0, 8, volume);
    }
    return arrays.continueFrom(f, volume);  // the last few faces one at a time
}

// Springs and faces of one evaluation. Each step of the volume sum waits some
// nine cycles for the one before, which would leave the face loop waiting on
// it. So the face loop only stores the terms, and the spring loop, which is
// limited by how much it computes and not by any wait, carries the sum a few
// faces on with every group of springs: the waits then overlap its work. The
// sum still adds the same terms in face order.
AVX512 float springsAndFaces(const ForcePass& pass, size_t& marked) {
    if (pass.volumeTerms == nullptr) {
        addSprings(pass, marked);
        return faceGeometry(pass);
    }
    const FaceArrays arrays(pass);
    const PointState* const state = pass.state;
    double* const terms = pass.volumeTerms;
    const size_t groupedFaces = arrays.count - arrays.count % 8;
    for (size_t f = 0; f < groupedFaces; f += 8) _mm512_storeu_pd(terms + f, faceGroup8(arrays, f));

    const Spring* const springs = pass.springs;
    const size_t springCount = pass.springCount;
    float* const forces = pass.forces;
    uint8_t* const mayStretch = pass.mayStretch;
    const size_t springGroups = springCount / 8;
    const size_t facesPerGroup = springGroups > 0 ? (groupedFaces + springGroups - 1) / springGroups : 0;
    __m256 margin = _mm256_set1_ps(__builtin_inff());
    float volume = 0.0f;
    size_t summed = 0;
    size_t s = 0;
    for (; s + 8 <= springCount; s += 8) {
        if (mayStretch != nullptr)
            marked += addSpringGroup8<true>(springs + s, state, forces, mayStretch + s, margin);
        else
            addSpringGroup8<false>(springs + s, state, forces, nullptr, margin);
        const size_t until = std::min(groupedFaces, summed + facesPerGroup);
        volume = addVolumeTerms(terms, summed, until, volume);
        summed = until;
    }
    addLastSprings(pass, s, marked, margin);
    volume = addVolumeTerms(terms, summed, groupedFaces, volume);
    return arrays.continueFrom(groupedFaces, volume);  // the last few faces one at a time
}


// One face's normal and area, its pressure force, and its corners' shares.
AVX512 inline void storeFaceShare(Face& face, float* forces, __m128 normalRow, __m128 forceRow, __m128 shareRow) {
    _mm_storeu_ps(&face.normal.x, normalRow);  // normal, then area
    _mm_storel_pi(reinterpret_cast<__m64*>(&face.pressureForce.x), forceRow);
    _mm_store_ss(&face.pressureForce.z, _mm_movehl_ps(forceRow, forceRow));
    if (forces == nullptr) return;
    for (int32_t corner : {face.pointA, face.pointB, face.pointC}) {
        float* to = forces + forceStride * corner;
        _mm_store_ps(to, _mm_add_ps(_mm_load_ps(to), shareRow));
    }
}

// Pressure forces and corner shares, eight faces at a time.
AVX512 void addFaceShares(Face* faces, size_t count, const float* area, const float* nx, const float* ny,
                          const float* nz, float pressureConstant, float inverseVolume, float* forces) {
    static_assert(offsetof(Face, area) == offsetof(Face, normal) + 3 * sizeof(float),
                  "normal and area are written as one row");
    const __m256 constant = _mm256_set1_ps(pressureConstant);
    const __m256 inverse = _mm256_set1_ps(inverseVolume);
    const __m256 share = _mm256_set1_ps(0.3333f);
    const __m256 negativeZero = _mm256_set1_ps(-0.0f);
    size_t f = 0;
    for (; f + 8 <= count; f += 8) {
        const __m256 x = _mm256_loadu_ps(nx + f), y = _mm256_loadu_ps(ny + f), z = _mm256_loadu_ps(nz + f);
        const __m256 a = _mm256_loadu_ps(area + f);
        // ((normal × area) × nRT) × 1/V, each scaling rounded to float.
        const __m256 px = _mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(x, a), constant), inverse);
        const __m256 py = _mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(y, a), constant), inverse);
        const __m256 pz = _mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(z, a), constant), inverse);
        const __m256 normalColumns[4] = {x, y, z, a};
        const __m256 forceColumns[4] = {px, py, pz, negativeZero};
        const __m256 shareColumns[4] = {_mm256_mul_ps(px, share), _mm256_mul_ps(py, share), _mm256_mul_ps(pz, share),
                                        negativeZero};
        const Columns8 normalPairs = transpose8(normalColumns);
        const Columns8 forcePairs = transpose8(forceColumns);
        const Columns8 sharePairs = transpose8(shareColumns);
        // Face j's rows sit in the low half of pair j, face j + 4's in the high half.
        storeFaceShare(faces[f], forces, lowHalf(normalPairs.x), lowHalf(forcePairs.x), lowHalf(sharePairs.x));
        storeFaceShare(faces[f + 1], forces, lowHalf(normalPairs.y), lowHalf(forcePairs.y), lowHalf(sharePairs.y));
        storeFaceShare(faces[f + 2], forces, lowHalf(normalPairs.z), lowHalf(forcePairs.z), lowHalf(sharePairs.z));
        storeFaceShare(faces[f + 3], forces, lowHalf(normalPairs.w), lowHalf(forcePairs.w), lowHalf(sharePairs.w));
        storeFaceShare(faces[f + 4], forces, highHalf(normalPairs.x), highHalf(forcePairs.x), highHalf(sharePairs.x));
        storeFaceShare(faces[f + 5], forces, highHalf(normalPairs.y), highHalf(forcePairs.y), highHalf(sharePairs.y));
        storeFaceShare(faces[f + 6], forces, highHalf(normalPairs.z), highHalf(forcePairs.z), highHalf(sharePairs.z));
        storeFaceShare(faces[f + 7], forces, highHalf(normalPairs.w), highHalf(forcePairs.w), highHalf(sharePairs.w));
    }
    if (f < count)  // the last few faces with the four-wide loop
        avx2Kernels()->addFaceShares(faces + f, count - f, area + f, nx + f, ny + f, nz + f, pressureConstant,
                                     inverseVolume, forces);
}

}  // namespace

const BulkKernels* avx512Kernels() {
    static const BulkKernels* kernels = [] () -> const BulkKernels* {
        const BulkKernels* narrower = avx2Kernels();
        if (narrower == nullptr || !__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("bmi2"))
            return nullptr;
        static BulkKernels k = *narrower;
        k.faceGeometry = faceGeometry;
        k.springsAndFaces = springsAndFaces;
        k.addSprings = addSprings;
        k.markStretched = markStretched;
        k.addFaceShares = addFaceShares;
        return &k;
    }();
    return kernels;
}

#else

const BulkKernels* avx512Kernels() { return nullptr; }

#endif
