#pragma once
// The physical quantities the lab shows and what its watch looks for, read from
// the body's records without changing them.
#include <cstddef>
#include <string>

#include "body/pressure_body.h"

namespace plumfold {

struct BodyReadings {
    double kinetic = 0;        // sum of 1/2 m v^2
    double elastic = 0;        // sum over the body's springs of 1/2 k (l - l0)^2
    double gravitational = 0;  // sum of m (-g) . x, heights measured from the floor
    double total() const { return kinetic + elastic + gravitational; }
    double leastStrain = 0;  // (l - l0) / l0 over the body's springs
    double greatestStrain = 0;
};

// Over the first `points` mass points and `springs` springs: the body without
// the drag point and drag spring.
BodyReadings readBody(const PressureBody& body, size_t points, size_t springs);

// What is wrong with the body after a step, in words, or "": the volume measure
// changed sign since `lastVolume` (kept here, 0 until a volume had a sign), a
// value is not finite, or a point is outside the box.
std::string watchBody(const PressureBody& body, size_t points, float& lastVolume);

}  // namespace plumfold
