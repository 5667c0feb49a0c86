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

#include <cmath>
#include <cstddef>
#include <cstring>

#include "body/engine/wide_loops.h"

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
    uint8_t insideBits[(groupSize + 7) / 8] = {};
    hn::StoreMaskBits(dd, inside, insideBits);
    size_t marked = 0;
    for (size_t j = 0; j < count; ++j) {
        const uint8_t mark = (insideBits[j / 8] >> (j % 8) & 1) ? 0 : 1;
        marks[j] = mark;
        marked += mark;
    }
    return marked;
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

// The force of up to one group of springs (Spring::applyForce), added to
// their ends in order; with marks, their marks and margins too.
HWY_INLINE void addSpringGroup(SpringPass& pass, size_t first, size_t count, VF& smallestMargin) {
    const DF df;
    const Spring* springs = pass.springs + first;
    Row rows[groupSize];
    VF dxF, dyF, dzF, vxF, vyF, vzF, stiffness, damping, restLength, maxDeviation, unused;
    const PointState* const state = pass.state;
    loadEndDifferences(springs, count, state, dxF, dyF, dzF, vxF, vyF, vzF);
    loadRows(springs, count, offsetof(Spring, stiffness), rows);  // stiffness, damping, restLength, stretchPercent
    toColumns(rows, stiffness, damping, restLength, unused);

    const VD dx = widen(dxF), dy = widen(dyF), dz = widen(dzF);
    const VD squared = dot(dx, dy, dz, dx, dy, dz);
    const VD length = hn::Sqrt(squared);
    const VF lengthF = narrow(length);
    const VD lengthD = widen(lengthF);
    const VD closing = dot(widen(vxF), widen(vyF), widen(vzF), dx, dy, dz);
    // Damper along the spring plus Hooke's law on the excess length, in double.
    const VF magnitude = narrow(hn::Add(hn::Div(hn::Mul(closing, widen(damping)), lengthD),
                                        hn::Mul(hn::Sub(lengthD, widen(restLength)), widen(stiffness))));
    const VF reciprocal = hn::Div(hn::Set(df, 1.0f), lengthF);
    const VF fx = hn::Mul(hn::Mul(dxF, reciprocal), magnitude);
    const VF fy = hn::Mul(hn::Mul(dyF, reciprocal), magnitude);
    const VF fz = hn::Mul(hn::Mul(dzF, reciprocal), magnitude);
    toRows(fx, fy, fz, hn::Zero(df), rows);
    // Ends at length 0 or NaN, or so close that 1 / length is no float, have
    // no usable direction and exert nothing.
    const auto acts = hn::And(hn::Gt(lengthF, hn::Zero(df)), hn::Lt(reciprocal, hn::Set(df, HUGE_VALF)));
    uint8_t actBits[(groupSize + 7) / 8] = {};
    hn::StoreMaskBits(df, acts, actBits);
    float* const forces = pass.forces;
    for (size_t j = 0; j < count; ++j) {
        if (!(actBits[j / 8] >> (j % 8) & 1)) continue;
        subtractRow(forces + forceStride * springs[j].pointA, rows[j]);
        addRow(forces + forceStride * springs[j].pointB, rows[j]);
    }
    if (pass.marks == nullptr) return;
    loadRows(springs, count, offsetof(Spring, damping), rows);  // damping, restLength, stretchPercent, maxDeviation
    toColumns(rows, unused, unused, unused, maxDeviation);
    pass.marked += markGroup(squared, restLength, maxDeviation, count, pass.marks + first);
    smallestMargin = foldMargins(lengthF, restLength, maxDeviation, count, smallestMargin);
}

// The running volume over terms [from, to): one float sum, each step formed in double.
HWY_INLINE float sumTerms(const double* terms, size_t from, size_t to, float volume) {
    for (size_t j = from; j < to; ++j) volume = static_cast<float>(terms[j] + volume);
    return volume;
}

