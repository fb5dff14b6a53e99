// Speaker playback in fixed-size buffers through a five-slot ring that holds at most four
// (800 ms). `write` runs on the producer's thread and `releaseOldest` on the callback thread
// that receives MM_WOM_DONE; both take the device itself, a CSem, as the ring's lock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "audio/MmResult.h"
#include "audio/WaveBackend.h"
#include "audio/WaveHeader.h"
#include "sync/CSem.h"
#include "sync/ThreadId.h"

namespace ostrel::audio {

class WaveOutDevice : public sync::CSem {
public:
    static constexpr uint32_t kSlots = 5;
    static constexpr int kOpenAttempts = 8;
    static constexpr unsigned kRetryPauseMs = 250;

    // Silences the client's own alert sound between open attempts.
    using AlertSilencer = std::function<void()>;

    // The backend defaults to the process's; the silencer to stopping the alert player.
    WaveOutDevice(uint32_t samplesPerBuffer, uint32_t sampleRate, uint32_t channels,
                  uint32_t bitsPerSample);
    WaveOutDevice(uint32_t samplesPerBuffer, uint32_t sampleRate, uint32_t channels,
                  uint32_t bitsPerSample, WaveBackend& backend, AlertSilencer silencer);
    ~WaveOutDevice();

    WaveOutDevice(const WaveOutDevice&) = delete;
    WaveOutDevice& operator=(const WaveOutDevice&) = delete;

    // Called with no producer writing (before it starts or after it stopped).
    bool open(sync::ThreadId callbackThread);
    // Copies and queues buffer-size bytes; false (the data dropped) when four are queued.
    bool write(const void* data);
    // For each MM_WOM_DONE: the oldest slot is finished, since buffers play in order.
    bool releaseOldest();
    void stop();
    bool close();

    bool isOpen() const { return lastOpenResult_ == MMSYSERR_NOERROR; }
    MMRESULT lastOpenResult() const { return lastOpenResult_; }
    bool isStarted() const { return openFlag_; }
    uint32_t bufferSize() const { return bufferSize_; }
    // Slots between head and tail, taken under the lock.
    uint32_t queuedCount();

private:
    WaveBackend& backend_;
    AlertSilencer silencer_;
    MMRESULT lastOpenResult_ = MMSYSERR_BADDEVICEID;
    bool openFlag_ = false;
    uint32_t sampleRate_;
    uint32_t samplesPerBuffer_;
    uint32_t channels_;
    uint32_t bitsPerSample_;
    uint32_t blockAlignment_;
    uint32_t bufferSize_;
    std::unique_ptr<uint8_t[]> memory_;  // kSlots buffers, slot i at i * bufferSize_
    WaveHeader headers_[kSlots];
    // Under the CSem: head is the oldest slot with the backend, tail the next free one;
    // tail + 1 == head (mod 5) is full, so one slot always stays empty.
    uint32_t head_ = 0;
    uint32_t tail_ = 0;
    bool stopping_ = false;
    // Last, so that it goes first: its thread must be gone before the buffers it reads.
    std::unique_ptr<WaveStream> handle_;
};

}  // namespace ostrel::audio
