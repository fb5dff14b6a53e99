#include "fault/SignalSafeWriter.h"

#include <unistd.h>

#include <cerrno>

namespace ostrel::fault {

SignalSafeWriter& SignalSafeWriter::text(const char* text) noexcept {
    size_t length = 0;
    if (text != nullptr) {
        while (text[length] != '\0') {
            ++length;
        }
    }
    return this->text(text, length);
}

SignalSafeWriter& SignalSafeWriter::text(const char* text, size_t length) noexcept {
    for (size_t i = 0; i < length; ++i) {
        character(text[i]);
    }
    return *this;
}

SignalSafeWriter& SignalSafeWriter::character(char c) noexcept {
    if (length_ == kCapacity && (fd_ < 0 || !flush())) {
        return *this;
    }
    buffer_[length_++] = c;
    return *this;
}

SignalSafeWriter& SignalSafeWriter::hex(uint64_t value, int minDigits) noexcept {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char digits[16];
    int count = 0;
    do {
        digits[count++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    for (int pad = count; pad < minDigits; ++pad) {
        character('0');
    }
    while (count > 0) {
        character(digits[--count]);
    }
    return *this;
}

SignalSafeWriter& SignalSafeWriter::decimal(uint64_t value) noexcept {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) {
        character(digits[--count]);
    }
    return *this;
}

SignalSafeWriter& SignalSafeWriter::endLine() noexcept {
    character('\n');
    flush();
    return *this;
}

bool SignalSafeWriter::flush() noexcept {
    if (fd_ < 0) {
        return !failed_;
    }
    size_t done = 0;
    while (done < length_) {
        const ssize_t n = ::write(fd_, buffer_ + done, length_ - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failed_ = true;
            break;
        }
        done += static_cast<size_t>(n);
    }
    length_ = 0;
    return !failed_;
}

}  // namespace ostrel::fault
