#include <cmath>

#include "body/pressure_body.h"
#include "body/step_solver.h"

void Spring::applyStretchLimit(MassPoint* points) const {
    MassPoint& a = points[pointA];
    MassPoint& b = points[pointB];
    Vector3 d = a.position - b.position;
    double length = std::sqrt(d.dot(d));  // kept in double throughout
    double deviation = std::fabs(length - restLength);
    if (!(deviation > maxDeviation)) return;
    float excess = static_cast<float>(deviation - maxDeviation);
    // Ends so close (below about 3e-39 apart) that 1 / length is no float are
    // treated like coincident ones: d stays, and with an excess that small the
    // correction is nothing, where the infinite reciprocal made it NaN.
    if (length != 0.0) {
        float reciprocal = static_cast<float>(1.0 / length);
        if (std::isfinite(reciprocal)) d = d * reciprocal;
    }
    // Each movable end takes half the excess towards the other.
    Vector3 correction = d * static_cast<float>(excess * 0.5);
    if (a.mass != 0.0f) a.position = a.position - correction;
    if (b.mass != 0.0f) b.position = b.position + correction;
}

// Euler: v += (F · 1/m) · dt, x += v · dt. Heun: copy the start state, Euler
// predictor with its stretch limit pass, forces F1 at the prediction, back to
// the start, v += (dt/2 · (F0 + F1)) · 1/m, x += v · dt, the walls. Every mode
// ends with the stretch limit pass. The step solver runs these phases in bulk.
void PressureBody::integrate(IntegrationMode mode, float dt) { solver.get().integrate(*this, mode, dt); }
