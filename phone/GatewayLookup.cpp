#include "phone/GatewayLookup.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/SessionMessage.h"
#include "platform/Platform.h"
#include "platform/UdpSocket.h"

namespace ostrel::phone {

namespace {

constexpr size_t kReplyNameOffset = 1;
constexpr size_t kReplyNameWidth = 128;
constexpr size_t kReplyPortOffset = 129;

// Replies are 144 bytes; a larger buffer lets an oversized datagram be seen whole and refused
// for its length instead of being cut to a plausible reply.
constexpr size_t kLookupBufferSize = 1024;

enum class HostOutcome { Answered, NoAnswer, Cancelled };

bool cancelled(const GatewayLookupRequest& request) {
    return request.cancel.load() != 0;
}

HostOutcome askHost(GatewayLookupRequest& request, const platform::SocketAddress& host,
                    const GatewayLookupTimings& timings, GatewayAddress& found) {
    platform::UdpSocket socket;
    if (!socket.bind(platform::SocketAddress{platform::SocketAddress::kAny, 0})) {
        return HostOutcome::NoAnswer;
    }
    const engine::SessionMessage lookup = engine::buildGatewayLookup();
    std::array<uint8_t, kLookupBufferSize> buffer{};
    for (uint32_t attempt = 0; attempt < timings.attempts; ++attempt) {
        if (cancelled(request)) {
            return HostOutcome::Cancelled;
        }
        socket.sendTo(host, lookup.data(), lookup.size());
        const uint32_t start = platform::tickCount();
        for (;;) {
            if (cancelled(request)) {
                return HostOutcome::Cancelled;
            }
            const uint32_t elapsed = platform::tickCount() - start;
            if (elapsed >= timings.replyWaitMs) {
                break;
            }
            const uint32_t slice = std::min(timings.replyWaitMs - elapsed,
                                            std::max<uint32_t>(timings.cancelCheckMs, 1));
            const auto received = socket.receive(buffer.data(), buffer.size(), slice);
            if (received.result != platform::UdpSocket::Result::Ok || received.from != host) {
                // A refusal from an earlier send, a stranger's datagram, or nothing yet: the
                // wait for this attempt goes on until its time is up.
                continue;
            }
            if (auto reply = readGatewayLookupReply(buffer.data(), received.size)) {
                if (cancelled(request)) {
                    return HostOutcome::Cancelled;
                }
                found = std::move(*reply);
                return HostOutcome::Answered;
            }
        }
    }
    return HostOutcome::NoAnswer;
}

}  // namespace

std::optional<GatewayAddress> readGatewayLookupReply(const uint8_t* data, size_t size) {
    const auto message = engine::MessageView::read(data, size);
    if (!message || message->code() != engine::MSG_GATEWAY_LOOKUP_REPLY ||
        message->payloadLength() != engine::kGatewayLookupReplySize) {
        return std::nullopt;
    }
    const auto payload = message->payload();
    const auto* name = reinterpret_cast<const char*>(payload.data() + kReplyNameOffset);
    const void* nul = std::memchr(name, '\0', kReplyNameWidth);
    if (nul == nullptr || nul == name) {
        return std::nullopt;
    }
    GatewayAddress address;
    address.host.assign(name, static_cast<const char*>(nul));
    address.port = message->u16(kReplyPortOffset);
    if (address.port == 0) {
        return std::nullopt;
    }
    return address;
}

bool lookupGateway(GatewayLookupRequest& request, GatewayLookupObserver* observer,
                   const GatewayLookupTimings& timings) {
    request.result.store(0);
    for (const auto& host : request.provider.gatewayHosts) {
        if (cancelled(request)) {
            return false;
        }
        const auto ip = platform::resolveIpv4(host.name);
        if (!ip) {
            if (observer != nullptr) {
                observer->hostUnresolved(host.name);
            }
            continue;
        }
        if (host.port == 0 || host.port > 0xFFFF) {
            continue;
        }
        GatewayAddress found;
        const auto outcome =
            askHost(request, platform::SocketAddress{*ip, static_cast<uint16_t>(host.port)},
                    timings, found);
        if (outcome == HostOutcome::Cancelled) {
            return false;
        }
        if (outcome == HostOutcome::Answered) {
            request.gatewayAddress = std::move(found.host);
            request.gatewayPort = found.port;
            request.result.store(1);
            return true;
        }
    }
    return false;
}

}  // namespace ostrel::phone
