#include <cmath>

#include "body/pressure_body.h"

namespace {

// The box is open at the top: a floor at y = −4.5 and side walls at x, z = ±4.5.
// The lower tests are "not ≥" so a NaN coordinate lands on the wall too. The
// floor reverses and damps the whole velocity, a side wall only its own axis.
void applyWalls(MassPoint& point) {
    const float bounce = -0.6f;
    const float wall = static_cast<float>(boxLimit);
    Vector3& x = point.position;
    Vector3& v = point.velocity;
    if (!(x.y >= -boxLimit)) {
        x.y = -wall;
        v = v * bounce;
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

void PressureBody::integrate(IntegrationMode mode, float dt) {
    if (mode == Euler) {
        // Semi-implicit in form: the position uses the velocity just updated.
        for (MassPoint& point : points) {
            point.velocityChange = (point.force * point.inverseMass) * dt;
            point.velocity = point.velocity + point.velocityChange;
            point.positionChange = point.velocity * dt;
            point.position = point.position + point.positionChange;
        }
    } else if (mode == Heun) {
        // Keep the start state; its forces are F0. The copy reuses its storage.
        stepCopy.assign(points.begin(), points.end());

        // Predict with an Euler step, then evaluate F1 at the prediction.
        integrate(Euler, dt);
        computeForces();

        // Restore the start state, keeping F1.
        for (size_t i = 0; i < points.size(); ++i) {
            points[i].velocity = stepCopy[i].velocity;
            points[i].position = stepCopy[i].position;
        }

        // Correct with the mean force, v += dt/2 · (F0 + F1) / m, then hit the walls.
        const float h = static_cast<float>(dt * 0.5);
        for (size_t i = 0; i < points.size(); ++i) {
            MassPoint& point = points[i];
            point.velocity = point.velocity + ((h * (point.force + stepCopy[i].force)) * point.inverseMass);
            point.position = point.position + point.velocity * dt;
            applyWalls(point);
        }
    }

    // Pull back every spring stretched past its limit, in stored order.
    for (const Spring& spring : springs) spring.applyStretchLimit(points.data());
}
