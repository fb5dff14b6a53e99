// Telephone calls: the gateway lookup. The provider's lookup hosts are asked in turn, over
// UDP in the session message frame, which telephone gateway takes the call. The lookup runs
// on its own thread ("Resolve telephone gateway..."); the window thread may set the cancel
// flag meanwhile and reads the results once that thread has ended.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "phone/CallingCards.h"
#include "platform/SocketAddress.h"

namespace ostrel::phone {

struct GatewayLookupRequest {
    std::atomic<uint32_t> result{0};
    Provider provider;
    // Written by the lookup thread; read only after it has ended.
    std::string gatewayAddress;
    uint32_t gatewayPort = 0;
    std::atomic<uint32_t> cancel{0};
};

// How long the lookup waits. The product asks each host 3 times and waits 3 s for each
// answer; the cancel flag is looked at every `cancelCheckMs` within a wait, so a cancel is
// seen within that time rather than at the end of the 3 s.
struct GatewayLookupTimings {
    uint32_t attempts = 3;
    uint32_t replyWaitMs = 3000;
    uint32_t cancelCheckMs = 20;
};

// What the lookup reports while it runs, from its own thread.
class GatewayLookupObserver {
public:
    virtual ~GatewayLookupObserver() = default;
    // The host name did not resolve to an IPv4 address; the next host is asked.
    virtual void hostUnresolved(const std::string& hostName) = 0;
};

inline constexpr const char* kLookupThreadName = "Resolve telephone gateway...";
inline constexpr const char* kResolvingText = "Resolving telephone gateway....";
inline constexpr const char* kCancellingText = "Cancelling.. Please Wait";
inline constexpr const char* kHostUnresolvedText =
    "The IP address of the lookup host cannot be resolved";

struct GatewayAddress {
    std::string host;
    uint16_t port = 0;
};

// Reads a lookup reply: the signature, code 24 and exactly the 131-byte payload, a gateway
// name ended by NUL within its 128-byte field and not empty, and a port other than 0 (read
// as unsigned 16-bit, so ports above 32767 stay what they are). Anything else gives nothing.
std::optional<GatewayAddress> readGatewayLookupReply(const uint8_t* data, size_t size);

// `lookupGateway`: asks the provider's hosts in order until one answers or the cancel flag is
// set. Only a valid reply from the asked host's own address and port counts; any other
// datagram is ignored and the wait goes on. On success sets result 1 and the gateway fields
// and returns true. A host whose port is not a UDP port (0 or above 65535) is skipped.
bool lookupGateway(GatewayLookupRequest& request, GatewayLookupObserver* observer = nullptr,
                   const GatewayLookupTimings& timings = {});

}  // namespace ostrel::phone
