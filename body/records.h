#pragma once
// The body's plain records. Springs and faces name their mass points by index
// into the body's `points`, so appending and removing the drag point at the end
// never invalidates them.
#include <cstdint>

#include "body/vector3.h"

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
    float restLength = 0.0f;       // end-point distance when the spring was made
    float stretchPercent = 0.0f;   // allowed deviation in percent of restLength
    float maxDeviation = 0.0f;     // restLength × stretchPercent × 0.01

    // Rest length is the distance at the moment of making; 100 % stretch allowed.
    static Spring make(const MassPoint* points, int32_t a, int32_t b, float stiffness, float damping);

    // Adds the damped spring force to both end points.
    void applyForce(MassPoint* points) const;
    // Pulls the end points together when the spring is stretched past its limit.
    void applyStretchLimit(MassPoint* points) const;
};

struct Face {
    int32_t pointA = 0;  // corners in the order the mesh file lists them
    int32_t pointB = 0;
    int32_t pointC = 0;
    Vector3 normal;         // unit normal of the last force evaluation
    float area = 0.0f;      // |cross product of two edges|: twice the triangle's area
    Vector3 pressureForce;  // the whole face's pressure force, before sharing
};
