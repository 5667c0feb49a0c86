// The engine's step. Its phases carry the names and numbers of the
// reference's (body/forces.cpp, body/integration.cpp); the loops over points,
// springs and faces are the wide loops (body/engine/wide_loops.h).
#include "body/engine/engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace plumfold {

float usableInverseVolume(float volume) {
    const float inverse = static_cast<float>(1.0 / volume);
    const bool defined = volume != 0.0f && std::isfinite(volume) && std::isfinite(inverse);
    return defined ? inverse : 0.0f;
}

// ------------------------------------------------------------- bookkeeping ---

bool Engine::fits(const PressureBody& body) const {
    return body.points.size() <= pointRoom_ && body.springs.size() <= springRoom_ && body.faces.size() <= faceRoom_;
}

void Engine::prepare(PressureBody& body) {
    pointRoom_ = std::max(body.points.size() + 1, body.points.capacity());
    springRoom_ = std::max(body.springs.size() + 1, body.springs.capacity());
    faceRoom_ = std::max(body.faces.size(), body.faces.capacity());
    body.stepCopy.reserve(pointRoom_);
    state_.resize(pointRoom_);
    forces_.resize(forceStride * pointRoom_);
    volumeTerms_.resize(faceRoom_);
    mayStretch_.resize(springRoom_);
    moved_.assign(pointRoom_, 0);
    movedList_.reserve(pointRoom_);
}

// The records' positions and velocities into the working rows, and every
// force sum started with gravity.
void Engine::loadState(const PressureBody& body) {
    loops_->loadPoints(body.points.data(), body.points.size(), body.gravity, state_.data(), forces_.data());
}

void Engine::storeForces(PressureBody& body) const {
    loops_->storeForces(forces_.data(), body.points.size(), body.points.data());
}

// -------------------------------------------------------- force evaluation ---

// The forces at the working rows, whose sums hold gravity already (phase 1):
// into forces_, the face records, the volume and its inverse. With marks, the
// springs are also checked against their stretch limits there.
SpringPass Engine::evaluateForces(PressureBody& body, uint8_t* marks) {
    const size_t faceCount = body.faces.size();
    // 3a. Face areas, normals and volume terms (nothing here touches a force);
    //     3b. the volume sum begins along with them.
    VolumeSum volume;
    loops_->measureFaces(body.faces.data(), faceCount, state_.data(), volumeTerms_.data(), volume);
    // 2. Springs, in stored order; 3b. the rest of the volume sum along with them.
    SpringPass springs{body.springs.data(), body.springs.size(), state_.data(), forces_.data(),
                       volumeTerms_.data(), faceCount,           volume.terms,  marks};
    springs.volume = volume.volume;
    loops_->addSprings(springs);
    body.volume = springs.volume;
    body.inverseVolume = usableInverseVolume(body.volume);
    // 4. Pressure on every face, shared among its corners in face order; a body
    //    without a defined pressure gets none.
    if (body.inverseVolume == 0.0f) {
        for (Face& face : body.faces) face.pressureForce = Vector3{};
        return springs;
    }
    loops_->applyPressure(body.faces.data(), faceCount, body.pressureConstant, body.inverseVolume, forces_.data());
    return springs;
}

// Every force sum of the working rows back to gravity alone.
void Engine::restartForces(const PressureBody& body) {
    loops_->restartForces(state_.data(), body.points.size(), body.gravity, forces_.data());
}

void Engine::computeForces(PressureBody& body) {
    if (!fits(body)) prepare(body);
    loadState(body);  // 1. gravity
    evaluateForces(body, nullptr);
    storeForces(body);
}

// ------------------------------------------------------------ stretch limit ---

// The stretch limit pass over the working rows' positions, spring by spring in
// order; returns how many springs it corrected. Moved points are collected in
// movedList_.
int Engine::limitStretch(const PressureBody& body) {
    if (loops_->markStretched(body.springs.data(), body.springs.size(), state_.data(), mayStretch_.data()) == 0)
        return 0;
    return applyMarkedStretch(body);
}

// The ordered part of the pass, from the marks in mayStretch_. While no spring
// has fired, every point is where the marks were made, so an unmarked spring
// does nothing. Once springs fire, a skipped spring must also have both ends
// unmoved; a spring that is marked or touches a moved point is applied exactly.
int Engine::applyMarkedStretch(const PressureBody& body) {
    const size_t count = body.springs.size();
    const auto* first = static_cast<const uint8_t*>(std::memchr(mayStretch_.data(), 1, count));
    if (first == nullptr) return 0;
    int fired = 0;
    for (size_t s = static_cast<size_t>(first - mayStretch_.data()); s < count; ++s) {
        const Spring& spring = body.springs[s];
        if (!mayStretch_[s] && !moved_[spring.pointA] && !moved_[spring.pointB]) continue;
        if (!spring.applyStretchLimit(state_.data())) continue;
        ++fired;
        for (int32_t end : {spring.pointA, spring.pointB}) {
            if (state_[end].mass != 0.0f && !moved_[end]) {
                moved_[end] = 1;
                movedList_.push_back(end);
            }
        }
    }
    return fired;
}

