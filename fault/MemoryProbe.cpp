#include "fault/MemoryProbe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ostrel::fault {

MemoryProbe::MemoryProbe() noexcept {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        readFd_ = fds[0];
        writeFd_ = fds[1];
    }
}

MemoryProbe::~MemoryProbe() {
    if (readFd_ >= 0) {
        ::close(readFd_);
        ::close(writeFd_);
    }
}

void MemoryProbe::drain(size_t length) const noexcept {
    char scratch[kMaxBytes];
    while (length > 0) {
        const ssize_t n = ::read(readFd_, scratch, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        length -= static_cast<size_t>(n);
    }
}

bool MemoryProbe::read(uintptr_t address, void* out, size_t length) const noexcept {
    if (readFd_ < 0 || length == 0 || length > kMaxBytes || address + length < address) {
        return false;
    }
    ssize_t written;
    do {
        written = ::write(writeFd_, reinterpret_cast<const void*>(address), length);
    } while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(length)) {
        // A range across an unmapped page boundary may be copied in part.
        if (written > 0) {
            drain(static_cast<size_t>(written));
        }
        return false;
    }
    ssize_t got;
    do {
        got = ::read(readFd_, out, length);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(length)) {
        drain(got > 0 ? length - static_cast<size_t>(got) : length);
        return false;
    }
    return true;
}

bool MemoryProbe::readWrite(uintptr_t address, size_t length) const noexcept {
    char bytes[kMaxBytes];
    if (!read(address, bytes, length)) {
        return false;
    }
    ssize_t written;
    do {
        written = ::write(writeFd_, bytes, length);
    } while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(length)) {
        if (written > 0) {
            drain(static_cast<size_t>(written));
        }
        return false;
    }
    ssize_t got;
    do {
        got = ::read(readFd_, reinterpret_cast<void*>(address), length);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(length)) {
        drain(got > 0 ? length - static_cast<size_t>(got) : length);
        return false;
    }
    return true;
}

}  // namespace ostrel::fault
