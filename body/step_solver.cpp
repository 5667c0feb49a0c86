// Arithmetic note. A vector operation of the records is written as "form the
// component in double, round to float". For +, −, × of two floats (and ÷, √)
// that is the same number as the float operation itself, because double has more
// than twice float's precision plus two bits, so rounding twice cannot differ
// from rounding once. The kernels below therefore use plain float arithmetic for
// those, and double exactly where a formula carries a double scalar (lengths,
// dot and cross products, the spring magnitude, volume terms). No operation is
// reordered, fused or reassociated.
#include "body/step_solver.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

// Bulk loops get clones for wider vector units, picked once at load time. The
// results do not depend on the width: every lane does the same IEEE operations
// as the scalar code, and no clone enables fused multiply-add.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_ADDRESS__) && !defined(PLUMFOLD_NO_DISPATCH)
#define WIDE_KERNEL __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define WIDE_KERNEL
#endif

namespace {

using PointState = StepSolver::PointState;
using Term = StepSolver::Term;

// ---------------------------------------------------------------- kernels ---

// Bulk loops run block by block: a plain loop gathers each block's inputs from
// the records and the point arrays into small local arrays, then a loop without
// indirection does the arithmetic, which the compiler turns into vector code.
constexpr size_t block = 256;

// Force of every spring in [first, last) on its two ends: −f into slot s (for A)
// and +f into slot room + s (for B). A spring of length 0 (or NaN) exerts
// nothing; its slots get −0, which leaves any sum unchanged. With `check`, also
// answers whether the end points still equal `ends` (what the lists were built for).
template <bool check>
WIDE_KERNEL bool springTerms(const Spring* springs, size_t first, size_t last, const PointState* state,
                             const int32_t* ends, size_t room, Term* __restrict terms) {
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
        float ax[block], ay[block], az[block], bx[block], by[block], bz[block];
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
        for (size_t k = 0; k < count; ++k) {
            terms[base + k] = Term{ax[k], ay[k], az[k], 0.0f};
            terms[room + base + k] = Term{bx[k], by[k], bz[k], 0.0f};
        }
    }
    return mismatch == 0;
}

// Geometry of every face: area = |c| with c = (P0 − P1) × (P0 − P2), the unit
// normal (c itself when |c| is 0 or NaN), and its term of the volume sum. Also
// answers whether the corners still equal `corners`.
WIDE_KERNEL bool faceGeometry(const Face* faces, size_t faceCount, const PointState* state, const int32_t* corners,
                              float* __restrict area, float* __restrict nx, float* __restrict ny,
                              float* __restrict nz, double* __restrict volumeTerm) {
    int mismatch = 0;
    float e1x[block], e1y[block], e1z[block], e2x[block], e2y[block], e2z[block];
    double xSum[block];
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
            volumeTerm[base + k] = xSum[k] * faceArea * normalX * 0.333;
        }
    }
    return mismatch == 0;
}

// Pressure force of every face, ((normal × area) × nRT) × 1/V, and each corner's
// share of it, 0.3333 of it (0.9999 for the three corners together). Writes the
// face records' normal, area and pressureForce.
WIDE_KERNEL void faceShares(Face* faces, size_t faceCount, const float* __restrict area,
                            const float* __restrict nx, const float* __restrict ny, const float* __restrict nz,
                            float pressureConstant, float inverseVolume, Term* __restrict shares) {
    const float share = 0.3333f;
    float fx[block], fy[block], fz[block], sx[block], sy[block], sz[block];
    for (size_t base = 0; base < faceCount; base += block) {
        const size_t count = std::min(block, faceCount - base);
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
            shares[base + k] = Term{sx[k], sy[k], sz[k], 0.0f};
        }
    }
}

