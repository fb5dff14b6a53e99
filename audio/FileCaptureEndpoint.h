// The capture file as a microphone: its samples one piece at a time at the real pace, then
// silence for as long as the device stays open. Each open capture device reads the file from
// its start with its own endpoint; used by that device's pump thread only.
#pragma once

#include <sndfile.h>

#include <memory>
#include <string>

#include "audio/ClockedEndpoint.h"

namespace ostrel::audio {

class FileCaptureEndpoint final : public ClockedEndpoint {
public:
    // Opens a WAV of 8000 Hz mono 16-bit PCM. Anything else gives nothing and, in
    // `problem`, a message that names the file and the format it must have.
    static std::unique_ptr<FileCaptureEndpoint> open(const std::string& path, std::string& problem);
    ~FileCaptureEndpoint() override;

    FileCaptureEndpoint(const FileCaptureEndpoint&) = delete;
    FileCaptureEndpoint& operator=(const FileCaptureEndpoint&) = delete;

    void begin() override;
    RealTimePacer::Clock::time_point move(uint8_t* data, size_t bytes) override;
    void end(bool drain) override;

private:
    explicit FileCaptureEndpoint(SNDFILE* file);

    SNDFILE* file_;
    bool exhausted_ = false;
    RealTimePacer pacer_;
};

}  // namespace ostrel::audio
