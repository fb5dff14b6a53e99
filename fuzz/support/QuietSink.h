// An engine sink for the fuzz targets: discards the log, and refuses every incoming call at
// once, as a user would who never takes calls from strangers.
#pragma once

#include <variant>

#include "engine/EngineSink.h"

namespace ostrel::fuzz {

class QuietSink : public engine::EngineSink {
public:
    void log(std::string_view) override {}
    void notify(engine::Notification n) override {
        if (auto* const* question = std::get_if<engine::IncomingCallRequest*>(&n.parameter)) {
            (*question)->respond(engine::IncomingCallRequest::kReject);
        }
    }
};

}  // namespace ostrel::fuzz
