#include "gateway/LookupHost.h"

#include "engine/SessionMessage.h"
#include "gateway/EventText.h"

namespace ostrel::gateway {

using platform::SocketAddress;

LookupHost::LookupHost(std::string gatewayHost, uint16_t gatewayPort, bool silent,
                       EventSink& events)
    : gatewayHost_(gatewayHost.substr(0, kMaxHostLength)),
      gatewayPort_(gatewayPort),
      silent_(silent),
      events_(events),
      loop_("Gateway lookup host", events, handlers()) {}

DatagramLoop::Handlers LookupHost::handlers() {
    DatagramLoop::Handlers h;
    h.message = [this](const engine::MessageView& m, const SocketAddress& from) {
        answer(m, from);
    };
    return h;
}

void LookupHost::answer(const engine::MessageView& message, const SocketAddress& from) {
    if (message.code() != engine::MSG_GATEWAY_LOOKUP) {
        return;  // unknown codes get no answer
    }
    if (silent_) {
        events_.event("lookup from " + from.text() + " unanswered (silent)");
        return;
    }
    loop_.send(from, engine::buildGatewayLookupReply(gatewayHost_, gatewayPort_));
    events_.event("lookup from " + from.text() + " answered " + printable(gatewayHost_) + ":" +
                  std::to_string(gatewayPort_));
}

}  // namespace ostrel::gateway
