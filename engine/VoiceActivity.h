// Silence suppression on captured blocks: a block carries speech when more than a fifth of its
// samples, after the first 25 ms, swing beyond the threshold. Pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ostrel::engine {

// The engine's threshold setting is scaled by 128 into a sample amplitude (20 -> 2560).
inline constexpr uint32_t kVoiceThreshold = 20;
inline constexpr uint32_t kThresholdScale = 128;
// Blocks still sent after speech ends: 10 blocks are 2 s, enough to keep word endings.
inline constexpr uint32_t kHangOverBlocks = 10;
// The first 200 samples often carry the click of a buffer switch, so they are not examined.
inline constexpr size_t kSkippedSamples = 200;

bool blockHasSpeech(const int16_t* samples, size_t count, uint32_t threshold = kVoiceThreshold);

// Decides per captured block whether it goes out: speech, and up to the hang-over count of
// silent blocks after it. One per record-send thread.
class SilenceGate {
public:
    explicit SilenceGate(uint32_t hangOver = kHangOverBlocks) : hangOver_(hangOver) {}
    // True when the block is to be sent.
    bool admit(bool speech);
    uint32_t silenceRun() const { return silenceRun_; }

private:
    uint32_t hangOver_;
    uint32_t silenceRun_ = 0;
};

}  // namespace ostrel::engine
