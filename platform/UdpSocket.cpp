#include "platform/UdpSocket.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <mutex>

namespace ostrel::platform {

namespace {

UdpSocket::Result resultOf(int error) {
    switch (error) {
        case ECONNREFUSED:
            return UdpSocket::Result::Refused;
        case EINTR:
            return UdpSocket::Result::Interrupted;
        case EAGAIN:
            return UdpSocket::Result::TimedOut;
        default:
            return UdpSocket::Result::Failed;
    }
}

}  // namespace

UdpSocket::~UdpSocket() {
    close();
}

bool UdpSocket::open() {
    std::unique_lock lock(fdLock_);
    if (fd_ >= 0) {
        return true;
    }
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return fd_ >= 0;
}

bool UdpSocket::bind(const SocketAddress& local, int* error) {
    if (!open()) {
        if (error != nullptr) {
            *error = errno;
        }
        return false;
    }
    std::shared_lock lock(fdLock_);
    sockaddr_in native{};
    local.toSockaddr(native);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&native), sizeof native) != 0) {
        if (error != nullptr) {
            *error = errno;
        }
        return false;
    }
    return true;
}

bool UdpSocket::isOpen() const {
    std::shared_lock lock(fdLock_);
    return fd_ >= 0;
}

void UdpSocket::close() {
    std::unique_lock lock(fdLock_);
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int UdpSocket::handle() const {
    std::shared_lock lock(fdLock_);
    return fd_;
}

std::optional<SocketAddress> UdpSocket::localAddress() const {
    std::shared_lock lock(fdLock_);
    if (fd_ < 0) {
        return std::nullopt;
    }
    sockaddr_in native{};
    socklen_t length = sizeof native;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&native), &length) != 0 ||
        native.sin_family != AF_INET) {
        return std::nullopt;
    }
    return SocketAddress::fromSockaddr(native);
}

UdpSocket::Result UdpSocket::sendTo(const SocketAddress& to, const void* data, size_t size,
                                    int* error) {
    std::shared_lock lock(fdLock_);
    if (fd_ < 0) {
        return Result::Closed;
    }
    sockaddr_in native{};
    to.toSockaddr(native);
    const ssize_t sent = ::sendto(fd_, data, size, MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&native), sizeof native);
    if (sent < 0) {
        if (error != nullptr) {
            *error = errno;
        }
        const Result r = resultOf(errno);
        return r == Result::TimedOut ? Result::Failed : r;
    }
    return Result::Ok;
}

UdpSocket::Result UdpSocket::waitReadable(uint32_t timeoutMs) {
    std::shared_lock lock(fdLock_);
    if (fd_ < 0) {
        return Result::Closed;
    }
    pollfd one{fd_, POLLIN, 0};
    const int ready = ::poll(&one, 1, timeoutMs > 0x7FFFFFFFu ? -1 : static_cast<int>(timeoutMs));
    if (ready < 0) {
        return errno == EINTR ? Result::Interrupted : Result::Failed;
    }
    return ready == 0 ? Result::TimedOut : Result::Ok;
}

UdpSocket::Received UdpSocket::receiveFrom(void* buffer, size_t capacity) {
    Received r;
    std::shared_lock lock(fdLock_);
    if (fd_ < 0) {
        return r;
    }
    sockaddr_in native{};
    socklen_t length = sizeof native;
    // MSG_TRUNC makes the call return the datagram's real length, so a datagram that did not
    // fit is recognised instead of being handed on cut short.
    const ssize_t got = ::recvfrom(fd_, buffer, capacity, MSG_DONTWAIT | MSG_TRUNC,
                                   reinterpret_cast<sockaddr*>(&native), &length);
    if (got < 0) {
        r.error = errno;
        r.result = resultOf(errno);
        return r;
    }
    r.from = SocketAddress::fromSockaddr(native);
    r.datagramSize = static_cast<size_t>(got);
    r.size = r.datagramSize < capacity ? r.datagramSize : capacity;
    r.result = r.datagramSize > capacity ? Result::Truncated : Result::Ok;
    return r;
}

