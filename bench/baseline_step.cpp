// The per-record loops of the first simulation core, unchanged but for names
// (the box walls are the engine's own, shared through body/walls.h).
#include "bench/baseline_step.h"

#include <cmath>

#include "body/walls.h"

namespace {

void applyForce(const Spring& spring, MassPoint* points) {
    MassPoint& a = points[spring.pointA];
    MassPoint& b = points[spring.pointB];
    Vector3 d = a.position - b.position;
    double length = std::sqrt(d.dot(d));
    if (length == 0.0 || std::isnan(length)) return;
    float lengthF = static_cast<float>(length);
    float reciprocal = static_cast<float>(1.0 / lengthF);
    if (!std::isfinite(reciprocal)) return;
    Vector3 v = a.velocity - b.velocity;
    float s = static_cast<float>(v.dot(d) * spring.damping / lengthF +
                                 (static_cast<double>(lengthF) - spring.restLength) * spring.stiffness);
    Vector3 u = d * reciprocal;
    Vector3 f = u * s;
    a.force = a.force + (-1.0f * f);
    b.force = b.force + f;
}

void computeVolume(PressureBody& body) {
    body.volume = 0.0f;
    for (const Face& face : body.faces) {
        double x0 = body.points[face.pointA].position.x;
        double x1 = body.points[face.pointB].position.x;
        double x2 = body.points[face.pointC].position.x;
        double term = (x2 + x1 + x0) * face.area * face.normal.x * 0.333;
        body.volume = static_cast<float>(term + body.volume);
    }
    float inverse = static_cast<float>(1.0 / body.volume);
    bool pressureDefined = body.volume != 0.0f && std::isfinite(body.volume) && std::isfinite(inverse);
    body.inverseVolume = pressureDefined ? inverse : 0.0f;
}

void applyStretchLimit(const Spring& spring, MassPoint* points) {
    MassPoint& a = points[spring.pointA];
    MassPoint& b = points[spring.pointB];
    Vector3 d = a.position - b.position;
    double length = std::sqrt(d.dot(d));
    double deviation = std::fabs(length - spring.restLength);
    if (!(deviation > spring.maxDeviation)) return;
    float excess = static_cast<float>(deviation - spring.maxDeviation);
    if (length != 0.0) {
        float reciprocal = static_cast<float>(1.0 / length);
        if (std::isfinite(reciprocal)) d = d * reciprocal;
    }
    Vector3 correction = d * static_cast<float>(excess * 0.5);
    if (a.mass != 0.0f) a.position = a.position - correction;
    if (b.mass != 0.0f) b.position = b.position + correction;
}

}  // namespace

void baselineComputeForces(PressureBody& body) {
    MassPoint* p = body.points.data();
    for (MassPoint& point : body.points) {
        point.force = Vector3{};
        point.force = point.force + point.mass * body.gravity;
    }
    for (const Spring& spring : body.springs) applyForce(spring, p);
    for (Face& face : body.faces) {
        const Vector3& p0 = p[face.pointA].position;
        Vector3 e1 = p0 - p[face.pointB].position;
        Vector3 e2 = p0 - p[face.pointC].position;
        Vector3 c = e1.cross(e2);
        face.area = static_cast<float>(std::sqrt(c.dot(c)));
        c.normalize();
        face.normal = c;
    }
    computeVolume(body);
    if (body.inverseVolume == 0.0f) {
        for (Face& face : body.faces) face.pressureForce = Vector3{};
        return;
    }
    const float share = 0.3333f;
    for (Face& face : body.faces) {
        face.pressureForce = ((face.normal * face.area) * body.pressureConstant) * body.inverseVolume;
        Vector3 part = face.pressureForce * share;
        p[face.pointA].force = p[face.pointA].force + part;
        p[face.pointB].force = p[face.pointB].force + part;
        p[face.pointC].force = p[face.pointC].force + part;
    }
}

void baselineIntegrate(PressureBody& body, IntegrationMode mode, float dt) {
    std::vector<MassPoint>& points = body.points;
    if (mode == Euler) {
        for (MassPoint& point : points) {
            point.velocityChange = (point.force * point.inverseMass) * dt;
            point.velocity = point.velocity + point.velocityChange;
            point.positionChange = point.velocity * dt;
            point.position = point.position + point.positionChange;
        }
    } else if (mode == Heun) {
        body.stepCopy.assign(points.begin(), points.end());
        baselineIntegrate(body, Euler, dt);
        baselineComputeForces(body);
        for (size_t i = 0; i < points.size(); ++i) {
            points[i].velocity = body.stepCopy[i].velocity;
            points[i].position = body.stepCopy[i].position;
        }
        const float h = static_cast<float>(dt * 0.5);
        for (size_t i = 0; i < points.size(); ++i) {
            MassPoint& point = points[i];
            point.velocity = point.velocity + ((h * (point.force + body.stepCopy[i].force)) * point.inverseMass);
            point.position = point.position + point.velocity * dt;
            applyWalls(point.position, point.velocity);
        }
    }
    for (const Spring& spring : body.springs) applyStretchLimit(spring, points.data());
}