// Marks every spring that may exceed its limit at the given positions. The
// exact test is | sqrt(d·d) − rest | > maxDeviation in double; a spring passes
// here only when d·d lies strictly inside [(rest − max)², (rest + max)²] shrunk
// by a relative 1e-12, far more than the few rounding steps of the exact test,
// so a spring left unmarked cannot fire. NaN or infinite values mark the spring.
WIDE_KERNEL size_t markStretched(const Spring* springs, size_t springCount, const PointState* state,
                                 uint8_t* __restrict mayStretch) {
    size_t marked = 0;
    float dx[block], dy[block], dz[block], restLength[block], maxDeviation[block];
    for (size_t base = 0; base < springCount; base += block) {
        const size_t count = std::min(block, springCount - base);
        for (size_t k = 0; k < count; ++k) {
            const Spring& spring = springs[base + k];
            const int32_t a = spring.pointA;
            const int32_t b = spring.pointB;
            dx[k] = state[a].x - state[b].x;
            dy[k] = state[a].y - state[b].y;
            dz[k] = state[a].z - state[b].z;
            restLength[k] = spring.restLength;
            maxDeviation[k] = spring.maxDeviation;
        }
        for (size_t k = 0; k < count; ++k) {
            const double squared = static_cast<double>(dz[k]) * dz[k] + static_cast<double>(dy[k]) * dy[k] +
                                   static_cast<double>(dx[k]) * dx[k];
            const double high = static_cast<double>(restLength[k]) + maxDeviation[k];
            const double low = static_cast<double>(restLength[k]) - maxDeviation[k];
            const double highSquared = high * high * (1.0 - 1e-12);
            // With rest <= max no compression can exceed the limit; squaring a low
            // bound of 0 or less then only marks more springs, which is harmless.
            const double lowSquared = low * low * (1.0 + 1e-12);
            const bool outside = !((squared < highSquared) & (squared > lowSquared));
            mayStretch[base + k] = static_cast<uint8_t>(outside);
            marked += static_cast<size_t>(outside);
        }
    }
    return marked;
}

// The stretch limit of one spring, exactly as Spring::applyStretchLimit, on the
// component arrays. Answers whether it fired.
bool limitStretch(const Spring& spring, PointState* state) {
    PointState& a = state[spring.pointA];
    PointState& b = state[spring.pointB];
    float dx = a.x - b.x;
    float dy = a.y - b.y;
    float dz = a.z - b.z;
    const double length =
        std::sqrt(static_cast<double>(dz) * dz + static_cast<double>(dy) * dy + static_cast<double>(dx) * dx);
    const double deviation = std::fabs(length - spring.restLength);
    if (!(deviation > spring.maxDeviation)) return false;
    const float excess = static_cast<float>(deviation - spring.maxDeviation);
    if (length != 0.0) {
        const float reciprocal = static_cast<float>(1.0 / length);
        dx = dx * reciprocal;
        dy = dy * reciprocal;
        dz = dz * reciprocal;
    }
    const float half = static_cast<float>(excess * 0.5);
    const float cx = dx * half, cy = dy * half, cz = dz * half;
    if (a.mass != 0.0f) {
        a.x = a.x - cx;
        a.y = a.y - cy;
        a.z = a.z - cz;
    }
    if (b.mass != 0.0f) {
        b.x = b.x + cx;
        b.y = b.y + cy;
        b.z = b.z + cz;
    }
    return true;
}

// The box walls of one point: floor first (the whole velocity bounces), then
// x low, x high, z low, z high. "Not ≥" so that NaN lands on the wall.
inline void applyWalls(Vector3& x, Vector3& v) {
    const float bounce = -0.6f;
    const float wall = static_cast<float>(boxLimit);
    if (!(x.y >= -boxLimit)) {
        x.y = -wall;
        v = Vector3{v.x * bounce, v.y * bounce, v.z * bounce};
    }
    if (!(x.x >= -boxLimit)) {
        x.x = -wall;
        v.x = v.x * bounce;
    }
    if (x.x > boxLimit) {
        x.x = wall;
        v.x = v.x * bounce;
    }
    if (!(x.z >= -boxLimit)) {
        x.z = -wall;
        v.z = v.z * bounce;
    }
    if (x.z > boxLimit) {
        x.z = wall;
        v.z = v.z * bounce;
    }
}

}  // namespace

// ------------------------------------------------------------ bookkeeping ---

bool StepSolver::fits(const PressureBody& body) const {
    return built_ && body.faces.size() == baseFaces_ && body.springs.size() >= baseSprings_ &&
           body.springs.size() <= springRoom_ && body.points.size() >= basePoints_ &&
           body.points.size() <= pointRoom_;
}

