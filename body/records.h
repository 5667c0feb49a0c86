#pragma once
// The body's plain records. Springs and faces name their mass points by index
// into the body's `points`, so appending and removing the drag point at the end
// never invalidates them.
#include <cmath>
#include <cstdint>

#include "body/vector3.h"

namespace plumfold {

struct MassPoint {
    float mass = 0.0f;         // 0 marks a fixed point
    float inverseMass = 0.0f;  // 1 / mass, or 0 when mass is 0
    Vector3 position;
    Vector3 velocity;
    Vector3 force;           // total of the last force evaluation
    Vector3 positionChange;  // velocity × dt of the last Euler step
    Vector3 velocityChange;  // force × inverseMass × dt of the last Euler step

    static MassPoint make(float mass, const Vector3& position, const Vector3& velocity) {
        MassPoint point;
        point.mass = mass;
        point.inverseMass = mass != 0.0f ? static_cast<float>(1.0 / mass) : 0.0f;
        point.position = position;
        point.velocity = velocity;
        return point;
    }
};

struct Spring {
    int32_t pointA = 0;  // index of the first end point in the body's points
    int32_t pointB = 0;  // index of the second end point
    float stiffness = 0.0f;
    float damping = 0.0f;
    float restLength = 0.0f;      // end-point distance when the spring was made
    float stretchPercent = 0.0f;  // allowed deviation in percent of restLength
    float maxDeviation = 0.0f;    // restLength × stretchPercent × 0.01

    // Rest length is the distance at the moment of making; 100 % stretch allowed.
    static Spring make(const MassPoint* points, int32_t a, int32_t b, float stiffness, float damping);

    // Adds the damped spring force to both end points.
    void applyForce(MassPoint* points) const;
    // Pulls the end points together when the spring is stretched past its
    // limit (or pushes them apart when squeezed past it); true when it did.
    // Points are MassPoints or the engine's working rows: anything with a
    // position and a mass.
    template <class Point>
    bool applyStretchLimit(Point* points) const;
};

template <class Point>
bool Spring::applyStretchLimit(Point* points) const {
    Point& a = points[pointA];
    Point& b = points[pointB];
    Vector3 d = a.position - b.position;
    double length = std::sqrt(d.dot(d));  // kept in double throughout
    double deviation = std::fabs(length - restLength);
    if (!(deviation > maxDeviation)) return false;
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
    return true;
}

struct Face {
    int32_t pointA = 0;  // corners in the order the mesh file lists them
    int32_t pointB = 0;
    int32_t pointC = 0;
    Vector3 normal;         // unit normal of the last force evaluation
    float area = 0.0f;      // |cross product of two edges|: twice the triangle's area
    Vector3 pressureForce;  // the whole face's pressure force, before sharing

    // Area and unit normal of the triangle as its corners stand now.
    void measure(const MassPoint* points);
    // The pressure force, ((normal × area) × nRT) × 1/V, and each corner's
    // share of it (0.3333) added to corners A, B, C.
    void applyPressure(MassPoint* points, float pressureConstant, float inverseVolume);
};

}  // namespace plumfold
