// What the engine's owner supplies: a log for the engine's diagnostic texts and a notify
// operation for its events. Both are called from every engine thread (listener, request
// threads, connecting thread, voice threads), so they must be thread-safe and must not block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/Notification.h"

namespace ostrel::engine {

class EngineSink {
public:
    virtual ~EngineSink() = default;

    // A diagnostic text; the product passes it to the trace output.
    virtual void log(std::string_view text) = 0;

    // An event. The receiver owns the parameter; an incoming-call record must be answered
    // through its respond() exactly once.
    virtual void notify(Notification notification) = 0;

    // A 200 ms block of 16-bit PCM the engine sent (direction 0) or played (direction 1); called
    // only while the recording switch is on, from the engine's voice threads.
    virtual bool addBlock(const void* pcm, std::size_t byteCount, uint32_t direction) {
        (void)pcm;
        (void)byteCount;
        (void)direction;
        return true;
    }
};

}  // namespace ostrel::engine
