// The program's event output: every line goes to one stream and is flushed at once, so a
// script reading the gateway's output through a pipe sees each event as it happens.
// Any thread may write; a lock keeps lines from the lookup and bridge threads whole.
#pragma once

#include <iosfwd>
#include <mutex>

#include "gateway/EventSink.h"

namespace ostrel::gateway {

class StreamEventSink final : public EventSink {
public:
    explicit StreamEventSink(std::ostream& out) : out_(out) {}
    void event(std::string_view line) override;

private:
    std::mutex lock_;  // guards out_: one line at a time
    std::ostream& out_;
};

}  // namespace ostrel::gateway
