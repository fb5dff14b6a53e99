#include "audio/WaveInDevice.h"

#include <chrono>
#include <thread>

#include "audio/AudioFormat.h"
#include "audio/AudioSelection.h"
#include "platform/Platform.h"

namespace ostrel::audio {

WaveInDevice::WaveInDevice(uint32_t samplesPerBuffer, uint32_t sampleRate, uint32_t channels,
                           uint32_t bitsPerSample)
    : WaveInDevice(samplesPerBuffer, sampleRate, channels, bitsPerSample, processWaveBackend()) {}

WaveInDevice::WaveInDevice(uint32_t samplesPerBuffer, uint32_t sampleRate, uint32_t channels,
                           uint32_t bitsPerSample, WaveBackend& backend)
    : backend_(backend),
      sampleRate_(sampleRate),
      samplesPerBuffer_(samplesPerBuffer),
      channels_(channels),
      bitsPerSample_(bitsPerSample),
      blockAlignment_(channels * bitsPerSample / 8),
      bufferSize_(samplesPerBuffer * channels * bitsPerSample / 8),
      memory_(new uint8_t[static_cast<size_t>(kSlots) * bufferSize_]()) {}

WaveInDevice::~WaveInDevice() {
    close();
}

bool WaveInDevice::open(sync::ThreadId owner) {
    // A second open without a close would leave the first stream filling the same buffers.
    close();
    stopping_ = false;
    const AudioFormat format = AudioFormat::pcm(sampleRate_, channels_, bitsPerSample_);
    if (backend_.queryFormat(WaveDirection::Capture, format) != MMSYSERR_NOERROR) {
        return false;
    }
    // Another program may hold the microphone for a moment: eight tries 250 ms apart give
    // it about 2 seconds to let go.
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        lastOpenResult_ = backend_.open(WaveDirection::Capture, format, owner, handle_);
        if (lastOpenResult_ == MMSYSERR_NOERROR) {
            break;
        }
        handle_.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryPauseMs));
    }
    if (!isOpen()) {
        platform::trace("capture device cannot be opened");
        return false;
    }
    // Slot 4 stays back: it is the first to return, at the first completion.
    for (uint32_t slot = 0; slot < kQueuedSlots; ++slot) {
        queueSlot(slot);
    }
    openFlag_ = true;
    current_ = 0;
    handle_->start();
    return true;
}

void WaveInDevice::queueSlot(uint32_t slot) {
    WaveHeader& h = headers_[slot];
    h.clear();
    h.data = memory_.get() + static_cast<size_t>(slot) * bufferSize_;
    h.bufferLength = bufferSize_;
    h.user = slot;
    if (handle_) {
        handle_->prepare(h);
        handle_->queue(h);
    }
}

bool WaveInDevice::isCurrentDone() const {
    return headers_[current_].has(WHDR_DONE);
}

uint8_t* WaveInDevice::currentData() {
    return memory_.get() + static_cast<size_t>(current_) * bufferSize_;
}

bool WaveInDevice::requeue() {
    if (handle_) {
        handle_->unprepare(headers_[current_]);
    }
    if (stopping_) {
        return true;  // shutting down: returned buffers are only unprepared
    }
    // The slot just read goes back one period later, so the owner has 200 ms to copy it.
    const uint32_t previous = current_ == 0 ? kSlots - 1 : current_ - 1;
    current_ = (current_ + 1) % kSlots;
    queueSlot(previous);
    return true;
}

void WaveInDevice::stop() {
    if (stopping_) {
        return;
    }
    stopping_ = true;
    if (handle_) {
        handle_->reset();
    }
}

bool WaveInDevice::close() {
    const bool wasOpen = isOpen();
    if (wasOpen && handle_) {
        handle_->reset();
        handle_->close();
        handle_.reset();
        lastOpenResult_ = MMSYSERR_BADDEVICEID;
    }
    openFlag_ = false;
    return wasOpen;
}

}  // namespace ostrel::audio
