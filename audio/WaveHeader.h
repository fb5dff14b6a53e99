// The buffer descriptor shared between a wave device and its backend: the device fills in the
// data pointer and length, the backend's thread sets the done flag and the recorded byte count
// and then posts the header's address to the owner thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace ostrel::audio {

inline constexpr uint32_t WHDR_DONE = 0x01;
inline constexpr uint32_t WHDR_PREPARED = 0x02;
inline constexpr uint32_t WHDR_BEGINLOOP = 0x04;
inline constexpr uint32_t WHDR_ENDLOOP = 0x08;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

struct WaveHeader {
    uint8_t* data = nullptr;
    uint32_t bufferLength = 0;
    uint32_t bytesRecorded = 0;
    uintptr_t user = 0;
    // Atomic because the owner may look at it while the backend's thread completes the buffer.
    std::atomic<uint32_t> flags{0};
    uint32_t loops = 0;
    WaveHeader* next = nullptr;
    uintptr_t reserved = 0;

    // Zeroes every field, as the devices do before they hand a slot back to the backend.
    void clear() {
        data = nullptr;
        bufferLength = 0;
        bytesRecorded = 0;
        user = 0;
        flags.store(0);
        loops = 0;
        next = nullptr;
        reserved = 0;
    }

    bool has(uint32_t flag) const { return (flags.load() & flag) != 0; }
};

}  // namespace ostrel::audio
