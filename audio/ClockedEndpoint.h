// An endpoint with no device behind it (a file, silence, a dropped alert), held to the real
// pace by a clock alone. Such an endpoint can move any amount at once and say when that audio
// is due, so its caller may wait for the time itself, in long waits it can cut short.
#pragma once

#include <thread>

#include "audio/RealTimePacer.h"
#include "audio/SampleEndpoint.h"

namespace ostrel::audio {

class ClockedEndpoint : public SampleEndpoint {
public:
    // What transfer does, without the wait: returns when the audio moved so far is due.
    virtual RealTimePacer::Clock::time_point move(uint8_t* data, size_t bytes) = 0;

    void transfer(uint8_t* data, size_t bytes) final {
        std::this_thread::sleep_until(move(data, bytes));
    }
    ClockedEndpoint* clocked() final { return this; }
};

}  // namespace ostrel::audio
