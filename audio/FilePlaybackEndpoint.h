// The playback file as a speaker: what a playback device plays is appended to the shared
// WAV at the real pace, so buffers complete as they would on a sound card. Used by the pump
// thread of one playback device; the writer may be shared with other devices.
#pragma once

#include <memory>

#include "audio/ClockedEndpoint.h"
#include "audio/WavFileWriter.h"

namespace ostrel::audio {

class FilePlaybackEndpoint final : public ClockedEndpoint {
public:
    explicit FilePlaybackEndpoint(std::shared_ptr<WavFileWriter> writer);

    void begin() override;
    RealTimePacer::Clock::time_point move(uint8_t* data, size_t bytes) override;
    void end(bool drain) override;

private:
    std::shared_ptr<WavFileWriter> writer_;
    RealTimePacer pacer_;
};

}  // namespace ostrel::audio
