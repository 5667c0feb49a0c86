// Float arithmetic stands for the records' "form in double, round to float"
// wherever the two are the same number (see body/bulk_kernels.cpp).
#include "body/step_solver.h"
#include "body/walls.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The stretch limit of one spring, exactly as Spring::applyStretchLimit, on the
// working state. Answers whether it fired.
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
    // Ends so close that 1 / length is no float are treated like coincident ones.
    const float reciprocal = static_cast<float>(1.0 / length);
    if (length != 0.0 && std::isfinite(reciprocal)) {
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

// 1 / V as a float, or 0 where the body has no defined pressure: a flat or
// broken body gets none instead of every force turning into infinity or NaN.
// That includes a volume so close to 0 that its inverse is no float. (A
// finite nonzero float volume has a nonzero float inverse, so 0 is free to
// mean "none".)
float usableInverseVolume(float volume) {
    const float inverse = static_cast<float>(1.0 / volume);
    const bool defined = volume != 0.0f && std::isfinite(volume) && std::isfinite(inverse);
    return defined ? inverse : 0.0f;
}

}  // namespace

// ------------------------------------------------------------ bookkeeping ---

bool StepSolver::fits(const PressureBody& body) const {
    return body.points.size() <= pointRoom_ && body.springs.size() <= springRoom_ && body.faces.size() <= faceRoom_;
}

void StepSolver::prepare(PressureBody& body) {
    // Room for a drag point and a drag spring on top of what is there now.
    pointRoom_ = std::max(body.points.size() + 1, body.points.capacity());
    springRoom_ = std::max(body.springs.size() + 1, body.springs.capacity());
    faceRoom_ = std::max(body.faces.size(), body.faces.capacity());
    body.stepCopy.reserve(pointRoom_);

    state_.resize(pointRoom_);
    forces_.resize(forceStride * pointRoom_);
    for (std::vector<float>* a : {&area_, &normalX_, &normalY_, &normalZ_}) a->resize(faceRoom_);
    volumeTerms_.resize(faceRoom_);
    mayStretch_.resize(springRoom_);
    moved_.assign(pointRoom_, 0);
    movedList_.reserve(pointRoom_);
    updateSecondCore();
}

void StepSolver::useSecondCoreFrom(size_t faces) {
    secondCoreFaces_ = faces;
    updateSecondCore();
}

// Made or ended here, never in a step.
void StepSolver::updateSecondCore() {
    const bool wanted = faceRoom_ > 0 && faceRoom_ >= secondCoreFaces_;
    if (wanted && !secondCore_) secondCore_ = std::make_unique<SecondCore>();
    if (!wanted) secondCore_.reset();
}

// The records' state into state_, and every force sum started with gravity.
void StepSolver::loadState(PressureBody& body) { loadStateOf(body, 0, body.points.size(), 0.0f); }

// loadState for the points [begin, end).
float StepSolver::loadStateOf(PressureBody& body, size_t begin, size_t end, float) {
    kernels_->loadState(body.points.data() + begin, end - begin, body.gravity, state_.data() + begin,
                        forces_.data() + forceStride * begin);
    return 0.0f;
}

// The force sums of the points [begin, end) into their records.
float StepSolver::storeForces(PressureBody& body, size_t begin, size_t end, float) {
    const float* const forces = forces_.data();
    MassPoint* const points = body.points.data();
    for (size_t i = begin; i < end; ++i) {
        const float* force = forces + forceStride * i;
        points[i].force = Vector3{force[0], force[1], force[2]};
    }
    return 0.0f;
}

// ------------------------------------------------------- force evaluation ---

