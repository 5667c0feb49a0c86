#include <cmath>

#include "body/pressure_body.h"
#include "body/step_solver.h"

void Spring::applyForce(MassPoint* points) const {
    MassPoint& a = points[pointA];
    MassPoint& b = points[pointB];
    Vector3 d = a.position - b.position;
    double length = std::sqrt(d.dot(d));
    // Coincident ends have no direction: no elastic force and no damping.
    if (length == 0.0 || std::isnan(length)) return;
    float lengthF = static_cast<float>(length);
    // Ends so close (below about 3e-39 apart) that 1 / length is no float have
    // no usable direction either; their force would be infinite or NaN.
    float reciprocal = static_cast<float>(1.0 / lengthF);
    if (!std::isfinite(reciprocal)) return;
    Vector3 v = a.velocity - b.velocity;
    // s = damping · (v·d) / |d| + stiffness · (|d| − rest): damper plus Hooke's law, in double.
    float s = static_cast<float>(v.dot(d) * damping / lengthF +
                                 (static_cast<double>(lengthF) - restLength) * stiffness);
    Vector3 u = d * reciprocal;
    Vector3 f = u * s;
    a.force = a.force + (-1.0f * f);
    b.force = b.force + f;
}

void PressureBody::computeVolume() {
    // Divergence theorem on x: V = Σ x̄ · n_x · A. The factor is 0.333, not one
    // third, and area is twice the triangle's: together the 1.998 of the measure.
    volume = 0.0f;
    for (const Face& face : faces) {
        double x0 = points[face.pointA].position.x;
        double x1 = points[face.pointB].position.x;
        double x2 = points[face.pointC].position.x;
        double term = (x2 + x1 + x0) * face.area * face.normal.x * 0.333;
        volume = static_cast<float>(term + volume);
    }
    // A flat or broken body has no defined pressure: 0 here switches it off
    // instead of turning every force into infinity or NaN. That includes a
    // volume so close to 0 (below about 3e-39) that its inverse is no float.
    float inverse = static_cast<float>(1.0 / volume);
    bool pressureDefined = volume != 0.0f && std::isfinite(volume) && std::isfinite(inverse);
    inverseVolume = pressureDefined ? inverse : 0.0f;
}

// The same phases as the per-record operations above (clear, gravity, springs,
// face geometry, volume, pressure, sharing), evaluated in bulk by the step
// solver with identical results.
void PressureBody::computeForces() { solver.get().computeForces(*this); }