void StepSolver::prepare(PressureBody& body) {
    const size_t n = body.points.size();
    const size_t springs = body.springs.size();
    const size_t faces = body.faces.size();
    // Room for a drag point and a drag spring on top of what is there now.
    pointRoom_ = std::max(n + 1, body.points.capacity());
    springRoom_ = std::max(springs + 1, body.springs.capacity());
    body.stepCopy.reserve(pointRoom_);

    state_.resize(pointRoom_);
    for (std::vector<float>* a : {&f0x_, &f0y_, &f0z_}) a->resize(pointRoom_);
    terms_.resize(2 * springRoom_ + faces);
    for (std::vector<float>* a : {&area_, &normalX_, &normalY_, &normalZ_}) a->resize(faces);
    volumeTerm_.resize(faces);
    mayStretch_.resize(springRoom_);
    moved_.assign(pointRoom_, 0);
    movedList_.reserve(pointRoom_);
    buildIncidence(body);
}

void StepSolver::buildIncidence(const PressureBody& body) {
    const size_t n = body.points.size();
    basePoints_ = n;
    baseSprings_ = body.springs.size();
    baseFaces_ = body.faces.size();
    springEnds_.resize(2 * baseSprings_);
    faceCorners_.resize(3 * baseFaces_);
    for (size_t s = 0; s < baseSprings_; ++s) {
        springEnds_[2 * s] = body.springs[s].pointA;
        springEnds_[2 * s + 1] = body.springs[s].pointB;
    }
    for (size_t f = 0; f < baseFaces_; ++f) {
        faceCorners_[3 * f] = body.faces[f].pointA;
        faceCorners_[3 * f + 1] = body.faces[f].pointB;
        faceCorners_[3 * f + 2] = body.faces[f].pointC;
    }

    // Count each point's spring ends and face corners, lay the lists out one
    // after the other, then fill them in global order: a counting sort keeps it.
    entryStart_.assign(pointRoom_ + 1, 0);
    faceEntry_.assign(pointRoom_, 0);
    cursor_.assign(pointRoom_, 0);
    for (int32_t end : springEnds_) ++entryStart_[end + 1];
    for (size_t i = 0; i < n; ++i) faceEntry_[i] = entryStart_[i + 1];  // spring ends of point i
    for (int32_t corner : faceCorners_) ++entryStart_[corner + 1];
    for (size_t i = 0; i < pointRoom_; ++i) entryStart_[i + 1] += entryStart_[i];
    for (size_t i = 0; i < pointRoom_; ++i) {
        faceEntry_[i] += entryStart_[i];
        cursor_[i] = entryStart_[i];
    }
    entries_.resize(entryStart_[pointRoom_]);
    const uint32_t room = static_cast<uint32_t>(springRoom_);
    for (size_t s = 0; s < baseSprings_; ++s) {
        entries_[cursor_[springEnds_[2 * s]]++] = static_cast<uint32_t>(s);
        entries_[cursor_[springEnds_[2 * s + 1]]++] = room + static_cast<uint32_t>(s);
    }
    for (size_t f = 0; f < baseFaces_; ++f)
        for (int k = 0; k < 3; ++k) entries_[cursor_[faceCorners_[3 * f + k]]++] = 2 * room + static_cast<uint32_t>(f);
    built_ = true;
}

void StepSolver::loadState(const PressureBody& body, bool withForces) {
    const size_t n = body.points.size();
    for (size_t i = 0; i < n; ++i) {
        const MassPoint& point = body.points[i];
        state_[i] = PointState{point.position.x, point.position.y, point.position.z, point.mass,
                               point.velocity.x, point.velocity.y, point.velocity.z, point.inverseMass};
        if (withForces) {
            f0x_[i] = point.force.x;
            f0y_[i] = point.force.y;
            f0z_[i] = point.force.z;
        }
    }
}

// ------------------------------------------------------- force evaluation ---

