#include "app/tick_counter.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace plumfold {

#ifdef _WIN32
uint32_t readTickCounter() { return static_cast<uint32_t>(GetTickCount()); }
#else
uint32_t readTickCounter() {
    // CLOCK_MONOTONIC never jumps when the wall clock is set; truncating to 32
    // bits gives the same wrap-around as GetTickCount.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(milliseconds);
}
#endif

}  // namespace plumfold
