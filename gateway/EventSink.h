// Where the gateway's lookup host and bridge report what happens: one line of text per event
// (a lookup answered, a call ringing, digits received, a hang-up). Called from the lookup and
// bridge threads at once, so implementations are thread-safe and never block for long.
#pragma once

#include <string_view>

namespace ostrel::gateway {

class EventSink {
public:
    virtual ~EventSink() = default;
    // One complete line, without its line end.
    virtual void event(std::string_view line) = 0;
};

}  // namespace ostrel::gateway
