// What a bridge call needs from its bridge: a way to send a message to its caller from the
// bridge's port, and the event lines. The bridge implements it; calls use it on the bridge
// thread only.
#pragma once

#include <string_view>

#include "engine/SessionMessage.h"
#include "platform/SocketAddress.h"

namespace ostrel::gateway {

class CallOutput {
public:
    virtual ~CallOutput() = default;
    virtual void send(const platform::SocketAddress& to, const engine::SessionMessage& message) = 0;
    virtual void event(std::string_view line) = 0;
};

}  // namespace ostrel::gateway
