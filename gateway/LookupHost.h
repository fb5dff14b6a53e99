// The gateway's lookup host: one UDP port where clients ask which gateway to use (code 23)
// and get a reply naming the bridge (code 24), or nothing at all when told to stay silent.
// The owner starts and stops it; a thread of its own receives and answers.
#pragma once

#include <cstdint>
#include <string>

#include "gateway/DatagramLoop.h"
#include "gateway/EventSink.h"

namespace ostrel::gateway {

class LookupHost {
public:
    // The reply's host field holds 128 bytes with its NUL.
    static constexpr size_t kMaxHostLength = 127;

    // `gatewayHost` and `gatewayPort` are what every reply names (a longer host is cut to
    // kMaxHostLength); with `silent` no request is answered.
    LookupHost(std::string gatewayHost, uint16_t gatewayPort, bool silent, EventSink& events);

    // Binds `local` (port 0: a free one) and starts the thread. On failure `error` gets errno.
    bool start(const platform::SocketAddress& local, int* error = nullptr) {
        return loop_.start(local, error);
    }
    void stop() { loop_.stop(); }
    uint16_t port() const { return loop_.port(); }

private:
    DatagramLoop::Handlers handlers();
    void answer(const engine::MessageView& message, const platform::SocketAddress& from);

    const std::string gatewayHost_;
    const uint16_t gatewayPort_;
    const bool silent_;
    EventSink& events_;
    DatagramLoop loop_;  // last: its thread uses the members above
};

}  // namespace ostrel::gateway
