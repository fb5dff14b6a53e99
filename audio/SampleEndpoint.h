// The far side of a wave stream or an alert sound: a sound card stream, a file or nothing,
// moved in small pieces at the real pace of the audio. Used by one thread at a time (the
// stream's pump thread or the alert player's thread).
#pragma once

#include <cstddef>
#include <cstdint>

namespace ostrel::audio {

class ClockedEndpoint;

class SampleEndpoint {
public:
    virtual ~SampleEndpoint() = default;

    // Starts the device or the clock; the pace of `transfer` counts from here.
    virtual void begin() = 0;
    // Capture: fills `bytes` bytes. Playback: takes them. Blocks until the audio's own time
    // has caught up with what has moved, so callers never need to sleep themselves.
    virtual void transfer(uint8_t* data, size_t bytes) = 0;
    // Stops. With `drain`, playback that was already taken is allowed to finish.
    virtual void end(bool drain) = 0;
    // The same endpoint when only a clock keeps its pace (see ClockedEndpoint), else null.
    virtual ClockedEndpoint* clocked() { return nullptr; }
};

}  // namespace ostrel::audio
