// Test-side view of the wire: raw POSIX UDP peers and datagrams written and read at the byte
// offsets of the message layouts, independent of the engine's own builders and readers.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace wire {

constexpr size_t kHeader = 13;

inline std::vector<uint8_t> frame(uint8_t code, std::vector<uint8_t> payload = {}) {
    std::vector<uint8_t> d(kHeader + payload.size(), 0);
    d[0] = 'Q';
    d[1] = 'V';
    d[2] = 'X';
    d[3] = 0;
    d[4] = code;
    const auto n = static_cast<uint32_t>(payload.size());
    for (int i = 0; i < 4; ++i) {
        d[9 + i] = static_cast<uint8_t>(n >> (8 * i));
    }
    d.resize(kHeader);
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

inline void putU32(std::vector<uint8_t>& p, size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p.at(offset + i) = static_cast<uint8_t>(v >> (8 * i));
    }
}

inline void putText(std::vector<uint8_t>& p, size_t offset, const std::string& text) {
    std::memcpy(p.data() + offset, text.data(), text.size());
}

inline uint32_t u32(const std::vector<uint8_t>& d, size_t offset) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v |= static_cast<uint32_t>(d.at(offset + i)) << (8 * i);
    }
    return v;
}

// Text of a NUL-terminated field starting at `offset` of the datagram.
inline std::string text(const std::vector<uint8_t>& d, size_t offset, size_t width) {
    std::string s;
    for (size_t i = 0; i < width && d.at(offset + i) != 0; ++i) {
        s.push_back(static_cast<char>(d[offset + i]));
    }
    return s;
}

inline bool allZero(const std::vector<uint8_t>& d, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        if (d.at(i) != 0) {
            return false;
        }
    }
    return true;
}

struct ConnectRequestFields {
    std::string userName = "carol";
    uint32_t version = 6;
    std::string identity = "0f0e0d0c-0000-4000-8000-00000000cafe";
    std::string conferenceGuid;
    std::string confirmUser;
};

// A 400-byte connect request payload as the caller's layout puts it.
inline std::vector<uint8_t> connectRequest(const ConnectRequestFields& f) {
    std::vector<uint8_t> p(400, 0);
    putText(p, 0, f.userName);
    putU32(p, 64, f.version);
    putText(p, 80, f.identity);
    putText(p, 144, f.conferenceGuid);
    putText(p, 208, f.confirmUser);
    return frame(1, p);
}

inline std::vector<uint8_t> connectAccept(const std::string& name, uint32_t version,
                                          const std::string& identity, const std::string& guid) {
    std::vector<uint8_t> p(400, 0);
    putText(p, 0, name);
    putU32(p, 64, version);
    putText(p, 80, identity);
    putText(p, 144, guid);
    return frame(2, p);
}

inline std::vector<uint8_t> probe(uint8_t code, uint32_t tick, uint32_t cookie,
                                  uint32_t reserved = 0) {
    std::vector<uint8_t> p(12, 0);
    putU32(p, 0, tick);
    putU32(p, 4, cookie);
    putU32(p, 8, reserved);
    return frame(code, p);
}

struct Packet {
    std::vector<uint8_t> bytes;
    std::string fromIp;
    uint16_t fromPort = 0;

    uint8_t code() const { return bytes.size() > 4 ? bytes[4] : 0; }
    uint32_t payloadLength() const { return u32(bytes, 9); }
};

// A UDP socket of the test, bound to `ip` with a system-chosen port.
class RawPeer {
public:
    explicit RawPeer(const char* ip = "127.0.0.1") {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, ip, &a.sin_addr);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            throw std::runtime_error("cannot bind test peer");
        }
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~RawPeer() { ::close(fd_); }
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    uint16_t port() const { return port_; }

    void sendTo(uint16_t port, const std::vector<uint8_t>& bytes, const char* ip = "127.0.0.1") {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        inet_pton(AF_INET, ip, &a.sin_addr);
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }

    std::optional<Packet> receive(int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) {
            return std::nullopt;
        }
        Packet packet;
        packet.bytes.resize(65536);
        sockaddr_in a{};
        socklen_t len = sizeof a;
        const ssize_t n = ::recvfrom(fd_, packet.bytes.data(), packet.bytes.size(), 0,
                                     reinterpret_cast<sockaddr*>(&a), &len);
        if (n < 0) {
            return std::nullopt;
        }
        packet.bytes.resize(static_cast<size_t>(n));
        char ip[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &a.sin_addr, ip, sizeof ip);
        packet.fromIp = ip;
        packet.fromPort = ntohs(a.sin_port);
        return packet;
    }

    // The next datagram with `code`, skipping others, within `timeoutMs` in all.
    std::optional<Packet> receiveCode(uint8_t code, int timeoutMs) {
        const auto deadline = now() + timeoutMs;
        for (;;) {
            const long left = deadline - now();
            if (left <= 0) {
                return std::nullopt;
            }
            auto p = receive(static_cast<int>(left));
            if (!p) {
                return std::nullopt;
            }
            if (p->code() == code) {
                return p;
            }
        }
    }

    // Everything that arrives within `ms`.
    std::vector<Packet> drain(int ms) {
        std::vector<Packet> all;
        const auto deadline = now() + ms;
        for (long left; (left = deadline - now()) > 0;) {
            if (auto p = receive(static_cast<int>(left))) {
                all.push_back(std::move(*p));
            }
        }
        return all;
    }

private:
    static long now() {
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
    }

    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace wire
