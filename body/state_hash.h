#pragma once
#include <cstdint>

#include "body/pressure_body.h"

namespace plumfold {

// FNV-1a 64 over the IEEE bits of every point's position x, y, z then velocity
// x, y, z, in stored order, each float least significant byte first. Two runs
// agree on it exactly when their trajectories agree to the last bit.
uint64_t stateChecksum(const PressureBody& body);

}  // namespace plumfold
