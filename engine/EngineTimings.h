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
    // Stop: pause after the stop flag is set and again before the voice threads are ended,
    // so that loops in a receive or send see the flag first.
    uint32_t stopPauseMs = 100;
    // The engine tick: digit resends every tick, keep-alive probes every probeTicks ticks,
    // the sweep of silent peers every sweepTicks ticks, dropping peers not heard for
    // silentPeerMs (45 s: four probes missed in a row).
    uint32_t tickMs = 1000;
    uint32_t probeTicks = 10;
    uint32_t sweepTicks = 60;
    uint32_t silentPeerMs = 45001;
    // Play callback: pause before the playback device is opened, so a ring-back alert that
    // is still ending lets go of the sound card.
    uint32_t playOpenDelayMs = 500;
};

}  // namespace ostrel::engine
