// An endpoint with nothing behind it, kept at the real pace: as a source it gives silence,
// as a sink it drops what it is given. Stands in for the microphone or the speaker when only
// one of the two audio files is named, and for alerts when no sound card is used.
#pragma once

#include "audio/ClockedEndpoint.h"
#include "audio/WaveBackend.h"

namespace ostrel::audio {

class DiscardEndpoint final : public ClockedEndpoint {
public:
    DiscardEndpoint(WaveDirection direction, uint32_t sampleRate, uint32_t bytesPerFrame);

    void begin() override;
    RealTimePacer::Clock::time_point move(uint8_t* data, size_t bytes) override;
    void end(bool drain) override;

private:
    WaveDirection direction_;
    uint32_t bytesPerFrame_;
    RealTimePacer pacer_;
};

}  // namespace ostrel::audio
