#pragma once
// The open box: a floor at y = −4.5 and side walls at x, z = ±4.5, no ceiling.
#include "body/pressure_body.h"
#include "body/vector3.h"

namespace plumfold {

// The box walls of one point: floor first (the whole velocity bounces), then
// x low, x high, z low, z high. "Not ≥" so that NaN lands on the wall.
inline void applyWalls(Vector3& x, Vector3& v) {
    const float bounce = -0.6f;
    const float wall = static_cast<float>(boxLimit);
    if (!(x.y >= -boxLimit)) {
        x.y = -wall;
        v = Vector3{v.x * bounce, v.y * bounce, v.z * bounce};
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

}  // namespace plumfold