void addSprings(SpringPass& pass) {
    const size_t count = pass.count, termCount = pass.termCount;
    const size_t groups = (count + groupSize - 1) / groupSize;
    const size_t termsPerGroup = groups > 0 ? (termCount + groups - 1) / groups : 0;
    VF smallestMargin = hn::Set(DF(), HUGE_VALF);
    pass.marked = 0;
    float volume = 0.0f;
    size_t summed = 0;
    for (size_t s = 0; s < count; s += groupSize) {
        addSpringGroup(pass, s, count - s < groupSize ? count - s : groupSize, smallestMargin);
        const size_t until = summed + termsPerGroup < termCount ? summed + termsPerGroup : termCount;
        volume = sumTerms(pass.volumeTerms, summed, until, volume);
        summed = until;
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

// Face::measure and the volume term of up to one group of faces.
HWY_INLINE void measureFaceGroup(const Face* faces, size_t count, const PointState* state, const FaceGeometry& geometry,
                                 size_t first) {
    const DD dd;
    const DF df;
    Row rows[groupSize];
    VF x0, y0, z0, x1, y1, z1, x2, y2, z2, unused;
    static const PointState origin{};
    for (int32_t Face::*corner : {&Face::pointA, &Face::pointB, &Face::pointC}) {
        for (size_t j = 0; j < groupSize; ++j) rows[j] = loadRow(j < count ? &state[faces[j].*corner] : &origin);
        if (corner == &Face::pointA) toColumns(rows, x0, y0, z0, unused);
        if (corner == &Face::pointB) toColumns(rows, x1, y1, z1, unused);
        if (corner == &Face::pointC) toColumns(rows, x2, y2, z2, unused);
    }
    // e1 = P0 − P1, e2 = P0 − P2, c = e1 × e2 with each component in double.
    const VD e1x = widen(hn::Sub(x0, x1)), e1y = widen(hn::Sub(y0, y1)), e1z = widen(hn::Sub(z0, z1));
    const VD e2x = widen(hn::Sub(x0, x2)), e2y = widen(hn::Sub(y0, y2)), e2z = widen(hn::Sub(z0, z2));
    const VF cx = narrow(hn::Sub(hn::Mul(e1y, e2z), hn::Mul(e1z, e2y)));
    const VF cy = narrow(hn::Sub(hn::Mul(e1z, e2x), hn::Mul(e1x, e2z)));
    const VF cz = narrow(hn::Sub(hn::Mul(e1x, e2y), hn::Mul(e1y, e2x)));
    const VD cxd = widen(cx), cyd = widen(cy), czd = widen(cz);
    const VD length = hn::Sqrt(dot(cxd, cyd, czd, cxd, cyd, czd));
    const VF area = narrow(length);
    // Vector3::normalize: c scaled by the float reciprocal of its length; a
    // length of 0 or NaN, or one so small that its reciprocal is no float,
    // leaves c as it is. (The float area is positive exactly where the length
    // is, but for lengths whose reciprocal is no float anyway.)
    const VF reciprocal = narrow(hn::Div(hn::Set(dd, 1.0), length));
    const auto scales = hn::And(hn::Gt(area, hn::Zero(df)), hn::Ne(reciprocal, hn::Set(df, HUGE_VALF)));
    const VF scale = hn::IfThenElse(scales, reciprocal, hn::Set(df, 1.0f));
    const VF nx = hn::Mul(cx, scale), ny = hn::Mul(cy, scale), nz = hn::Mul(cz, scale);
    // (((x2 + x1) + x0) · area · nx) · 0.333, as PressureBody::computeVolume.
    const VD xSum = hn::Add(hn::Add(widen(x2), widen(x1)), widen(x0));
    const VD term = hn::Mul(hn::Mul(hn::Mul(xSum, widen(area)), widen(nx)), hn::Set(dd, 0.333));
    if (count == groupSize) {
        hn::StoreU(area, df, geometry.area + first);
        hn::StoreU(nx, df, geometry.normalX + first);
        hn::StoreU(ny, df, geometry.normalY + first);
        hn::StoreU(nz, df, geometry.normalZ + first);
        hn::StoreU(term, dd, geometry.volumeTerms + first);
        return;
    }
    HWY_ALIGN float out[4][groupSize];
    HWY_ALIGN double terms[groupSize];
    hn::Store(area, df, out[0]);
    hn::Store(nx, df, out[1]);
    hn::Store(ny, df, out[2]);
    hn::Store(nz, df, out[3]);
    hn::Store(term, dd, terms);
    const size_t bytes = count * sizeof(float);
    std::memcpy(geometry.area + first, out[0], bytes);
    std::memcpy(geometry.normalX + first, out[1], bytes);
    std::memcpy(geometry.normalY + first, out[2], bytes);
    std::memcpy(geometry.normalZ + first, out[3], bytes);
    std::memcpy(geometry.volumeTerms + first, terms, count * sizeof(double));
}

void measureFaces(const Face* faces, size_t count, const PointState* state, const FaceGeometry& geometry) {
    for (size_t f = 0; f < count; f += groupSize)
        measureFaceGroup(faces + f, count - f < groupSize ? count - f : groupSize, state, geometry, f);
}

// Up to one group of floats from `from`, zeros past `count`.
HWY_INLINE VF loadPart(const float* from, size_t count) {
    if (count == groupSize) return hn::LoadU(DF(), from);
    HWY_ALIGN float part[groupSize] = {};
    std::memcpy(part, from, count * sizeof(float));
    return hn::Load(DF(), part);
}

// Face::applyPressure of up to one group of faces.
HWY_INLINE void pressureGroup(Face* faces, size_t count, const FaceGeometry& geometry, size_t first,
                              float pressureConstant, float inverseVolume, float* forces) {
    const DF df;
    const VF area = loadPart(geometry.area + first, count);
    const VF nx = loadPart(geometry.normalX + first, count);
    const VF ny = loadPart(geometry.normalY + first, count);
    const VF nz = loadPart(geometry.normalZ + first, count);
    const VF constant = hn::Set(df, pressureConstant), inverse = hn::Set(df, inverseVolume);
    const VF px = hn::Mul(hn::Mul(hn::Mul(nx, area), constant), inverse);
    const VF py = hn::Mul(hn::Mul(hn::Mul(ny, area), constant), inverse);
    const VF pz = hn::Mul(hn::Mul(hn::Mul(nz, area), constant), inverse);
    const VF share = hn::Set(df, 0.3333f);
    // The record's normal, area and pressure force are seven floats in a
    // row: written as (normal, area) and (area, pressure force).
    Row normalRows[groupSize], pressureRows[groupSize], shareRows[groupSize];
    toRows(nx, ny, nz, area, normalRows);
    toRows(area, px, py, pz, pressureRows);
    toRows(hn::Mul(px, share), hn::Mul(py, share), hn::Mul(pz, share), hn::Zero(df), shareRows);
    for (size_t j = 0; j < count; ++j) {
        const Face& face = faces[j];
        storeRow(normalRows[j], &faces[j].normal.x);
        storeRow(pressureRows[j], &faces[j].area);
        addRow(forces + forceStride * face.pointA, shareRows[j]);
        addRow(forces + forceStride * face.pointB, shareRows[j]);
        addRow(forces + forceStride * face.pointC, shareRows[j]);
    }
}

void applyPressure(Face* faces, size_t count, const FaceGeometry& geometry, float pressureConstant, float inverseVolume,
                   float* forces) {
    for (size_t f = 0; f < count; f += groupSize)
        pressureGroup(faces + f, count - f < groupSize ? count - f : groupSize, geometry, f, pressureConstant,
                      inverseVolume, forces);
}

const WideLoops* loopsOfThisTarget() {
    static const WideLoops loops{hwy::TargetName(HWY_TARGET), measureFaces, addSprings, markStretched, applyPressure};
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
