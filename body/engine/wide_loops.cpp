// The wide loops (body/engine/wide_loops.h), written once with Google Highway
// and compiled for each SIMD target (AVX-512, AVX2, SSE4, NEON, ... and the
// portable EMU128), dispatched at run time, or for the compiler's baseline
// target alone when PLUMFOLD_SIMD_DISPATCH is off.
//
// Arithmetic rules. Wherever the records form a component in double and round
// it to float, a lane here does the same: promote, compute in double, narrow.
// For one +, −, ×, ÷ or √ of floats that is the float operation itself (double
// has more than twice float's precision plus two bits, so rounding twice
// cannot differ from rounding once), and the loops use the float operation.
// Nothing is fused, reordered or reassociated.
//
// Points are reached through their indices, so each group loads the rows it
// needs (a point's four position or velocity floats, a spring's constants)
// and turns them into columns in registers; forces go back the same way in
// reverse, one row per spring or face, in stored order.
//
// A square root or division in double waits for tens of cycles, longer than
// the processor can look ahead within one group's work, so the spring and face
// loops keep a few groups in flight: a group's lengths are measured one or two
// groups ahead of the rest of its work. That changes only the order of
// independent operations; every force is still added in stored order.
//
// The per-point phases take a point's x, y, z as one row of four floats.

// Groups are built from rows of four floats, so the loops are for targets of
// fixed width: not the scalable ones. Highway 1.0.3 has no double vectors on
// WebAssembly; there the portable code runs.
// foreach_target.h must come first: it includes this file once per target.
// clang-format off
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV | HWY_WASM | HWY_WASM_EMU256)
#endif
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "body/engine/wide_loops.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
// clang-format on

#include <hwy/highway.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "body/engine/wide_loops.h"
#include "body/walls.h"