// Forces of the state in state_, whose force sums hold gravity already: the
// phases of computeForces. The sums go into the records too unless the caller
// takes them from forces_ itself. With `marks`, also marks the springs that
// may exceed their stretch limit at these positions (see stretchPass) and
// returns how many.
size_t StepSolver::evaluate(PressureBody& body, uint8_t* marks, bool storeForces) {
    const size_t n = body.points.size();
    const size_t faceCount = body.faces.size();
    float* const forces = forces_.data();

    // 1.-2. Clear, then m · g: done by whoever filled state_ (loadState, predict).

    // 3.-5. Springs in stored order; face geometry, and the volume: one running
    //    float sum in face order, each step formed in double.
    const ForcePass pass{body.springs.data(), body.springs.size(), body.faces.data(), faceCount, state_.data(),
                         forces, area_.data(), normalX_.data(), normalY_.data(), normalZ_.data(), marks,
                         volumeTerms_.data(), &stretchMargin_};
    size_t marked = 0;
    float volume = 0.0f;
    float inverse = 0.0f;
    if (helping_) {
        // The helper adds the spring forces while the face geometry, the
        // volume and the pressure forces in the face records are computed
        // here: disjoint outputs. (If the helper is busy, the springs run
        // here too, after the faces.) Then the corners' shares are added here,
        // in face order, after every spring. The face records, read for their
        // corners and written with their pressure forces, stay with this
        // thread; only the force sums go from one to the other.
        springJob_ = SpringJob{kernels_, &pass, 0};
        secondCore_->offer(
            [](void* argument) {
                SpringJob& job = *static_cast<SpringJob*>(argument);
                job.kernels->addSprings(*job.pass, job.marked);
            },
            &springJob_);
        volume = kernels_->faceGeometry(pass);
        inverse = usableInverseVolume(volume);
        writeFacePressure(body, inverse, nullptr);
        secondCore_->finish();
        marked = springJob_.marked;
        if (inverse != 0.0f) kernels_->addCornerShares(body.faces.data(), faceCount, forces);
    } else {
        volume = kernels_->springsAndFaces(pass, marked);
        inverse = usableInverseVolume(volume);
        // 6.-7. Pressure force of every face, and its corners' shares in order.
        writeFacePressure(body, inverse, forces);
    }
    body.volume = volume;
    body.inverseVolume = inverse;

    // The sums into the records.
    if (storeForces) forEachPointRange(body, n, 0.0f, &StepSolver::storeForces);
    return marked;
}

// 6.-7. The pressure force of every face into its record, ((normal × area) ×
// nRT) × 1/V; with `forces`, also each corner's share, face by face. Without a
// defined pressure (inverse 0) every pressure force is 0 and nothing is shared.
void StepSolver::writeFacePressure(PressureBody& body, float inverse, float* forces) {
    kernels_->addFaceShares(body.faces.data(), body.faces.size(), area_.data(), normalX_.data(), normalY_.data(),
                            normalZ_.data(), body.pressureConstant, inverse, inverse != 0.0f ? forces : nullptr);
    if (inverse == 0.0f)
        for (Face& face : body.faces) face.pressureForce = Vector3{};
}

// Decides whether the helper takes part in a call, and times the call for the
// trial (body/helper_trial.h) when there is a helper.
class StepSolver::CallTimer {
public:
    explicit CallTimer(StepSolver& solver) : solver_(solver) {
        solver_.helping_ = solver_.secondCore_ && (solver_.helperAlways_ || solver_.trial_.useHelper());
        if (solver_.secondCore_) start_ = std::chrono::steady_clock::now();
    }
    ~CallTimer() {
        if (solver_.secondCore_)
            solver_.trial_.record(std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count());
    }
    CallTimer(const CallTimer&) = delete;
    CallTimer& operator=(const CallTimer&) = delete;

private:
    StepSolver& solver_;
    std::chrono::steady_clock::time_point start_;
};

void StepSolver::computeForces(PressureBody& body) {
    if (!fits(body)) prepare(body);
    const CallTimer timer(*this);
    forEachPointRange(body, body.points.size(), 0.0f, &StepSolver::loadStateOf);
    evaluate(body, nullptr, true);
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
    size_t marked = 0;
    if (helping_) {
        // The second half of the springs is checked on the helper (or here,
        // if it is busy); the marks of each spring are independent.
        const size_t half = count / 2;
        markJob_ = MarkJob{kernels_, body.springs.data() + half, count - half, state_.data(),
                           mayStretch_.data() + half, 0};
        secondCore_->offer(
            [](void* argument) {
                MarkJob& job = *static_cast<MarkJob*>(argument);
                job.marked = job.kernels->markStretched(job.springs, job.count, job.state, job.marks);
            },
            &markJob_);
        marked = kernels_->markStretched(body.springs.data(), half, state_.data(), mayStretch_.data());
        secondCore_->finish();
        marked += markJob_.marked;
    } else {
        marked = kernels_->markStretched(body.springs.data(), count, state_.data(), mayStretch_.data());
    }
    if (marked == 0) return;
    applyMarkedStretch(body);
}

