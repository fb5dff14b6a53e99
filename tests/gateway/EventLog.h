// An EventSink for tests: keeps every event line and lets a test wait for one that contains a
// given text. The gateway's threads write; the test thread reads and waits.
#pragma once

#include <string_view>

#include "gateway/EventSink.h"
#include "tests/support/LineLog.h"

namespace gatewaytest {

class EventLog : public ostrel::gateway::EventSink, public ostrel::test::LineLog {
public:
    void event(std::string_view line) override { add(line); }
};

}  // namespace gatewaytest
