// The force evaluation one record at a time: the plain reference. The engine
// (body/engine/) computes the same numbers in bulk and is held to these bits.
#include <cmath>

#include "body/engine/engine.h"
#include "body/pressure_body.h"

namespace plumfold {

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
    float s =
        static_cast<float>(v.dot(d) * damping / lengthF + (static_cast<double>(lengthF) - restLength) * stiffness);
    Vector3 u = d * reciprocal;
    Vector3 f = u * s;
    a.force = a.force + (-1.0f * f);
    b.force = b.force + f;
}

void Face::measure(const MassPoint* points) {
    const Vector3& p0 = points[pointA].position;
    Vector3 e1 = p0 - points[pointB].position;
    Vector3 e2 = p0 - points[pointC].position;
    Vector3 c = e1.cross(e2);
    area = static_cast<float>(std::sqrt(c.dot(c)));
    c.normalize();
    normal = c;
}

void Face::applyPressure(MassPoint* points, float pressureConstant, float inverseVolume) {
    const float share = 0.3333f;
    pressureForce = ((normal * area) * pressureConstant) * inverseVolume;
    Vector3 part = pressureForce * share;
    points[pointA].force = points[pointA].force + part;
    points[pointB].force = points[pointB].force + part;
    points[pointC].force = points[pointC].force + part;
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
    inverseVolume = plumfold::usableInverseVolume(volume);
}

void PressureBody::computeForcesReference() {
    MassPoint* p = points.data();
    // 1. Gravity starts every sum: 0 + m · g, so a point of mass 0 gets +0.
    for (MassPoint& point : points) {
        point.force = Vector3{};
        point.force = point.force + point.mass * gravity;
    }
    // 2. Springs, in stored order.
    for (const Spring& spring : springs) spring.applyForce(p);
    // 3. Face areas and normals, then the volume they enclose.
    for (Face& face : faces) face.measure(p);
    computeVolume();
    // 4. Pressure on every face, shared among its corners in face order. A
    //    body without a defined pressure gets none.
    if (inverseVolume == 0.0f) {
        for (Face& face : faces) face.pressureForce = Vector3{};
        return;
    }
    for (Face& face : faces) face.applyPressure(p, pressureConstant, inverseVolume);
}

void PressureBody::computeForces() { engine.get().computeForces(*this); }

}  // namespace plumfold
