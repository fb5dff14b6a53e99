// An IPv4 endpoint (address and port) as the UDP layer sees it on the wire, with its
// "a.b.c.d:port" text and name resolution (dotted form first, then a host-name lookup).
// Plain value type; the resolver may be called from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sockaddr_in;

namespace ostrel::platform {

struct SocketAddress {
    static constexpr uint32_t kAny = 0;
    static constexpr uint32_t kLoopback = 0x7F000001;  // 127.0.0.1

    uint32_t ip = kAny;  // host byte order
    uint16_t port = 0;

    static SocketAddress loopback(uint16_t port) { return {kLoopback, port}; }
    static SocketAddress fromSockaddr(const sockaddr_in& native);
    void toSockaddr(sockaddr_in& native) const;

    // Exactly 127.0.0.1, the address our own local sockets are bound to.
    bool isLoopback() const { return ip == kLoopback; }

    std::string addressText() const;  // "a.b.c.d"
    std::string text() const;         // "a.b.c.d:port"

    friend bool operator==(const SocketAddress&, const SocketAddress&) = default;
};

// The IPv4 address of `host`: a dotted address as inet_aton reads it, else the first IPv4
// address of a host-name lookup. Nothing when neither works.
std::optional<uint32_t> resolveIpv4(std::string_view host);

}  // namespace ostrel::platform
