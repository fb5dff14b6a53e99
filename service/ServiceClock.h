// The service's notion of "now" in milliseconds. Presence expiry, call and report times read
// it; tests inject their own to step over the 135 s expiry without waiting.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace ostrel::service {

using ServiceClock = std::function<int64_t()>;

// Wall-clock milliseconds since 1970: stored times stay meaningful across restarts.
inline int64_t systemClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace ostrel::service
