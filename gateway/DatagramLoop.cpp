#include "gateway/DatagramLoop.h"

#include <algorithm>
#include <array>

#include "gateway/EventText.h"
#include "sync/WaitResult.h"

namespace ostrel::gateway {

using engine::MessageView;
using platform::SocketAddress;
using platform::UdpSocket;

DatagramLoop::DatagramLoop(std::string threadName, EventSink& events, Handlers handlers)
    : threadName_(std::move(threadName)), events_(events), handlers_(std::move(handlers)) {}

DatagramLoop::~DatagramLoop() {
    stop();
}

bool DatagramLoop::start(const SocketAddress& local, int* error) {
    if (thread_ || stop_.load()) {
        return false;
    }
    if (!socket_.bind(local, error)) {
        socket_.close();
        return false;
    }
    const auto bound = socket_.localAddress();
    port_.store(bound ? bound->port : local.port);
    thread_ = std::make_unique<sync::CWorkerThread>([this](void*) { return run(); }, nullptr,
                                                    threadName_);
    if (!thread_->Start(false)) {
        thread_.reset();
        socket_.close();
        return false;
    }
    return true;
}

void DatagramLoop::stop() {
    stop_.store(true);
    if (thread_) {
        thread_->Wait(sync::kInfinite);
        thread_.reset();
    }
    socket_.close();
}

bool DatagramLoop::send(const SocketAddress& to, const engine::SessionMessage& message) {
    return socket_.sendTo(to, message.data(), message.size()) == UdpSocket::Result::Ok;
}

uint32_t DatagramLoop::run() {
    std::array<uint8_t, engine::kReceiveBufferSize> buffer{};
    while (!stop_.load()) {
        const uint32_t wait =
            handlers_.waitMs ? std::min(handlers_.waitMs(), kMaxWaitMs) : kMaxWaitMs;
        const auto received = socket_.receive(buffer.data(), buffer.size(), wait);
        if (received.result == UdpSocket::Result::Ok ||
            received.result == UdpSocket::Result::Truncated) {
            handle(buffer.data(), received);
        } else if (received.result == UdpSocket::Result::Closed ||
                   received.result == UdpSocket::Result::Failed) {
            events_.event(threadName_ + ": receive failed, error " +
                          std::to_string(received.error));
            break;
        }
        // Refused (a peer's port closed after our last send) and EINTR need nothing.
        if (handlers_.afterWait) {
            handlers_.afterWait();
        }
    }
    if (handlers_.atEnd) {
        handlers_.atEnd();
    }
    return 0;
}

void DatagramLoop::handle(const uint8_t* data, const UdpSocket::Received& received) {
    if (received.result == UdpSocket::Result::Truncated) {
        events_.event("dropped datagram from " + received.from.text() + ": longer than " +
                      std::to_string(engine::kReceiveBufferSize) + " bytes");
        return;
    }
    MessageView::Error error = MessageView::Error::None;
    const auto message = MessageView::read(data, received.size, &error);
    if (!message) {
        events_.event("dropped datagram from " + received.from.text() + ": " +
                      std::string(rejectionReason(error)));
        return;
    }
    if (handlers_.message) {
        handlers_.message(*message, received.from);
    }
}

}  // namespace ostrel::gateway
