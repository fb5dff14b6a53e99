// The engine's waits and pauses in one record. The product uses the defaults; tests pass
// shorter ones so that a nine-second silence limit does not cost nine seconds every time.
// Read-only after the engine is constructed.
#pragma once

#include <cstdint>

namespace ostrel::engine {

struct EngineTimings {
    // Listener: one receive wait; Stop is noticed within it.
    uint32_t listenerWaitMs = 1000;
    // Pause after a failed receive or send, so a persistent error does not spin the thread.
    uint32_t errorPauseMs = 5;
    // The accept or ring-stopped answer is sent 5 times, 20 ms apart, as UDP may lose one.
    uint32_t answerRepeatGapMs = 20;
    // Caller: one wait for the callee's answer; 3 silent waits in a row end an attempt.
    uint32_t handshakeWaitMs = 3000;
    // Caller: pause after a busy answer before waiting on.
    uint32_t busyPauseMs = 1000;
    // Stop: pause between scans for incoming-request threads that have not ended yet.
    uint32_t requestThreadPollMs = 20;
};

}  // namespace ostrel::engine
