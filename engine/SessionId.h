// The identity of a VoiceSession as the engine's callers see it: a number that is never
// reused in the process, so a notification about a session that is gone matches nothing new.
// Plain value type.
#pragma once

#include <cstdint>

namespace ostrel::engine {

struct SessionId {
    uint64_t value = 0;  // 0: no session

    explicit operator bool() const { return value != 0; }
    friend bool operator==(const SessionId&, const SessionId&) = default;
};

}  // namespace ostrel::engine