// Forces of the state in state_: the phases of computeForces.
void StepSolver::evaluate(PressureBody& body) {
    const size_t springCount = body.springs.size();
    const size_t faceCount = body.faces.size();

    // 1. Spring terms, all independent; the listed springs are checked against
    //    the lists on the way.
    bool listsHold = springTerms<true>(body.springs.data(), 0, baseSprings_, state_.data(), springEnds_.data(),
                                       springRoom_, terms_.data());
    springTerms<false>(body.springs.data(), baseSprings_, springCount, state_.data(), nullptr, springRoom_,
                       terms_.data());

    // 2. Face geometry and volume terms, all independent.
    listsHold &= faceGeometry(body.faces.data(), faceCount, state_.data(), faceCorners_.data(), area_.data(),
                              normalX_.data(), normalY_.data(), normalZ_.data(), volumeTerm_.data());
    if (!listsHold) buildIncidence(body);

    // 3. Volume: one running float sum in face order, each step formed in double.
    float volume = 0.0f;
    for (size_t f = 0; f < faceCount; ++f) volume = static_cast<float>(volumeTerm_[f] + volume);
    body.volume = volume;
    // A flat or broken body has no defined pressure: 0 switches it off instead of
    // turning every force into infinity or NaN.
    const bool pressureDefined = volume != 0.0f && std::isfinite(volume);
    body.inverseVolume = pressureDefined ? static_cast<float>(1.0 / volume) : 0.0f;

    // 4. Pressure force and corner share of every face.
    if (pressureDefined) {
        faceShares(body.faces.data(), faceCount, area_.data(), normalX_.data(), normalY_.data(), normalZ_.data(),
                   body.pressureConstant, body.inverseVolume, terms_.data() + 2 * springRoom_);
    } else {
        for (size_t f = 0; f < faceCount; ++f) {
            Face& face = body.faces[f];
            face.normal = Vector3{normalX_[f], normalY_[f], normalZ_[f]};
            face.area = area_[f];
            face.pressureForce = Vector3{};
        }
    }

    // 5. Every point's sum: gravity, its spring ends, its face corners, in order.
    accumulate(body, pressureDefined);
}

void StepSolver::accumulate(PressureBody& body, bool withFaces) {
    const Term* terms = terms_.data();
    const uint32_t* entries = entries_.data();
    const Vector3 g = body.gravity;
    const size_t n = body.points.size();
    const bool appended = body.springs.size() > baseSprings_;
    // Appended springs come after the listed ones and before the faces: with any,
    // the spring part and the face part are summed in two passes around them.
    const bool facesNow = withFaces && !appended;

    for (size_t i = 0; i < n; ++i) {
        MassPoint& point = body.points[i];
        // Cleared, then m · g (a point of mass 0 gets +0, never −0).
        float x = 0.0f + point.mass * g.x;
        float y = 0.0f + point.mass * g.y;
        float z = 0.0f + point.mass * g.z;
        const uint32_t end = facesNow ? entryStart_[i + 1] : faceEntry_[i];
        for (uint32_t e = entryStart_[i]; e < end; ++e) {
            const Term& term = terms[entries[e]];
            x = x + term.x;
            y = y + term.y;
            z = z + term.z;
        }
        point.force = Vector3{x, y, z};
    }
    if (!appended) return;

    for (size_t s = baseSprings_; s < body.springs.size(); ++s) {
        const Term& toA = terms[s];
        const Term& toB = terms[springRoom_ + s];
        MassPoint& a = body.points[body.springs[s].pointA];
        a.force = Vector3{a.force.x + toA.x, a.force.y + toA.y, a.force.z + toA.z};
        MassPoint& b = body.points[body.springs[s].pointB];
        b.force = Vector3{b.force.x + toB.x, b.force.y + toB.y, b.force.z + toB.z};
    }
    if (!withFaces) return;
    for (size_t i = 0; i < std::min(n, basePoints_); ++i) {
        MassPoint& point = body.points[i];
        float x = point.force.x, y = point.force.y, z = point.force.z;
        for (uint32_t e = faceEntry_[i]; e < entryStart_[i + 1]; ++e) {
            const Term& term = terms[entries[e]];
            x = x + term.x;
            y = y + term.y;
            z = z + term.z;
        }
        point.force = Vector3{x, y, z};
    }
}

void StepSolver::computeForces(PressureBody& body) {
    if (!fits(body)) prepare(body);
    loadState(body, false);
    evaluate(body);
}

// ------------------------------------------------------------ integration ---

// The stretch limit pass over the positions in state_. Exactness: while no
// spring has fired, every point is where the pass started, so a spring that the
// bulk check left unmarked does nothing and can be skipped. Once springs fire,
// a skipped spring must also have both ends unmoved; any spring that is marked
// or touches a moved point is applied exactly, in order. Moved points are
// collected in movedList_.
void StepSolver::stretchPass(const PressureBody& body) {
    const size_t count = body.springs.size();
    if (markStretched(body.springs.data(), count, state_.data(), mayStretch_.data()) == 0) return;

    const uint8_t* first = static_cast<const uint8_t*>(std::memchr(mayStretch_.data(), 1, count));
    for (size_t s = static_cast<size_t>(first - mayStretch_.data()); s < count; ++s) {
        const Spring& spring = body.springs[s];
        if (!mayStretch_[s] && !moved_[spring.pointA] && !moved_[spring.pointB]) continue;
        if (!limitStretch(spring, state_.data())) continue;
        for (int32_t end : {spring.pointA, spring.pointB}) {
            if (state_[end].mass != 0.0f && !moved_[end]) {
                moved_[end] = 1;
                movedList_.push_back(end);
            }
        }
    }
}

