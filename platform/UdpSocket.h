// A POSIX UDP socket (IPv4) owned by one object: bind, send, wait for readability, receive
// with detection of datagrams longer than the caller's buffer. Sends, waits and receives may
// come from several threads at once; close waits until none of them is inside the socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <span>

#include "platform/SocketAddress.h"

namespace ostrel::platform {

class UdpSocket {
public:
    enum class Result {
        Ok,
        TimedOut,     // nothing to read within the wait (or right now)
        Refused,      // ECONNREFUSED: an earlier datagram was refused by its destination
        Interrupted,  // EINTR
        Truncated,    // the datagram was longer than the buffer; its real size is reported
        Closed,       // the socket is not open
        Failed,       // any other error; see `error`
    };

    struct Received {
        Result result = Result::Closed;
        size_t size = 0;          // bytes stored in the buffer
        size_t datagramSize = 0;  // the datagram's real length (larger than size if Truncated)
        SocketAddress from;
        int error = 0;  // errno for Failed and Refused
    };

    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Creates an unbound socket; the system binds it to a free port on the first send.
    bool open();
    // Opens if needed and binds to `local` (ip kAny for every interface, port 0 for a
    // system-chosen one). On failure the socket stays open and unbound; `error` gets errno.
    bool bind(const SocketAddress& local, int* error = nullptr);
    bool isOpen() const;
    void close();

    // The descriptor for diagnostics ("%x" in log texts) and for polling several sockets at
    // once; -1 when closed.
    int handle() const;

    // The bound address as getsockname reports it.
    std::optional<SocketAddress> localAddress() const;

    Result sendTo(const SocketAddress& to, const void* data, size_t size, int* error = nullptr);

    // Ok when a datagram can be read, TimedOut after `timeoutMs` without one.
    Result waitReadable(uint32_t timeoutMs);

    // Reads one datagram without waiting.
    Received receiveFrom(void* buffer, size_t capacity);
    // waitReadable, then receiveFrom.
    Received receive(void* buffer, size_t capacity, uint32_t timeoutMs);

    // One datagram of a batch: where it is read into, and what was read.
    struct Slot {
        uint8_t* buffer = nullptr;
        size_t capacity = 0;
        Received received;
    };
    // Reads as many waiting datagrams as there are slots in one system call, without
    // waiting. Returns how many slots were filled (each Ok or Truncated); when none was,
    // slots[0].received tells why (TimedOut when nothing was waiting).
    size_t receiveMany(std::span<Slot> slots);

    struct Outgoing {
        SocketAddress to;
        const uint8_t* data = nullptr;
        size_t size = 0;
    };
    // Sends the datagrams in order, as few system calls as the system allows. Returns how
    // many went out before the first that failed; that one's result and errno are stored.
    size_t sendMany(std::span<const Outgoing> datagrams, Result* failure = nullptr,
                    int* error = nullptr);

private:
    mutable std::shared_mutex fdLock_;  // guards fd_: shared for every use, exclusive to close
    int fd_ = -1;
};

}  // namespace ostrel::platform
