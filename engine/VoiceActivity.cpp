#include "engine/VoiceActivity.h"

namespace ostrel::engine {

bool blockHasSpeech(const int16_t* samples, size_t count, uint32_t threshold) {
    const int32_t level = static_cast<int32_t>(threshold * kThresholdScale);
    const size_t limit = count / 5;  // 320 of 1600
    size_t loud = 0;
    for (size_t i = kSkippedSamples; i < count; ++i) {
        const int32_t s = samples[i];
        if (s > level || s < -level) {
            if (++loud > limit) {
                return true;
            }
        }
    }
    return false;
}

bool SilenceGate::admit(bool speech) {
    if (speech) {
        silenceRun_ = 0;
    }
    const bool send = speech || silenceRun_ < hangOver_;
    if (!speech && silenceRun_ < hangOver_) {
        ++silenceRun_;
    }
    return send;
}

}  // namespace ostrel::engine
