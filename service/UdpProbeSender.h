// Sends the reachability test's UDP datagrams with a plain POSIX socket. Called on the HTTP
// worker thread that handles the test request; each call uses a socket of its own.
#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>
#include <string_view>

namespace ostrel::service {

class UdpProbeSender {
public:
    // A dotted IPv4 address or a host name resolved to its first IPv4 address. Addresses no
    // client can listen on (0.0.0.0/8, multicast, reserved, broadcast) give nothing.
    static std::optional<in_addr> resolve(const std::string& host);

    static std::string dotted(in_addr address);

    // Sends `count` datagrams carrying `payload` to address:port, `gapMs` apart so that one
    // dropped burst does not lose them all. False with a reason when a send fails.
    static bool send(in_addr address, uint16_t port, std::string_view payload, int count, int gapMs,
                     std::string& error);
};

}  // namespace ostrel::service
