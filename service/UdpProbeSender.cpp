#include "service/UdpProbeSender.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace ostrel::service {

std::optional<in_addr> UdpProbeSender::resolve(const std::string& host) {
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
            return std::nullopt;
        }
        address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        freeaddrinfo(found);
    }
    const uint32_t value = ntohl(address.s_addr);
    const uint32_t firstByte = value >> 24;
    if (firstByte == 0 || firstByte >= 224) {
        return std::nullopt;
    }
    return address;
}

std::string UdpProbeSender::dotted(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

bool UdpProbeSender::send(in_addr address, uint16_t port, std::string_view payload, int count,
                          int gapMs, std::string& error) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot create a UDP socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr = address;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        if (i > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        }
        const ssize_t sent = sendto(fd, payload.data(), payload.size(), 0,
                                    reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent != static_cast<ssize_t>(payload.size())) {
            error = std::string("cannot send the test packets: ") + std::strerror(errno);
            ok = false;
        }
    }
    close(fd);
    return ok;
}

}  // namespace ostrel::service
