#include "body/state_hash.h"

#include <cstring>

namespace plumfold {

uint64_t stateChecksum(const PressureBody& body) {
    uint64_t hash = 0xcbf29ce484222325ull;
    auto feed = [&hash](float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        for (int byte = 0; byte < 4; ++byte) {
            hash ^= (bits >> (8 * byte)) & 0xffu;
            hash *= 0x100000001b3ull;
        }
    };
    for (const MassPoint& point : body.points) {
        feed(point.position.x);
        feed(point.position.y);
        feed(point.position.z);
        feed(point.velocity.x);
        feed(point.velocity.y);
        feed(point.velocity.z);
    }
    return hash;
}

}  // namespace plumfold
