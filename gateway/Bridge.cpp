#include "gateway/Bridge.h"

#include <algorithm>

#include "platform/Platform.h"

namespace ostrel::gateway {

using engine::MessageView;
using platform::SocketAddress;

namespace {

BridgeSettings withIdentity(BridgeSettings settings) {
    if (settings.identity.empty()) {
        settings.identity = platform::newGuidText();
    }
    return settings;
}

}  // namespace

Bridge::Bridge(BridgeSettings settings, EventSink& events)
    : settings_(withIdentity(std::move(settings))),
      events_(events),
      loop_(
          "Gateway bridge", events,
          {.message = [this](const MessageView& m, const SocketAddress& from) { handle(m, from); },
           .waitMs = [this] { return waitMs(); },
           .afterWait = [this] { advanceCalls(); },
           .atEnd = [this] { endCalls(); }}) {}

void Bridge::handle(const MessageView& message, const SocketAddress& from) {
    const uint32_t now = platform::tickCount();
    // Probes are answered to anyone, as a listening port does: the answer is no larger than
    // the probe, so a forged sender gains nothing from it.
    if (message.code() == engine::MSG_R_U_THERE) {
        send(from, engine::buildProbeAnswer(message));
    }
    auto found = calls_.find(keyOf(from));
    if (found != calls_.end() && found->second->isOver()) {
        // A caller that hung up may call again at once from the same port.
        calls_.erase(found);
        found = calls_.end();
    }
    if (found != calls_.end()) {
        found->second->receive(message, now);
    } else if (message.code() == engine::MSG_CONNECT_REQUEST) {
        answerConnect(message, from, now);
    }
}

void Bridge::answerConnect(const MessageView& message, const SocketAddress& from, uint32_t now) {
    if (calls_.size() >= settings_.maxCalls) {
        event("busy " + from.text() + ": " + std::to_string(calls_.size()) + " calls in progress");
        send(from, engine::buildEmpty(engine::MSG_BUSY));
        return;
    }
    CallOutput& output = *this;
    calls_.emplace(keyOf(from),
                   std::make_unique<BridgeCall>(from, engine::readConnectRequest(message),
                                                settings_, output, now));
    callCount_.store(calls_.size());
}

void Bridge::advanceCalls() {
    const uint32_t now = platform::tickCount();
    for (auto it = calls_.begin(); it != calls_.end();) {
        it->second->advance(now);
        it = it->second->isOver() ? calls_.erase(it) : std::next(it);
    }
    callCount_.store(calls_.size());
}

uint32_t Bridge::waitMs() const {
    const uint32_t now = platform::tickCount();
    uint32_t wait = DatagramLoop::kMaxWaitMs;
    for (const auto& [key, call] : calls_) {
        wait = std::min(wait, call->msUntilDue(now));
    }
    return wait;
}

void Bridge::endCalls() {
    for (auto& [key, call] : calls_) {
        call->end("gateway stopping");
    }
    calls_.clear();
    callCount_.store(0);
}

}  // namespace ostrel::gateway
