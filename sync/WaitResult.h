#pragma once

#include <cstdint>

namespace ostrel::sync {

// Time-out value meaning "wait without limit".
inline constexpr unsigned long kInfinite = 0xFFFFFFFFul;

// Outcome of a wait on a thread or a guard.
enum class WaitResult {
    Signaled,  // the object was taken or the thread ended
    TimedOut,
    Failed,  // nothing to wait on
};

}  // namespace ostrel::sync
