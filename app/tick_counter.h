#pragma once
// The millisecond tick counter behind the frame stepping: a free-running,
// monotonic count that wraps modulo 2^32. Only differences of two readings mean
// anything, so its origin does not matter.
#include <cstdint>

namespace plumfold {

uint32_t readTickCounter();

}  // namespace plumfold
