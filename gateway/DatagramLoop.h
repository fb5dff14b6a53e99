// A UDP port with a receive thread of its own, shared by the lookup host and the bridge: every
// datagram goes through the checked reader, and one that is too long or malformed is dropped
// with an event line. The owner starts and stops it; the handlers run on the loop's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/SessionMessage.h"
#include "gateway/EventSink.h"
#include "platform/UdpSocket.h"
#include "sync/CWorkerThread.h"

namespace ostrel::gateway {

class DatagramLoop {
public:
    // The longest wait for a datagram; Stop is noticed within it.
    static constexpr uint32_t kMaxWaitMs = 50;

    struct Handlers {
        // A checked message and its sender.
        std::function<void(const engine::MessageView&, const platform::SocketAddress&)> message;
        // How long the next wait may last (capped at kMaxWaitMs); empty: kMaxWaitMs.
        std::function<uint32_t()> waitMs;
        // After every wait, whether a datagram came or not.
        std::function<void()> afterWait;
        // Last thing on the thread, before it ends.
        std::function<void()> atEnd;
    };

    DatagramLoop(std::string threadName, EventSink& events, Handlers handlers);
    ~DatagramLoop();
    DatagramLoop(const DatagramLoop&) = delete;
    DatagramLoop& operator=(const DatagramLoop&) = delete;

    // Binds `local` (port 0: a free one) and starts the thread. On failure `error` gets errno.
    bool start(const platform::SocketAddress& local, int* error = nullptr);
    // Ends the thread (after its atEnd handler) and closes the port. Safe to call twice.
    void stop();

    // The bound port, 0 before start.
    uint16_t port() const { return port_.load(); }
    // Sends from the loop's port; any thread.
    bool send(const platform::SocketAddress& to, const engine::SessionMessage& message);

private:
    uint32_t run();
    void handle(const uint8_t* data, const platform::UdpSocket::Received& received);

    const std::string threadName_;
    EventSink& events_;
    const Handlers handlers_;
    platform::UdpSocket socket_;
    std::atomic<uint16_t> port_{0};
    std::atomic<bool> stop_{false};
    std::unique_ptr<sync::CWorkerThread> thread_;
};

}  // namespace ostrel::gateway
