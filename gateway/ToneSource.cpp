#include "gateway/ToneSource.h"

#include <cmath>
#include <numbers>

namespace ostrel::gateway {

void ToneSource::next(VoiceBlock& block) {
    const double step = 2.0 * std::numbers::pi * hz_ / kSampleRate;
    // The phase is taken modulo one period of the sample clock so it never loses precision.
    const uint64_t period = static_cast<uint64_t>(kSampleRate);
    for (int16_t& sample : block) {
        const double phase = step * static_cast<double>(sampleIndex_ % period);
        sample = static_cast<int16_t>(std::lround(kAmplitude * std::sin(phase)));
        ++sampleIndex_;
    }
}

}  // namespace ostrel::gateway