HWY_BEFORE_NAMESPACE();
namespace plumfold {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DD = hn::ScalableTag<double>;
using DF = hn::Rebind<float, DD>;  // as many floats as doubles
using VD = hn::Vec<DD>;
using VF = hn::Vec<DF>;

// Springs or faces per group: one per double lane.
constexpr size_t groupSize = hn::MaxLanes(DD());
static_assert(groupSize <= 8, "a group's lanes fit the bits of one byte");

// For every byte of lane bits, one byte per lane: 1 where its bit is set.
constexpr std::array<std::array<uint8_t, 8>, 256> laneBytes = [] {
    std::array<std::array<uint8_t, 8>, 256> table{};
    for (size_t bits = 0; bits < 256; ++bits)
        for (size_t lane = 0; lane < 8; ++lane) table[bits][lane] = static_cast<uint8_t>(bits >> lane & 1);
    return table;
}();

// Double to float, rounded to nearest. Highway's portable targets clamp
// overflow to the largest float; the records give infinity, so those narrow
// lane by lane as the records do.
HWY_INLINE VF narrow(VD v) {
#if HWY_TARGET == HWY_EMU128 || HWY_TARGET == HWY_SCALAR
    HWY_ALIGN double wide[groupSize];
    HWY_ALIGN float narrowed[groupSize];
    hn::Store(v, DD(), wide);
    for (size_t j = 0; j < groupSize; ++j) narrowed[j] = static_cast<float>(wide[j]);
    return hn::Load(DF(), narrowed);
#else
    return hn::DemoteTo(DF(), v);
#endif
}

HWY_INLINE VD widen(VF v) { return hn::PromoteTo(DD(), v); }

// z·z' + y·y' + x·x', summed in that order in double, as Vector3::dot.
HWY_INLINE VD dot(VD ax, VD ay, VD az, VD bx, VD by, VD bz) {
    return hn::Add(hn::Add(hn::Mul(az, bz), hn::Mul(ay, by)), hn::Mul(ax, bx));
}

// ------------------------------------------------------------------- rows ---
// A row is four consecutive floats of a record (a point's position and mass,
// a spring's constants, a force sum). A group's rows turn into four columns
// of one lane per record, and columns back into rows, in registers.

#if HWY_TARGET == HWY_SCALAR
struct Row {
    float v[4];
};
HWY_INLINE Row loadRow(const void* bytes) {
    Row row;
    std::memcpy(row.v, bytes, sizeof row.v);
    return row;
}
HWY_INLINE Row subtract(const Row& a, const Row& b) {
    return Row{{a.v[0] - b.v[0], a.v[1] - b.v[1], a.v[2] - b.v[2], a.v[3] - b.v[3]}};
}
HWY_INLINE void toColumns(const Row* rows, VF& c0, VF& c1, VF& c2, VF& c3) {
    const DF df;
    c0 = hn::Set(df, rows[0].v[0]);
    c1 = hn::Set(df, rows[0].v[1]);
    c2 = hn::Set(df, rows[0].v[2]);
    c3 = hn::Set(df, rows[0].v[3]);
}
HWY_INLINE void toRows(VF c0, VF c1, VF c2, VF c3, Row* rows) {
    rows[0] = Row{{hn::GetLane(c0), hn::GetLane(c1), hn::GetLane(c2), hn::GetLane(c3)}};
}
HWY_INLINE void storeRow(const Row& row, float* to) { std::memcpy(to, row.v, sizeof row.v); }
// to = to + row, or to − row: the scratch float goes along.
HWY_INLINE void addRow(float* to, const Row& row) {
    for (size_t k = 0; k < 4; ++k) to[k] = to[k] + row.v[k];
}
HWY_INLINE void subtractRow(float* to, const Row& row) {
    for (size_t k = 0; k < 4; ++k) to[k] = to[k] - row.v[k];
}

// The per-point phases' row operations (see "points" below), lane by lane.
HWY_INLINE Row rowOf(float s) { return Row{{s, s, s, s}}; }
HWY_INLINE Row add(const Row& a, const Row& b) {
    return Row{{a.v[0] + b.v[0], a.v[1] + b.v[1], a.v[2] + b.v[2], a.v[3] + b.v[3]}};
}
HWY_INLINE Row multiply(const Row& a, const Row& b) {
    return Row{{a.v[0] * b.v[0], a.v[1] * b.v[1], a.v[2] * b.v[2], a.v[3] * b.v[3]}};
}
HWY_INLINE Row xyzOf(const Row& a, const Row& rest) { return Row{{a.v[0], a.v[1], a.v[2], rest.v[3]}}; }
HWY_INLINE Row xyzOnly(const Row& a) { return Row{{a.v[0], a.v[1], a.v[2], 0.0f}}; }
HWY_INLINE Row lastOfFirstThenAll(const Row& a, const Row& b) { return Row{{a.v[2], b.v[0], b.v[1], b.v[2]}}; }
HWY_INLINE Row fourthOf(const Row& a) { return rowOf(a.v[3]); }
HWY_INLINE Row fourthOfFirstThenAll(const Row& a, const Row& b) { return Row{{a.v[3], b.v[0], b.v[1], b.v[2]}}; }
HWY_INLINE void applyWallsToRows(Row& x, Row& v) {
    Vector3 position{x.v[0], x.v[1], x.v[2]}, velocity{v.v[0], v.v[1], v.v[2]};
    applyWalls(position, velocity);
    x = Row{{position.x, position.y, position.z, x.v[3]}};
    v = Row{{velocity.x, velocity.y, velocity.z, v.v[3]}};
}
// The largest |to − from| of x, y and z; NaN counts as infinity.
using Bits = float;
HWY_INLINE Bits noChange() { return 0.0f; }
HWY_INLINE void foldChange(const Row& from, const Row& to, float& largest) {
    for (size_t k = 0; k < 3; ++k) {
        const float change = std::fabs(to.v[k] - from.v[k]);
        if (!(change <= largest)) largest = std::isnan(change) ? HUGE_VALF : change;
    }
}
HWY_INLINE float largestChange(float largest) { return largest; }
#else
using D4 = hn::Full128<float>;
using Row = hn::Vec<D4>;
// Every row starts at a float of its record and the next three members are
// floats too (asserted below), so a row is one unaligned load.
HWY_INLINE Row loadRow(const void* bytes) { return hn::LoadU(D4(), static_cast<const float*>(bytes)); }
HWY_INLINE Row subtract(Row a, Row b) { return hn::Sub(a, b); }

// Transposes four vectors of rows within each 128-bit block: lane k of block
// b of the j-th input becomes lane j of block b of the k-th output.
template <class D>
HWY_INLINE void transposeBlocks(D d, hn::Vec<D> r0, hn::Vec<D> r1, hn::Vec<D> r2, hn::Vec<D> r3, hn::Vec<D>& c0,
                                hn::Vec<D>& c1, hn::Vec<D>& c2, hn::Vec<D>& c3) {
    const hn::Repartition<double, D> pairs;  // two floats moved as one 64-bit lane
    const auto t0 = hn::BitCast(pairs, hn::InterleaveLower(d, r0, r1));
    const auto t1 = hn::BitCast(pairs, hn::InterleaveLower(d, r2, r3));
    const auto t2 = hn::BitCast(pairs, hn::InterleaveUpper(d, r0, r1));
    const auto t3 = hn::BitCast(pairs, hn::InterleaveUpper(d, r2, r3));
    c0 = hn::BitCast(d, hn::InterleaveLower(pairs, t0, t1));
    c1 = hn::BitCast(d, hn::InterleaveUpper(pairs, t0, t1));
    c2 = hn::BitCast(d, hn::InterleaveLower(pairs, t2, t3));
    c3 = hn::BitCast(d, hn::InterleaveUpper(pairs, t2, t3));
}

// groupSize rows into four columns.
template <class D>
HWY_INLINE void toColumnsOf(D d, const Row* rows, hn::Vec<D>& c0, hn::Vec<D>& c1, hn::Vec<D>& c2, hn::Vec<D>& c3) {
    if constexpr (hn::MaxLanes(d) == 2) {
        const D4 d4;
        const Row low = hn::InterleaveLower(d4, rows[0], rows[1]);   // a0 b0 a1 b1
        const Row high = hn::InterleaveUpper(d4, rows[0], rows[1]);  // a2 b2 a3 b3
        c0 = hn::LowerHalf(d, low);
        c1 = hn::UpperHalf(d, low);
        c2 = hn::LowerHalf(d, high);
        c3 = hn::UpperHalf(d, high);
    } else if constexpr (hn::MaxLanes(d) == 4) {
        transposeBlocks(d, rows[0], rows[1], rows[2], rows[3], c0, c1, c2, c3);
    } else {  // eight: rows j and j + 4 share a vector
        transposeBlocks(d, hn::Combine(d, rows[4], rows[0]), hn::Combine(d, rows[5], rows[1]),
                        hn::Combine(d, rows[6], rows[2]), hn::Combine(d, rows[7], rows[3]), c0, c1, c2, c3);
    }
}

// Four columns into groupSize rows.
template <class D>
HWY_INLINE void toRowsOf(D d, hn::Vec<D> c0, hn::Vec<D> c1, hn::Vec<D> c2, hn::Vec<D> c3, Row* rows) {
    const D4 d4;
    if constexpr (hn::MaxLanes(d) == 2) {
        const Row xy = hn::InterleaveLower(d4, hn::ZeroExtendVector(d4, c0), hn::ZeroExtendVector(d4, c1));
        const Row z0 = hn::InterleaveLower(d4, hn::ZeroExtendVector(d4, c2), hn::ZeroExtendVector(d4, c3));
        rows[0] = hn::ConcatLowerLower(d4, z0, xy);
        rows[1] = hn::ConcatUpperUpper(d4, z0, xy);
    } else if constexpr (hn::MaxLanes(d) == 4) {
        transposeBlocks(d, c0, c1, c2, c3, rows[0], rows[1], rows[2], rows[3]);
    } else {
        hn::Vec<D> r[4];
        transposeBlocks(d, c0, c1, c2, c3, r[0], r[1], r[2], r[3]);
        for (size_t j = 0; j < 4; ++j) {
            rows[j] = hn::LowerHalf(d4, r[j]);
            rows[j + 4] = hn::UpperHalf(d4, r[j]);
        }
    }
}

HWY_INLINE void toColumns(const Row* rows, VF& c0, VF& c1, VF& c2, VF& c3) { toColumnsOf(DF(), rows, c0, c1, c2, c3); }
HWY_INLINE void toRows(VF c0, VF c1, VF c2, VF c3, Row* rows) { toRowsOf(DF(), c0, c1, c2, c3, rows); }
HWY_INLINE void storeRow(Row row, float* to) { hn::StoreU(row, D4(), to); }
// to = to + row, or to − row: the scratch float goes along.
HWY_INLINE void addRow(float* to, Row row) { hn::StoreU(hn::Add(hn::LoadU(D4(), to), row), D4(), to); }
HWY_INLINE void subtractRow(float* to, Row row) { hn::StoreU(hn::Sub(hn::LoadU(D4(), to), row), D4(), to); }

// The per-point phases' row operations (see "points" below).
HWY_INLINE Row rowOf(float s) { return hn::Set(D4(), s); }
HWY_INLINE Row add(Row a, Row b) { return hn::Add(a, b); }
HWY_INLINE Row multiply(Row a, Row b) { return hn::Mul(a, b); }
// x, y, z of a and the fourth float of rest.
HWY_INLINE Row xyzOf(Row a, Row rest) { return hn::IfThenElse(hn::FirstN(D4(), 3), a, rest); }
HWY_INLINE Row xyzOnly(Row a) { return hn::IfThenElseZero(hn::FirstN(D4(), 3), a); }
// (a.z, b.x, b.y, b.z)
HWY_INLINE Row lastOfFirstThenAll(Row a, Row b) {
    return hn::CombineShiftRightBytes<12>(D4(), b, hn::ShiftLeftLanes<1>(D4(), a));
}
// The fourth float of a in every lane.
HWY_INLINE Row fourthOf(Row a) { return hn::Broadcast<3>(a); }
// (a.w, b.x, b.y, b.z)
HWY_INLINE Row fourthOfFirstThenAll(Row a, Row b) { return hn::CombineShiftRightBytes<12>(D4(), b, a); }
// applyWalls (body/walls.h) on the x, y, z of a position and a velocity row:
// the floor first, for the whole velocity, then the side walls, each lane
// for itself; the same comparisons, so NaN lands on the wall too.
HWY_INLINE void applyWallsToRows(Row& x, Row& v) {
    const D4 d;
    const Row low = hn::Set(d, static_cast<float>(-boxLimit)), high = hn::Set(d, static_cast<float>(boxLimit));
    const Row bounce = hn::Set(d, -0.6f);
    const auto yLane = hn::AndNot(hn::FirstN(d, 1), hn::FirstN(d, 2));
    const auto sideLanes = hn::AndNot(yLane, hn::FirstN(d, 3));
    // Most points are inside the box: one test of x, y and z (no ceiling) for them.
    const auto inside = hn::And(hn::Ge(x, low), hn::Or(hn::Le(x, high), yLane));
    if (hn::AllTrue(d, hn::Or(inside, hn::Not(hn::FirstN(d, 3))))) return;
    const auto floorHit = hn::MaskFromVec(hn::Broadcast<1>(hn::VecFromMask(d, hn::Not(hn::Ge(x, low)))));
    x = hn::IfThenElse(hn::And(floorHit, yLane), low, x);
    v = hn::IfThenElse(floorHit, hn::Mul(v, bounce), v);
    const auto belowLow = hn::And(hn::Not(hn::Ge(x, low)), sideLanes);
    x = hn::IfThenElse(belowLow, low, x);
    v = hn::IfThenElse(belowLow, hn::Mul(v, bounce), v);
    const auto aboveHigh = hn::And(hn::Gt(x, high), sideLanes);
    x = hn::IfThenElse(aboveHigh, high, x);
    v = hn::IfThenElse(aboveHigh, hn::Mul(v, bounce), v);
}
// The largest |to − from| of x, y and z, lane by lane, as the bits of the
// float: for floats without sign those order as the values do, and NaN
// above infinity.
using Bits = hn::Vec<hn::RebindToUnsigned<D4> >;
HWY_INLINE Bits noChange() { return hn::Zero(hn::RebindToUnsigned<D4>()); }
HWY_INLINE void foldChange(Row from, Row to, Bits& largest) {
    const hn::RebindToUnsigned<D4> du;
    largest = hn::Max(largest, hn::BitCast(du, xyzOnly(hn::Abs(hn::Sub(to, from)))));
}
// The largest change; infinity for NaN.
HWY_INLINE float largestChange(Bits largest) {
    const hn::RebindToUnsigned<D4> du;
    const uint32_t bits = hn::GetLane(hn::MaxOfLanes(du, largest));
    float change;
    std::memcpy(&change, &bits, sizeof change);
    return std::isnan(change) ? HUGE_VALF : change;
}
#endif

static_assert(offsetof(PointState, mass) == 3 * sizeof(float) && offsetof(PointState, velocity) == 16 &&
                  offsetof(PointState, inverseMass) == 28,
              "a point's rows: position and mass, velocity and 1/m");
static_assert(offsetof(Face, area) == offsetof(Face, normal) + 12 &&
                  offsetof(Face, pressureForce) == offsetof(Face, area) + 4,
              "a face's normal, area and pressure force follow each other");
static_assert(offsetof(Spring, damping) == offsetof(Spring, stiffness) + 4 &&
                  offsetof(Spring, restLength) == offsetof(Spring, stiffness) + 8 &&
                  offsetof(Spring, stretchPercent) == offsetof(Spring, stiffness) + 12 &&
                  offsetof(Spring, maxDeviation) == offsetof(Spring, stiffness) + 16,
              "a spring's rows: stiffness to stretchPercent, damping to maxDeviation");

// Rows of records at a byte offset; lanes past `count` get a row of zeros.
template <class Record>
HWY_INLINE void loadRows(const Record* records, size_t count, size_t offset, Row* rows) {
    static const float zeros[4] = {};
    const auto* bytes = reinterpret_cast<const char*>(records) + offset;
    if (count == groupSize) {  // the usual case, without a test per lane
        for (size_t j = 0; j < groupSize; ++j) rows[j] = loadRow(bytes + j * sizeof(Record));
        return;
    }
    for (size_t j = 0; j < groupSize; ++j)
        rows[j] = loadRow(j < count ? static_cast<const void*>(bytes + j * sizeof(Record)) : zeros);
}

// Row `offset` (0: position and mass, 16: velocity and 1/m) of A − B for each
// spring of a group; lanes past `count` get a row of zeros.
HWY_INLINE void loadDifferences(const Spring* springs, size_t count, const PointState* state, size_t offset,
                                Row* rows) {
    const auto* bytes = reinterpret_cast<const char*>(state) + offset;
    const auto row = [&](const Spring& spring) {
        return subtract(loadRow(bytes + spring.pointA * sizeof(PointState)),
                        loadRow(bytes + spring.pointB * sizeof(PointState)));
    };
    if (count == groupSize) {
        for (size_t j = 0; j < groupSize; ++j) rows[j] = row(springs[j]);
        return;
    }
    static const float zeros[4] = {};
    for (size_t j = 0; j < groupSize; ++j) rows[j] = j < count ? row(springs[j]) : loadRow(zeros);
}

// Position (dx, dy, dz) and velocity (vx, vy, vz) columns of A − B for a
// group of springs; lanes past `count` are zero. Where vectors hold eight
// floats, a point's whole 32-byte state is one row: one load per end and one
// subtraction give both differences (the mass lanes are dropped).
template <class D>
HWY_INLINE void loadEndDifferencesOf(D d, const Spring* springs, size_t count, const PointState* state, hn::Vec<D>& dx,
                                     hn::Vec<D>& dy, hn::Vec<D>& dz, hn::Vec<D>& vx, hn::Vec<D>& vy, hn::Vec<D>& vz) {
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2
    const hn::Full256<float> d8;
    const D4 d4;
    using Row8 = hn::Vec<decltype(d8)>;
    const auto row = [&](size_t j) {
        if (j >= count) return hn::Zero(d8);
        return hn::Sub(hn::LoadU(d8, &state[springs[j].pointA].position.x),
                       hn::LoadU(d8, &state[springs[j].pointB].position.x));
    };
    // Rows j .. j + 3 into columns: block 0 of column k is position
    // component k, block 1 velocity component k.
    Row8 c[2][4];
    for (size_t half = 0; half < groupSize / 4; ++half) {
        const size_t j = 4 * half;
        transposeBlocks(d8, row(j), row(j + 1), row(j + 2), row(j + 3), c[half][0], c[half][1], c[half][2], c[half][3]);
    }
    if constexpr (hn::MaxLanes(d) == 4) {
        dx = hn::LowerHalf(d4, c[0][0]), dy = hn::LowerHalf(d4, c[0][1]), dz = hn::LowerHalf(d4, c[0][2]);
        vx = hn::UpperHalf(d4, c[0][0]), vy = hn::UpperHalf(d4, c[0][1]), vz = hn::UpperHalf(d4, c[0][2]);
    } else {
        static_assert(hn::MaxLanes(d) == 8, "four or eight springs per group");
        dx = hn::ConcatLowerLower(d8, c[1][0], c[0][0]), vx = hn::ConcatUpperUpper(d8, c[1][0], c[0][0]);
        dy = hn::ConcatLowerLower(d8, c[1][1], c[0][1]), vy = hn::ConcatUpperUpper(d8, c[1][1], c[0][1]);
        dz = hn::ConcatLowerLower(d8, c[1][2], c[0][2]), vz = hn::ConcatUpperUpper(d8, c[1][2], c[0][2]);
    }
#else
    (void)d;
    Row rows[groupSize];
    hn::Vec<D> unused;
    loadDifferences(springs, count, state, 0, rows);
    toColumns(rows, dx, dy, dz, unused);
    loadDifferences(springs, count, state, 16, rows);
    toColumns(rows, vx, vy, vz, unused);
#endif
}
HWY_INLINE void loadEndDifferences(const Spring* springs, size_t count, const PointState* state, VF& dx, VF& dy, VF& dz,
                                   VF& vx, VF& vy, VF& vz) {
    loadEndDifferencesOf(DF(), springs, count, state, dx, dy, dz, vx, vy, vz);
}

// ---------------------------------------------------------------- springs ---

// The stretch-limit marks of up to one group of springs from their squared
// lengths; returns how many it marked. The exact test
// (Spring::applyStretchLimit) is |√(d·d) − rest| > maxDeviation in double. A
// spring is left unmarked only when d·d lies strictly inside
// [(rest − max)², (rest + max)²] shrunk by a relative 1e-12, far more than the
// few rounding steps of the exact test, so an unmarked spring cannot fire.
// (When rest ≤ max no compression can fire; squaring the low bound then only
// marks more springs.) NaN or infinite values mark the spring.
HWY_INLINE size_t markGroup(VD squared, VF restLength, VF maxDeviation, size_t count, uint8_t* marks) {
    const DD dd;
    const VD rest = widen(restLength), limit = widen(maxDeviation);
    const VD high = hn::Add(rest, limit), low = hn::Sub(rest, limit);
    const auto inside = hn::And(hn::Lt(squared, hn::Mul(hn::Mul(high, high), hn::Set(dd, 1.0 - 1e-12))),
                                hn::Gt(squared, hn::Mul(hn::Mul(low, low), hn::Set(dd, 1.0 + 1e-12))));
    uint8_t insideBits[1] = {};
    hn::StoreMaskBits(dd, inside, insideBits);
    const unsigned outside = ~insideBits[0] & ((1u << count) - 1);
    std::memcpy(marks, laneBytes[outside].data(), count);
    return static_cast<size_t>(std::popcount(outside));
}

// The stretch margins (marginShrink in body/engine/wide_loops.h) of a group
// of springs folded into `smallest`; lanes past `count` count as no limit.
HWY_INLINE VF foldMargins(VF length, VF restLength, VF maxDeviation, size_t count, VF smallest) {
    const DF df;
    const VF less = hn::Set(df, 1.0f - marginShrink), more = hn::Set(df, 1.0f + marginShrink);
    const VF high = hn::Add(restLength, maxDeviation), low = hn::Sub(restLength, maxDeviation);
    const VF belowHigh = hn::Sub(hn::Mul(high, less), hn::Mul(length, more));
    const VF aboveLow = hn::Sub(hn::Mul(length, less), hn::Mul(low, more));
    VF margin = hn::IfThenElse(hn::Lt(belowHigh, aboveLow), belowHigh, aboveLow);
    margin = hn::IfThenElseZero(hn::Gt(margin, hn::Zero(df)), margin);  // negative or NaN: none
    margin = hn::IfThenElse(hn::FirstN(df, count), margin, hn::Set(df, HUGE_VALF));
    return hn::IfThenElse(hn::Lt(margin, smallest), margin, smallest);
}

// A group of springs measured up to their lengths' square roots. Structs of
// vectors are always made with braces: that initializes the members in the
// target's own code, where g++ for aarch64 refuses to inline the implicit
// constructor.
struct SpringLengths {
    VF dx, dy, dz, stiffness, damping, restLength;
    VD squared, length, closing;
};

// A group's spring forces, computed and not yet added to their ends.
struct SpringForces {
    VF x, y, z;
    uint8_t acts[(groupSize + 7) / 8];  // bit j: spring j has a usable direction
    bool allAct;
};

// Spring::applyForce of up to one group of springs, up to the square roots.
HWY_INLINE SpringLengths springGroupLengths(const SpringPass& pass, size_t first, size_t count) {
    const Spring* springs = pass.springs + first;
    Row rows[groupSize];
    SpringLengths l{};
    VF vxF, vyF, vzF, unused;
    loadEndDifferences(springs, count, pass.state, l.dx, l.dy, l.dz, vxF, vyF, vzF);
    loadRows(springs, count, offsetof(Spring, stiffness), rows);  // stiffness, damping, restLength, stretchPercent
    toColumns(rows, l.stiffness, l.damping, l.restLength, unused);
    const VD dx = widen(l.dx), dy = widen(l.dy), dz = widen(l.dz);
    l.squared = dot(dx, dy, dz, dx, dy, dz);
    l.length = hn::Sqrt(l.squared);
    l.closing = dot(widen(vxF), widen(vyF), widen(vzF), dx, dy, dz);
    return l;
}

// The rest of Spring::applyForce of up to one group of springs; with marks,
// their marks and margins too.
HWY_INLINE SpringForces springGroupForces(SpringPass& pass, const SpringLengths& l, size_t first, size_t count,
                                          VF& smallestMargin) {
    const DF df;
    const VF lengthF = narrow(l.length);
    const VD lengthD = widen(lengthF);
    // Damper along the spring plus Hooke's law on the excess length, in double.
    const VF magnitude = narrow(hn::Add(hn::Div(hn::Mul(l.closing, widen(l.damping)), lengthD),
                                        hn::Mul(hn::Sub(lengthD, widen(l.restLength)), widen(l.stiffness))));
    const VF reciprocal = hn::Div(hn::Set(df, 1.0f), lengthF);
    SpringForces forces{};
    forces.x = hn::Mul(hn::Mul(l.dx, reciprocal), magnitude);
    forces.y = hn::Mul(hn::Mul(l.dy, reciprocal), magnitude);
    forces.z = hn::Mul(hn::Mul(l.dz, reciprocal), magnitude);
    // Ends at length 0 or NaN, or so close that 1 / length is no float, have
    // no usable direction and exert nothing.
    const auto acts = hn::And(hn::Gt(lengthF, hn::Zero(df)), hn::Lt(reciprocal, hn::Set(df, HUGE_VALF)));
    std::memset(forces.acts, 0, sizeof forces.acts);
    hn::StoreMaskBits(df, acts, forces.acts);
    forces.allAct = hn::AllTrue(df, acts);
    if (pass.marks != nullptr) {
        Row rows[groupSize];
        VF maxDeviation, unused;
        // damping, restLength, stretchPercent, maxDeviation
        loadRows(pass.springs + first, count, offsetof(Spring, damping), rows);
        toColumns(rows, unused, unused, unused, maxDeviation);
        pass.marked += markGroup(l.squared, l.restLength, maxDeviation, count, pass.marks + first);
        smallestMargin = foldMargins(lengthF, l.restLength, maxDeviation, count, smallestMargin);
    }
    return forces;
}

// A group's forces added to their ends, spring by spring in order: −f to A, +f to B.
HWY_INLINE void addToEnds(const SpringPass& pass, size_t first, size_t count, const SpringForces& forces) {
    const Spring* springs = pass.springs + first;
    Row rows[groupSize];
    toRows(forces.x, forces.y, forces.z, hn::Zero(DF()), rows);
    float* const sums = pass.forces;
    if (forces.allAct && count == groupSize) {  // the usual case, without a test per spring
        for (size_t j = 0; j < groupSize; ++j) {
            subtractRow(sums + forceStride * springs[j].pointA, rows[j]);
            addRow(sums + forceStride * springs[j].pointB, rows[j]);
        }
        return;
    }
    for (size_t j = 0; j < count; ++j) {
        if (!(forces.acts[j / 8] >> (j % 8) & 1)) continue;
        subtractRow(sums + forceStride * springs[j].pointA, rows[j]);
        addRow(sums + forceStride * springs[j].pointB, rows[j]);
    }
}

// The running volume over terms [from, to): one float sum, each step formed in double.
HWY_INLINE float sumTerms(const double* terms, size_t from, size_t to, float volume) {
    for (size_t j = from; j < to; ++j) volume = static_cast<float>(terms[j] + volume);
    return volume;
}

void addSprings(SpringPass& pass) {
    const size_t count = pass.count, termCount = pass.termCount;
    const size_t groups = (count + groupSize - 1) / groupSize;
    const size_t termsPerGroup = groups > 0 ? (termCount - pass.termsSummed + groups - 1) / groups : 0;
    VF smallestMargin = hn::Set(DF(), HUGE_VALF);
    pass.marked = 0;
    float volume = pass.volume;
    size_t summed = pass.termsSummed;
    // Three groups in flight: one group's lengths are measured, then the
    // group before it gets its forces, then the one before that is added to
    // its ends, so that the long waits of square roots and divisions overlap
    // other groups' work. The additions stay in stored order.
    const size_t full = count / groupSize * groupSize;  // springs in whole groups
    SpringLengths lengths{};
    SpringForces forces{};
    for (size_t s = 0; s < full + 2 * groupSize; s += groupSize) {
        SpringLengths nextLengths{};
        SpringForces nextForces{};
        if (s < full) nextLengths = springGroupLengths(pass, s, groupSize);
        if (s >= groupSize && s - groupSize < full)
            nextForces = springGroupForces(pass, lengths, s - groupSize, groupSize, smallestMargin);
        if (s >= 2 * groupSize && s - 2 * groupSize < full) addToEnds(pass, s - 2 * groupSize, groupSize, forces);
        lengths = nextLengths;
        forces = nextForces;
        const size_t until = summed + termsPerGroup < termCount ? summed + termsPerGroup : termCount;
        volume = sumTerms(pass.volumeTerms, summed, until, volume);
        summed = until;
    }
    if (full < count) {  // the last few, after all the others
        lengths = springGroupLengths(pass, full, count - full);
        forces = springGroupForces(pass, lengths, full, count - full, smallestMargin);
        addToEnds(pass, full, count - full, forces);
    }
    pass.volume = sumTerms(pass.volumeTerms, summed, termCount, volume);
    HWY_ALIGN float margins[groupSize];
    hn::Store(smallestMargin, DF(), margins);
    pass.margin = margins[0];
    for (size_t j = 1; j < groupSize; ++j) pass.margin = margins[j] < pass.margin ? margins[j] : pass.margin;
}

size_t markStretched(const Spring* springs, size_t count, const PointState* state, uint8_t* marks) {
    size_t marked = 0;
    for (size_t s = 0; s < count; s += groupSize) {
        const size_t n = count - s < groupSize ? count - s : groupSize;
        Row rows[groupSize];
        VF dxF, dyF, dzF, restLength, maxDeviation, unused;
        loadDifferences(springs + s, n, state, 0, rows);
        toColumns(rows, dxF, dyF, dzF, unused);
        loadRows(springs + s, n, offsetof(Spring, damping), rows);  // damping, restLength, stretchPercent, maxDeviation
        toColumns(rows, unused, restLength, unused, maxDeviation);
        const VD dx = widen(dxF), dy = widen(dyF), dz = widen(dzF);
        marked += markGroup(dot(dx, dy, dz, dx, dy, dz), restLength, maxDeviation, n, marks + s);
    }
    return marked;
}

// ------------------------------------------------------------------ faces ---

// One corner's position columns for a group of faces; lanes past `count` are 0.
HWY_INLINE void loadCorners(const Face* faces, size_t count, const PointState* state, int32_t Face::*corner, VF& x,
                            VF& y, VF& z) {
    static const PointState origin{};
    Row rows[groupSize];
    VF unused;
    for (size_t j = 0; j < groupSize; ++j) rows[j] = loadRow(j < count ? &state[faces[j].*corner] : &origin);
    toColumns(rows, x, y, z, unused);
}

// A group of faces measured up to their lengths: what the rest of
// Face::measure and the volume term need.
struct FaceCross {
    VF cx, cy, cz, area;
    VD length, xSum;
};

// Face::measure of up to one group of faces, up to the length of the cross product.
HWY_INLINE FaceCross crossFaceGroup(const Face* faces, size_t count, const PointState* state) {
    VF x0, y0, z0, x1, y1, z1, x2, y2, z2;
    loadCorners(faces, count, state, &Face::pointA, x0, y0, z0);
    loadCorners(faces, count, state, &Face::pointB, x1, y1, z1);
    loadCorners(faces, count, state, &Face::pointC, x2, y2, z2);
    FaceCross c{};
    // e1 = P0 − P1, e2 = P0 − P2, c = e1 × e2 with each component in double.
    const VD e1x = widen(hn::Sub(x0, x1)), e1y = widen(hn::Sub(y0, y1)), e1z = widen(hn::Sub(z0, z1));
    const VD e2x = widen(hn::Sub(x0, x2)), e2y = widen(hn::Sub(y0, y2)), e2z = widen(hn::Sub(z0, z2));
    c.cx = narrow(hn::Sub(hn::Mul(e1y, e2z), hn::Mul(e1z, e2y)));
    c.cy = narrow(hn::Sub(hn::Mul(e1z, e2x), hn::Mul(e1x, e2z)));
    c.cz = narrow(hn::Sub(hn::Mul(e1x, e2y), hn::Mul(e1y, e2x)));
    const VD cxd = widen(c.cx), cyd = widen(c.cy), czd = widen(c.cz);
    c.length = hn::Sqrt(dot(cxd, cyd, czd, cxd, cyd, czd));
    c.area = narrow(c.length);
    c.xSum = hn::Add(hn::Add(widen(x2), widen(x1)), widen(x0));
    return c;
}

// The rest of Face::measure and the volume term of up to one group of faces:
// normal and area into the records, the terms into `terms`.
HWY_INLINE void finishFaceGroup(const FaceCross& c, size_t count, Face* faces, double* terms) {
    const DD dd;
    const DF df;
    // Vector3::normalize: c scaled by the float reciprocal of its length; a
    // length of 0 or NaN, or one so small that its reciprocal is no float,
    // leaves c as it is. (The float area is positive exactly where the length
    // is, but for lengths whose reciprocal is no float anyway.)
    const VF reciprocal = narrow(hn::Div(hn::Set(dd, 1.0), c.length));
    const auto scales = hn::And(hn::Gt(c.area, hn::Zero(df)), hn::Ne(reciprocal, hn::Set(df, HUGE_VALF)));
    const VF scale = hn::IfThenElse(scales, reciprocal, hn::Set(df, 1.0f));
    const VF nx = hn::Mul(c.cx, scale), ny = hn::Mul(c.cy, scale), nz = hn::Mul(c.cz, scale);
    // (((x2 + x1) + x0) · area · nx) · 0.333, as PressureBody::computeVolume.
    const VD term = hn::Mul(hn::Mul(hn::Mul(c.xSum, widen(c.area)), widen(nx)), hn::Set(dd, 0.333));
    // A record's normal and area are four floats in a row.
    Row rows[groupSize];
    toRows(nx, ny, nz, c.area, rows);
    for (size_t j = 0; j < count; ++j) storeRow(rows[j], &faces[j].normal.x);
    if (count == groupSize) {
        hn::StoreU(term, dd, terms);
        return;
    }
    HWY_ALIGN double part[groupSize];
    hn::Store(term, dd, part);
    std::memcpy(terms, part, count * sizeof(double));
}

// Each group's cross products and lengths are formed two groups ahead of its
// reciprocals and stores, so that the square roots' long waits overlap other
// groups' work. The first half of the volume sum goes along, a few terms per
// group, over the terms already stored.
void measureFaces(Face* faces, size_t count, const PointState* state, double* volumeTerms, VolumeSum& volume) {
    constexpr size_t termsPerGroup = (groupSize + 1) / 2;
    const size_t full = count / groupSize * groupSize;  // faces in whole groups
    volume = VolumeSum{};
    FaceCross pending[2]{};
    for (size_t f = 0; f < full + 2 * groupSize; f += groupSize) {
        FaceCross next{};
        const size_t slot = f / groupSize % 2;
        if (f < full) next = crossFaceGroup(faces + f, groupSize, state);
        if (f >= 2 * groupSize)
            finishFaceGroup(pending[slot], groupSize, faces + (f - 2 * groupSize), volumeTerms + (f - 2 * groupSize));
        pending[slot] = next;
        const size_t stored = f >= 2 * groupSize ? f - groupSize : 0;
        const size_t until = volume.terms + termsPerGroup < stored ? volume.terms + termsPerGroup : stored;
        volume.volume = sumTerms(volumeTerms, volume.terms, until, volume.volume);
        volume.terms = until;
    }
    if (full < count)
        finishFaceGroup(crossFaceGroup(faces + full, count - full, state), count - full, faces + full, volumeTerms + full);
}

// Face::applyPressure, a face at a time, row by row: from the normal and
// area in the record, (nx, ny, nz) · area, then · nRT, then · 1/V, lane by
// lane as Vector3 does.
void applyPressure(Face* faces, size_t count, float pressureConstant, float inverseVolume, float* forces) {
    const Row constant = rowOf(pressureConstant), inverse = rowOf(inverseVolume), share = rowOf(0.3333f);
    for (size_t f = 0; f < count; ++f) {
        Face& face = faces[f];
        const Row normalArea = loadRow(&face.normal.x);
        // The fourth lane is 0 · nRT · 1/V: nothing reads it.
        const Row force = multiply(multiply(multiply(normalArea, xyzOnly(fourthOf(normalArea))), constant), inverse);
        storeRow(fourthOfFirstThenAll(normalArea, force), &face.area);  // area, then the pressure force
        const Row corner = xyzOnly(multiply(force, share));
        addRow(forces + forceStride * face.pointA, corner);
        addRow(forces + forceStride * face.pointB, corner);
        addRow(forces + forceStride * face.pointC, corner);
    }
}

// ----------------------------------------------------------------- points ---
// The per-point phases, a point's x, y, z as one row of four floats: each
// lane does the records' float operations (Vector3's), in the same order. A
// record's vectors follow each other (asserted below), so a row loaded at one
// takes the next float along as a fourth lane, and a row stored there is
// followed by the store that puts the next member right.

static_assert(offsetof(MassPoint, inverseMass) == 4 && offsetof(MassPoint, position) == 8 &&
                  offsetof(MassPoint, velocity) == 20 && offsetof(MassPoint, force) == 32 &&
                  offsetof(MassPoint, positionChange) == 44 && offsetof(MassPoint, velocityChange) == 56 &&
                  sizeof(MassPoint) == 68,
              "a mass point's members, one after the other");

HWY_INLINE Row rowAt(const Vector3& v) { return loadRow(&v.x); }
// x, y, z and 0, without reading past the vector.
HWY_INLINE Row rowOfVector(const Vector3& v) {
    const float xyz0[4] = {v.x, v.y, v.z, 0.0f};
    return loadRow(xyz0);
}
HWY_INLINE void storeAt(Row row, Vector3& v) { storeRow(row, &v.x); }

// Gravity starts a point's force sum: 0 + m · g (a point of mass 0 gets +0).
HWY_INLINE Row startForce(Row gravity, float mass) { return add(rowOf(0.0f), multiply(gravity, rowOf(mass))); }

void loadPoints(const MassPoint* points, size_t count, const Vector3& gravity, PointState* state, float* forces) {
    const Row g = rowOfVector(gravity);
    for (size_t i = 0; i < count; ++i) {
        const MassPoint& point = points[i];
        storeRow(xyzOf(rowAt(point.position), rowOf(point.mass)), &state[i].position.x);
        storeRow(xyzOf(rowAt(point.velocity), rowOf(point.inverseMass)), &state[i].velocity.x);
        storeRow(startForce(g, point.mass), forces + forceStride * i);
    }
}

void restartForces(const PointState* state, size_t count, const Vector3& gravity, float* forces) {
    const Row g = rowOfVector(gravity);
    for (size_t i = 0; i < count; ++i) storeRow(startForce(g, state[i].mass), forces + forceStride * i);
}

void storeForces(const float* forces, size_t count, MassPoint* points) {
    for (size_t i = 0; i < count; ++i)  // the fourth float is the position change's x
        storeAt(xyzOf(loadRow(forces + forceStride * i), rowAt(points[i].force)), points[i].force);
}

void predict(MassPoint* points, size_t count, float dt, const Vector3& gravity, const float* force0, MassPoint* start,
             PointState* state, float* forces) {
    const Row g = rowOfVector(gravity), step = rowOf(dt);
    for (size_t i = 0; i < count; ++i) {
        MassPoint& point = points[i];
        // The whole record is read, in rows, before anything is stored into
        // it: a load that overlaps a store still in flight waits for it.
        const auto* bytes = reinterpret_cast<const char*>(&point);
        const Row row0 = loadRow(bytes), row1 = loadRow(bytes + 16), row3 = loadRow(bytes + 48);
        Row force = loadRow(bytes + 32);  // the force and the position change's x
        float last;
        std::memcpy(&last, bytes + 64, sizeof last);
        const Row velocity0 = rowAt(point.velocity), position0 = rowAt(point.position);
        const float mass = point.mass, inverseMass = point.inverseMass;
        if (force0 != nullptr) {  // F0 from the sums, as storeForces puts it into the record
            force = xyzOf(loadRow(force0 + forceStride * i), force);
            storeRow(force, &point.force.x);
        }
        float* copy = &start[i].mass;  // the record's floats in a row
        storeRow(row0, copy);
        storeRow(row1, copy + 4);
        storeRow(force, copy + 8);
        storeRow(row3, copy + 12);
        copy[16] = last;
        const Row velocityChange = multiply(multiply(xyzOnly(force), rowOf(inverseMass)), step);
        const Row velocity = add(velocity0, velocityChange);
        const Row positionChange = multiply(velocity, step);
        const Row position = add(position0, positionChange);
        // The two changes are the record's last six floats.
        storeAt(positionChange, point.positionChange);
        storeRow(lastOfFirstThenAll(positionChange, velocityChange), &point.positionChange.z);
        storeRow(xyzOf(position, rowOf(mass)), &state[i].position.x);
        storeRow(xyzOf(velocity, rowOf(inverseMass)), &state[i].velocity.x);
        storeRow(startForce(g, mass), forces + forceStride * i);
    }
}

float correct(MassPoint* points, size_t count, float dt, const float* forces, PointState* state) {
    const Row half = rowOf(static_cast<float>(dt * 0.5)), step = rowOf(dt);
    Bits largest = noChange();
    for (size_t i = 0; i < count; ++i) {
        MassPoint& point = points[i];
        const Row force1 = loadRow(forces + forceStride * i);
        const Row force0 = rowAt(point.force);
        const Row sum = xyzOnly(add(force1, force0));
        Row velocity = add(rowAt(point.velocity), multiply(multiply(sum, half), rowOf(point.inverseMass)));
        Row position = add(rowAt(point.position), multiply(velocity, step));
        applyWallsToRows(position, velocity);
        // In member order, each store's fourth float overwritten by the next.
        storeAt(position, point.position);
        storeAt(velocity, point.velocity);
        storeAt(xyzOf(force1, force0), point.force);
        const Row evaluatedAt = loadRow(&state[i].position.x);
        foldChange(evaluatedAt, position, largest);
        storeRow(xyzOf(position, evaluatedAt), &state[i].position.x);
    }
    return largestChange(largest);
}

const WideLoops* loopsOfThisTarget() {
    static const WideLoops loops{hwy::TargetName(HWY_TARGET),
                                 measureFaces,
                                 addSprings,
                                 markStretched,
                                 applyPressure,
                                 loadPoints,
                                 storeForces,
                                 restartForces,
                                 predict,
                                 correct};
    return &loops;
}

}  // namespace HWY_NAMESPACE
}  // namespace plumfold
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace plumfold {

HWY_EXPORT(loopsOfThisTarget);

std::vector<const WideLoops*> availableLoops() {
#if PLUMFOLD_SIMD_DISPATCH
    // Highway picks from the targets it is told the processor supports.
    std::vector<const WideLoops*> loops;
    for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        loops.push_back(HWY_DYNAMIC_DISPATCH(loopsOfThisTarget)());
    }
    hwy::SetSupportedTargetsForTest(0);
    return loops;
#else
    return {HWY_STATIC_DISPATCH(loopsOfThisTarget)()};
#endif
}

const WideLoops& bestLoops() {
    static const WideLoops* const best = HWY_DYNAMIC_DISPATCH(loopsOfThisTarget)();
    return *best;
}

}  // namespace plumfold
#endif  // HWY_ONCE
