#include "audio/DiscardEndpoint.h"

#include <algorithm>
#include <cstring>

namespace ostrel::audio {

DiscardEndpoint::DiscardEndpoint(WaveDirection direction, uint32_t sampleRate,
                                 uint32_t bytesPerFrame)
    : direction_(direction),
      bytesPerFrame_(std::max<uint32_t>(bytesPerFrame, 1)),
      pacer_(sampleRate, direction == WaveDirection::Capture ? RealTimePacer::Mode::CatchUp
                                                             : RealTimePacer::Mode::Restart) {}

void DiscardEndpoint::begin() {
    pacer_.start();
}

RealTimePacer::Clock::time_point DiscardEndpoint::move(uint8_t* data, size_t bytes) {
    if (direction_ == WaveDirection::Capture) {
        std::memset(data, 0, bytes);
    }
    return pacer_.due(bytes / bytesPerFrame_);
}

void DiscardEndpoint::end(bool) {}

}  // namespace ostrel::audio
