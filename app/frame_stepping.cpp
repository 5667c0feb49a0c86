#include "app/frame_stepping.h"

#include <algorithm>

namespace plumfold {

int32_t stepsForBatch(int32_t elapsedTicks) {
    int32_t extra = elapsedTicks / ticksPerExtraStep;  // truncates towards zero
    if (extra < 0) return 0;
    return std::min(extra + 1, maxStepsPerBatch);
}

int32_t ticksBetween(uint32_t start, uint32_t now) {
    // Unsigned subtraction is exact modulo 2^32; the conversion to int32 is
    // two's complement (guaranteed since C++20).
    return static_cast<int32_t>(now - start);
}

}  // namespace plumfold
