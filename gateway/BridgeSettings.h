// What the gateway's bridge is told at start: how it answers calls (ring time, accept or
// reject, its user name), what voice it sends back, and its timing constants. Filled by the
// option parser or a test before the bridge starts; read-only while it runs.
#pragma once

#include <cstdint>
#include <string>

namespace ostrel::gateway {

enum class VoiceMode {
    Tone,  // a steady sine tone
    Echo,  // the caller's own voice, decoded and coded again
};

struct BridgeSettings {
    std::string userName = "gateway";
    // Identity text sent in the accept; empty: a fresh GUID per bridge.
    std::string identity;
    bool reject = false;
    VoiceMode voice = VoiceMode::Tone;
    uint32_t toneHz = 440;

    // A telephone rings for a moment before it is picked up.
    uint32_t ringMs = 1000;
    // The accept (or ring-stopped) goes out 5 times, 20 ms apart, since UDP may lose one.
    uint32_t answerRepeats = 5;
    uint32_t answerGapMs = 20;
    // One 1600-sample block is 200 ms of speech.
    uint32_t voiceIntervalMs = 200;
    // Callers probe every 10 s, so a minute without a datagram means the caller is gone.
    uint32_t silenceLimitMs = 60000;
    // Each call holds two codec states and a queue; beyond this many, callers hear busy.
    uint32_t maxCalls = 64;
};

}  // namespace ostrel::gateway