// The ordered part of the stretch pass, from the marks in mayStretch_.
void StepSolver::applyMarkedStretch(const PressureBody& body) {
    const size_t count = body.springs.size();
    const uint8_t* first = static_cast<const uint8_t*>(std::memchr(mayStretch_.data(), 1, count));
    if (first == nullptr) return;
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

// Forgets which points the stretch limit moved, leaving the records as they are.
void StepSolver::forgetMovedPoints() {
    for (int32_t i : movedList_) moved_[i] = 0;
    movedList_.clear();
}

// Copies the positions the stretch limit moved back into the records.
void StepSolver::storeMovedPositions(PressureBody& body) {
    for (int32_t i : movedList_) {
        body.points[i].position = Vector3{state_[i].x, state_[i].y, state_[i].z};
        moved_[i] = 0;
    }
    movedList_.clear();
}

// Heun steps 1.-2. for the points [begin, end): copy the start state and
// predict with an Euler step of state_ (see integrate), starting the force
// sums of the predicted state with gravity.
float StepSolver::predict(PressureBody& body, size_t begin, size_t end, float dt) {
    kernels_->predictPoints(body.points.data() + begin, body.stepCopy.data() + begin, end - begin, dt, body.gravity,
                            state_.data() + begin, forces_.data() + forceStride * begin);
    return 0.0f;
}

// Heun steps 4.-5. for the points [begin, end) (see integrate). The records'
// forces still hold F0 (the predictor's evaluation wrote only forces_).
float StepSolver::correct(PressureBody& body, size_t begin, size_t end, float dt) {
    return kernels_->correctPoints(body.points.data() + begin, end - begin, dt, forces_.data() + forceStride * begin,
                                   state_.data() + begin);
}

// Runs part on every point; with the helper, it takes the upper half. Each
// point's update reads and writes that point alone, so the halves are
// independent.
float StepSolver::forEachPointRange(PressureBody& body, size_t n, float dt, PointPart part) {
    if (!helping_) return (this->*part)(body, 0, n, dt);
    const size_t half = n / 2;
    pointJob_ = PointJob{this, &body, part, half, n, dt, 0.0f};
    secondCore_->offer(
        [](void* argument) {
            PointJob& job = *static_cast<PointJob*>(argument);
            job.result = (job.solver->*job.part)(*job.body, job.begin, job.end, job.dt);
        },
        &pointJob_);
    const float result = (this->*part)(body, 0, half, dt);
    secondCore_->finish();
    // The larger of the two halves' measures.
    return std::max(result, pointJob_.result);
}

void StepSolver::integrate(PressureBody& body, IntegrationMode mode, float dt) {
    if (!fits(body)) prepare(body);
    const CallTimer timer(*this);
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
        loadState(body);
        stretchPass(body);
        storeMovedPositions(body);
        return;
    }

    // Heun. The records keep the start state throughout the predictor; only
    // state_ moves to the predicted state.
    // 1.-2. In one pass over the points: copy the start state (its forces are
    //    F0; the copy reuses its storage), and predict with an Euler step of
    //    state_, the records keeping its velocity and position changes.
    body.stepCopy.resize(n);
    forEachPointRange(body, n, dt, &StepSolver::predict);
    // 3. F1, the forces at the predicted state after its stretch limit pass.
    //    Mostly the pass changes nothing, so the forces are evaluated first, at
    //    the positions the pass starts from, and the same loop marks the
    //    springs that may exceed their limit. With none marked F1 stands;
    //    otherwise the pass runs, and if it moved a point F1 is evaluated
    //    again. Once the pass has moved points it tends to do so step after
    //    step (a body in a violent phase), so after such a step the pass runs
    //    first and F1 is evaluated once. Both orders evaluate F1 at the same
    //    positions.
    stretchMargin_ = 0.0f;
    bool nothingMarked = false;
    bool fired = false;
    if (stretchFiredLastStep_) {
        stretchPass(body);
        fired = !movedList_.empty();
        forgetMovedPoints();
        // The marks here only serve the shortcut of step 6.
        nothingMarked = evaluate(body, mayStretch_.data(), false) == 0;
    } else {
        nothingMarked = evaluate(body, mayStretch_.data(), false) == 0;
        if (!nothingMarked) {
            applyMarkedStretch(body);
            fired = !movedList_.empty();
            if (fired) {
                forgetMovedPoints();
                for (size_t i = 0; i < n; ++i) startForce(&forces_[forceStride * i], state_[i].mass, body.gravity);
                evaluate(body, nullptr, false);
            }
        }
    }
    stretchFiredLastStep_ = fired;

    // 4.-5. From the start state (still in the records): F1 into the records,
    //    v += (h · (F1 + F0)) · 1/m, x += v · dt, then the walls, point by point.
    const float moved = forEachPointRange(body, n, dt, &StepSolver::correct);

    // 6. The stretch limit pass over the final positions. When nothing was
    //    marked at the predicted positions, those are where F1's springs
    //    measured their margins (stretchMargin in body/bulk_kernels.h), and if
    //    no point has moved from them by a quarter of the smallest margin, no
    //    spring can fire: the pass would change nothing.
    if (!(nothingMarked && 4.0 * moved * (1.0 + 1e-6) + 1e-30 < stretchMargin_)) stretchPass(body);
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
