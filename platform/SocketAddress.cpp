#include "platform/SocketAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>

namespace ostrel::platform {

SocketAddress SocketAddress::fromSockaddr(const sockaddr_in& native) {
    return {ntohl(native.sin_addr.s_addr), ntohs(native.sin_port)};
}

void SocketAddress::toSockaddr(sockaddr_in& native) const {
    std::memset(&native, 0, sizeof native);
    native.sin_family = AF_INET;
    native.sin_addr.s_addr = htonl(ip);
    native.sin_port = htons(port);
}

std::string SocketAddress::addressText() const {
    return std::to_string(ip >> 24) + '.' + std::to_string((ip >> 16) & 0xFF) + '.' +
           std::to_string((ip >> 8) & 0xFF) + '.' + std::to_string(ip & 0xFF);
}

std::string SocketAddress::text() const {
    return addressText() + ':' + std::to_string(port);
}

std::optional<uint32_t> resolveIpv4(std::string_view host) {
    if (host.empty()) {
        return std::nullopt;
    }
    const std::string name(host);
    in_addr dotted{};
    if (inet_aton(name.c_str(), &dotted) != 0) {
        return ntohl(dotted.s_addr);
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    std::optional<uint32_t> ip;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr != nullptr) {
            ip = ntohl(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
            break;
        }
    }
    freeaddrinfo(found);
    return ip;
}

}  // namespace ostrel::platform
