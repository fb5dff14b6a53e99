// Microphone capture in fixed-size buffers: five slots, four always with the backend and one
// held back for the owner to read. Every call comes from the owner thread, which also
// receives the MM_WIM_DATA completions; the device has no thread and no lock of its own.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/MmResult.h"
#include "audio/WaveBackend.h"
#include "audio/WaveHeader.h"
#include "sync/ThreadId.h"

namespace ostrel::audio {

class WaveInDevice {
public:
    static constexpr uint32_t kSlots = 5;
    static constexpr uint32_t kQueuedSlots = 4;
    static constexpr int kOpenAttempts = 8;
    static constexpr unsigned kRetryPauseMs = 250;

    // The backend defaults to the one the environment chose for the process.
    WaveInDevice(uint32_t samplesPerBuffer, uint32_t sampleRate, uint32_t channels,
                 uint32_t bitsPerSample);
    WaveInDevice(uint32_t samplesPerBuffer, uint32_t sampleRate, uint32_t channels,
                 uint32_t bitsPerSample, WaveBackend& backend);
    ~WaveInDevice();

    WaveInDevice(const WaveInDevice&) = delete;
    WaveInDevice& operator=(const WaveInDevice&) = delete;

    // Starts capture; full buffers then arrive at `owner` as MM_WIM_DATA. The owner thread
    // must have its message queue already.
    bool open(sync::ThreadId owner);
    bool isCurrentDone() const;
    uint8_t* currentData();
    // Releases the current slot and hands the one before it back to capture. Always true.
    bool requeue();
    void stop();
    bool close();

    bool isOpen() const { return lastOpenResult_ == MMSYSERR_NOERROR; }
    MMRESULT lastOpenResult() const { return lastOpenResult_; }
    bool isStarted() const { return openFlag_; }
    uint32_t bufferSize() const { return bufferSize_; }
    uint32_t currentIndex() const { return current_; }
    const WaveHeader& header(uint32_t slot) const { return headers_[slot % kSlots]; }

private:
    void queueSlot(uint32_t slot);

    WaveBackend& backend_;
    MMRESULT lastOpenResult_ = MMSYSERR_BADDEVICEID;
    bool openFlag_ = false;
    uint32_t sampleRate_;
    uint32_t samplesPerBuffer_;
    uint32_t channels_;
    uint32_t bitsPerSample_;
    uint32_t blockAlignment_;
    uint32_t bufferSize_;
    uint32_t current_ = 0;
    std::unique_ptr<uint8_t[]> memory_;  // kSlots buffers, slot i at i * bufferSize_
    WaveHeader headers_[kSlots];
    bool stopping_ = false;
    // Declared last so that it goes first: the stream's thread must be gone before the
    // buffers and headers it writes.
    std::unique_ptr<WaveStream> handle_;
};

}  // namespace ostrel::audio
