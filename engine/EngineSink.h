// What the engine's owner supplies: a log for the engine's diagnostic texts and a notify
// operation for its events. Both are called from every engine thread (listener, request
// threads, connecting thread, voice threads), so they must be thread-safe and must not block.
#pragma once

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
};

}  // namespace ostrel::engine