UdpSocket::Received UdpSocket::receive(void* buffer, size_t capacity, uint32_t timeoutMs) {
    const Result waited = waitReadable(timeoutMs);
    if (waited != Result::Ok) {
        Received r;
        r.result = waited;
        return r;
    }
    return receiveFrom(buffer, capacity);
}

namespace {

// Datagrams per recvmmsg and sendmmsg call; larger batches gain little more.
constexpr size_t kBatch = 32;

}  // namespace

size_t UdpSocket::receiveMany(std::span<Slot> slots) {
    if (slots.empty()) {
        return 0;
    }
    slots[0].received = Received{};
    std::shared_lock lock(fdLock_);
    if (fd_ < 0) {
        return 0;
    }
    const size_t count = std::min(slots.size(), kBatch);
    std::array<mmsghdr, kBatch> headers{};
    std::array<iovec, kBatch> pieces{};
    std::array<sockaddr_in, kBatch> senders{};
    for (size_t i = 0; i < count; ++i) {
        pieces[i] = iovec{slots[i].buffer, slots[i].capacity};
        headers[i].msg_hdr.msg_name = &senders[i];
        headers[i].msg_hdr.msg_namelen = sizeof senders[i];
        headers[i].msg_hdr.msg_iov = &pieces[i];
        headers[i].msg_hdr.msg_iovlen = 1;
    }
    // MSG_TRUNC makes each length the datagram's real one, as receiveFrom reports it.
    const int got = ::recvmmsg(fd_, headers.data(), static_cast<unsigned>(count),
                               MSG_DONTWAIT | MSG_TRUNC, nullptr);
    if (got < 0) {
        slots[0].received.error = errno;
        slots[0].received.result = resultOf(errno);
        return 0;
    }
    for (size_t i = 0; i < static_cast<size_t>(got); ++i) {
        Received& r = slots[i].received;
        r = Received{};
        r.from = SocketAddress::fromSockaddr(senders[i]);
        r.datagramSize = headers[i].msg_len;
        const bool cut =
            (headers[i].msg_hdr.msg_flags & MSG_TRUNC) != 0 || r.datagramSize > slots[i].capacity;
        r.size = std::min(r.datagramSize, slots[i].capacity);
        r.result = cut ? Result::Truncated : Result::Ok;
    }
    return static_cast<size_t>(got);
}

size_t UdpSocket::sendMany(std::span<const Outgoing> datagrams, Result* failure, int* error) {
    std::shared_lock lock(fdLock_);
    if (fd_ < 0) {
        if (failure != nullptr) {
            *failure = Result::Closed;
        }
        return 0;
    }
    size_t done = 0;
    while (done < datagrams.size()) {
        const size_t count = std::min(datagrams.size() - done, kBatch);
        std::array<mmsghdr, kBatch> headers{};
        std::array<iovec, kBatch> pieces{};
        std::array<sockaddr_in, kBatch> targets{};
        for (size_t i = 0; i < count; ++i) {
            const Outgoing& out = datagrams[done + i];
            datagrams[done + i].to.toSockaddr(targets[i]);
            pieces[i] = iovec{const_cast<uint8_t*>(out.data), out.size};
            headers[i].msg_hdr.msg_name = &targets[i];
            headers[i].msg_hdr.msg_namelen = sizeof targets[i];
            headers[i].msg_hdr.msg_iov = &pieces[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
        const int sent =
            ::sendmmsg(fd_, headers.data(), static_cast<unsigned>(count), MSG_NOSIGNAL);
        if (sent <= 0) {
            if (error != nullptr) {
                *error = sent < 0 ? errno : 0;
            }
            if (failure != nullptr) {
                const Result r = sent < 0 ? resultOf(errno) : Result::Failed;
                *failure = r == Result::TimedOut ? Result::Failed : r;
            }
            return done;
        }
        done += static_cast<size_t>(sent);
    }
    return done;
}

}  // namespace ostrel::platform
