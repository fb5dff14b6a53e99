// The gateway's bridge: one UDP port speaking the session protocol to callers, with one call
// state per caller address. The owner starts and stops it; a thread of its own receives,
// answers and keeps every call's timers, so call state needs no lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "gateway/BridgeCall.h"
#include "gateway/BridgeSettings.h"
#include "gateway/CallOutput.h"
#include "gateway/DatagramLoop.h"
#include "gateway/EventSink.h"

namespace ostrel::gateway {

class Bridge final : private CallOutput {
public:
    Bridge(BridgeSettings settings, EventSink& events);
    ~Bridge() override { stop(); }

    // Binds `local` (port 0: a free one) and starts the thread. On failure `error` gets errno.
    bool start(const platform::SocketAddress& local, int* error = nullptr) {
        return loop_.start(local, error);
    }
    // Ends every call (telling the callers) and the thread. Safe to call twice.
    void stop() { loop_.stop(); }

    // The bound port, 0 before start.
    uint16_t port() const { return loop_.port(); }
    // Calls in progress, for observers on other threads.
    size_t callCount() const { return callCount_.load(); }

private:
    void handle(const engine::MessageView& message, const platform::SocketAddress& from);
    void answerConnect(const engine::MessageView& message, const platform::SocketAddress& from,
                       uint32_t now);
    void advanceCalls();
    uint32_t waitMs() const;
    void endCalls();

    void send(const platform::SocketAddress& to, const engine::SessionMessage& message) override {
        // Not retried: callers resend what matters, and the silence limit ends a call whose
        // caller cannot be reached.
        (void)loop_.send(to, message);
    }
    void event(std::string_view line) override { events_.event(line); }

    static uint64_t keyOf(const platform::SocketAddress& a) {
        return static_cast<uint64_t>(a.ip) << 16 | a.port;
    }

    BridgeSettings settings_;
    EventSink& events_;
    std::atomic<size_t> callCount_{0};
    // The loop's thread only: the calls by caller address and port.
    std::unordered_map<uint64_t, std::unique_ptr<BridgeCall>> calls_;
    DatagramLoop loop_;  // last: its thread uses the members above
};

}  // namespace ostrel::gateway