// Forgets which points the stretch limit moved, leaving the records alone.
void Engine::forgetMovedPoints() {
    for (int32_t i : movedList_) moved_[i] = 0;
    movedList_.clear();
}

// The positions the stretch limit moved, back into the records.
void Engine::storeMovedPositions(PressureBody& body) {
    for (int32_t i : movedList_) {
        body.points[i].position = state_[i].position;
        moved_[i] = 0;
    }
    movedList_.clear();
}

// -------------------------------------------------------------- integration ---

void Engine::eulerStep(PressureBody& body, float dt) const {
    // Semi-implicit in form: the position uses the velocity just updated.
    for (MassPoint& point : body.points) {
        point.velocityChange = (point.force * point.inverseMass) * dt;
        point.velocity = point.velocity + point.velocityChange;
        point.positionChange = point.velocity * dt;
        point.position = point.position + point.positionChange;
    }
}

// Heun 1.-2.: keep the start state (its forces are F0) and predict with an
// Euler step. The records keep the start state but take the velocity and
// position changes; the prediction goes to the working rows, whose force sums
// start with gravity. With force0, F0 is still in the sums and goes into the
// records first.
void Engine::predict(PressureBody& body, float dt, const float* force0) {
    body.stepCopy.resize(body.points.size());
    loops_->predict(body.points.data(), body.points.size(), dt, body.gravity, force0, body.stepCopy.data(),
                    state_.data(), forces_.data());
}

// Heun 4.: from the start state (still in the records, with F0):
// v += (dt/2 · (F1 + F0)) · 1/m, x += v · dt, the walls; F1 into the records,
// the new positions into the working rows for the closing stretch pass.
// Returns the largest change of a coordinate from the position the rows held
// (where F1 was evaluated); infinity for NaN.
float Engine::correct(PressureBody& body, float dt) {
    return loops_->correct(body.points.data(), body.points.size(), dt, forces_.data(), state_.data());
}

void Engine::integrate(PressureBody& body, IntegrationMode mode, float dt) {
    if (!fits(body)) prepare(body);
    if (mode == Heun) {
        predict(body, dt, nullptr);  // 1.-2. Start state kept, prediction in the working rows.
        finishHeun(body, dt);
        return;
    }
    if (mode == Euler) eulerStep(body, dt);
    loadState(body);
    // Every mode ends with the stretch limit pass.
    body.stretchCorrections = limitStretch(body);
    storeMovedPositions(body);
}

// computeForces, then a Heun step: the store of F0 into the records rides
// along with the predictor, which reads them.
void Engine::step(PressureBody& body, float dt) {
    if (!fits(body)) prepare(body);
    loadState(body);  // 1. gravity
    evaluateForces(body, nullptr);
    predict(body, dt, forces_.data());  // Heun 1.-2.
    finishHeun(body, dt);
}

// Heun 2b.-5., from the prediction in the working rows.
void Engine::finishHeun(PressureBody& body, float dt) {
    // 2b.-3. The predictor's stretch limit pass, then F1 at its result.
    //    Mostly the pass changes nothing, so F1 is evaluated first, at the
    //    positions the pass starts from, and the same loop marks the springs
    //    that may exceed their limit there. With none marked, or none firing,
    //    F1 stands; otherwise it is evaluated again after the pass. Both
    //    orders evaluate F1 at the same positions. Springs fire in runs of
    //    steps (a drag, a soft body settling), so after a step where the pass
    //    fired it runs first, in the reference's order, and F1 is evaluated once.
    SpringPass springs;
    int predictorFired = 0;
    if (predictorFired_) {
        predictorFired = limitStretch(body);
        forgetMovedPoints();
        springs = evaluateForces(body, mayStretch_.data());
    } else {
        springs = evaluateForces(body, mayStretch_.data());
        if (springs.marked > 0) predictorFired = applyMarkedStretch(body);
        if (predictorFired > 0) {
            forgetMovedPoints();
            restartForces(body);
            springs = evaluateForces(body, mayStretch_.data());
        }
    }
    predictorFired_ = predictorFired > 0;
    // 4. Back to the start: the corrector and the walls.
    const float moved = correct(body, dt);
    // 5. The closing stretch limit pass. It can change nothing when no point
    //    moved from where F1's springs measured their margins by a quarter of
    //    the smallest (see marginShrink in body/engine/wide_loops.h).
    const bool closingPassNeeded = !(4.0 * moved * (1.0 + 1e-6) + 1e-30 < springs.margin);
    const int closingFired = closingPassNeeded ? limitStretch(body) : 0;
    storeMovedPositions(body);
    body.stretchCorrections = predictorFired + closingFired;
}

}  // namespace plumfold

// ---------------------------------------------------------------------- slot ---

namespace plumfold {

EngineSlot::EngineSlot() = default;
EngineSlot::EngineSlot(const EngineSlot&) {}
EngineSlot::EngineSlot(EngineSlot&&) noexcept = default;
EngineSlot& EngineSlot::operator=(const EngineSlot&) { return *this; }
EngineSlot& EngineSlot::operator=(EngineSlot&&) noexcept = default;
EngineSlot::~EngineSlot() = default;

plumfold::Engine& EngineSlot::get() {
    if (!engine_) engine_ = std::make_unique<plumfold::Engine>();
    return *engine_;
}

}  // namespace plumfold