// Copies the positions the stretch limit moved back into the records.
void StepSolver::storeMovedPositions(PressureBody& body) {
    for (int32_t i : movedList_) {
        body.points[i].position = Vector3{state_[i].x, state_[i].y, state_[i].z};
        moved_[i] = 0;
    }
    movedList_.clear();
}

void StepSolver::integrate(PressureBody& body, IntegrationMode mode, float dt) {
    if (!fits(body)) prepare(body);
    std::vector<MassPoint>& points = body.points;
    const size_t n = points.size();

    if (mode == Euler) {
        // Semi-implicit in form: the position uses the velocity just updated.
        for (MassPoint& point : points) {
            point.velocityChange = (point.force * point.inverseMass) * dt;
            point.velocity = point.velocity + point.velocityChange;
            point.positionChange = point.velocity * dt;
            point.position = point.position + point.positionChange;
        }
    }
    if (mode != Heun) {
        loadState(body, false);
        stretchPass(body);
        storeMovedPositions(body);
        return;
    }

    // Heun. The records keep the start state throughout the predictor; only
    // state_ moves to the predicted state.
    // 1. Copy the start state (its forces are F0); the copy reuses its storage.
    body.stepCopy.assign(points.begin(), points.end());
    loadState(body, true);

    // 2. Predictor: an Euler step of state_; the records keep its velocity and
    //    position changes.
    for (size_t i = 0; i < n; ++i) {
        PointState& p = state_[i];
        const float m = p.inverseMass;
        const Vector3 dv{(f0x_[i] * m) * dt, (f0y_[i] * m) * dt, (f0z_[i] * m) * dt};
        p.vx = p.vx + dv.x;
        p.vy = p.vy + dv.y;
        p.vz = p.vz + dv.z;
        const Vector3 dx{p.vx * dt, p.vy * dt, p.vz * dt};
        p.x = p.x + dx.x;
        p.y = p.y + dx.y;
        p.z = p.z + dx.z;
        points[i].velocityChange = dv;
        points[i].positionChange = dx;
    }
    //    ...and its stretch limit pass, on the predicted positions only.
    stretchPass(body);
    for (int32_t i : movedList_) moved_[i] = 0;
    movedList_.clear();

    // 3. F1, the forces at the predicted state, into the records.
    evaluate(body);

    // 4.-5. From the start state (still in the records): v += (h · (F1 + F0)) · 1/m,
    //    x += v · dt, then the walls, point by point.
    const float h = static_cast<float>(dt * 0.5);
    for (size_t i = 0; i < n; ++i) {
        MassPoint& point = points[i];
        const float m = point.inverseMass;
        Vector3 v = point.velocity;
        v = Vector3{v.x + (h * (point.force.x + f0x_[i])) * m, v.y + (h * (point.force.y + f0y_[i])) * m,
                    v.z + (h * (point.force.z + f0z_[i])) * m};
        Vector3 x = point.position;
        x = Vector3{x.x + v.x * dt, x.y + v.y * dt, x.z + v.z * dt};
        applyWalls(x, v);
        point.velocity = v;
        point.position = x;
        state_[i].x = x.x;
        state_[i].y = x.y;
        state_[i].z = x.z;
    }

    // 6. The stretch limit pass over the final positions.
    stretchPass(body);
    storeMovedPositions(body);
}

// ------------------------------------------------------------------- slot ---

StepSolverSlot::StepSolverSlot() = default;
StepSolverSlot::StepSolverSlot(const StepSolverSlot&) {}
StepSolverSlot::StepSolverSlot(StepSolverSlot&&) noexcept = default;
StepSolverSlot& StepSolverSlot::operator=(const StepSolverSlot&) { return *this; }
StepSolverSlot& StepSolverSlot::operator=(StepSolverSlot&&) noexcept = default;
StepSolverSlot::~StepSolverSlot() = default;

StepSolver& StepSolverSlot::get() {
    if (!solver_) solver_ = std::make_unique<StepSolver>();
    return *solver_;
}
