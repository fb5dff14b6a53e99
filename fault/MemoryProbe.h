// Tells whether memory can be read or written without touching it directly: the kernel copies
// through a pipe and answers EFAULT instead of faulting. Async-signal-safe once constructed;
// one thread at a time (the crash handler admits one crashing thread).
#pragma once

#include <cstddef>
#include <cstdint>

namespace ostrel::fault {

class MemoryProbe {
public:
    // The largest range one call checks.
    static constexpr size_t kMaxBytes = 64;

    MemoryProbe() noexcept;
    ~MemoryProbe();

    MemoryProbe(const MemoryProbe&) = delete;
    MemoryProbe& operator=(const MemoryProbe&) = delete;

    // Copies `length` bytes at `address` into `out` when all of them are readable.
    bool read(uintptr_t address, void* out, size_t length) const noexcept;
    // True when `length` bytes at `address` are readable and writable; the check writes the
    // bytes' own values back, so the memory is left as it was.
    bool readWrite(uintptr_t address, size_t length) const noexcept;

    bool usable() const { return readFd_ >= 0; }

private:
    void drain(size_t length) const noexcept;

    int readFd_ = -1;
    int writeFd_ = -1;
};

}  // namespace ostrel::fault
