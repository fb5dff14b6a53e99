// Formats report lines into a fixed buffer and writes them with write(2): no allocation, no
// stdio, no locale, so it may run inside a signal handler.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ostrel::fault {

class SignalSafeWriter {
public:
    // One formatted line of the report fits; a longer one (a very long module path) is
    // written in pieces rather than cut.
    static constexpr size_t kCapacity = 1024;

    // fd < 0 keeps text only in the buffer (what does not fit is dropped).
    explicit SignalSafeWriter(int fd) noexcept : fd_(fd) {}
    ~SignalSafeWriter() { flush(); }

    SignalSafeWriter(const SignalSafeWriter&) = delete;
    SignalSafeWriter& operator=(const SignalSafeWriter&) = delete;

    SignalSafeWriter& text(const char* text) noexcept;
    SignalSafeWriter& text(const char* text, size_t length) noexcept;
    SignalSafeWriter& character(char c) noexcept;
    // Upper-case hexadecimal, zero-padded to at least `minDigits`; wider values are never cut.
    SignalSafeWriter& hex(uint64_t value, int minDigits) noexcept;
    SignalSafeWriter& decimal(uint64_t value) noexcept;
    // "\n", then the line goes straight to the file.
    SignalSafeWriter& endLine() noexcept;

    // Writes what is buffered; false when a write failed (the text is then dropped).
    bool flush() noexcept;

    const char* data() const { return buffer_; }
    size_t size() const { return length_; }
    bool failed() const { return failed_; }

private:
    int fd_;
    char buffer_[kCapacity];
    size_t length_ = 0;
    bool failed_ = false;
};

}  // namespace ostrel::fault
