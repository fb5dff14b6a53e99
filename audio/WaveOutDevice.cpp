#include "audio/WaveOutDevice.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "audio/AlertPlayer.h"
#include "audio/AudioFormat.h"
#include "audio/AudioSelection.h"
#include "platform/Platform.h"
#include "sync/WaitResult.h"

namespace ostrel::audio {

WaveOutDevice::WaveOutDevice(uint32_t samplesPerBuffer, uint32_t sampleRate, uint32_t channels,
                             uint32_t bitsPerSample)
    : WaveOutDevice(samplesPerBuffer, sampleRate, channels, bitsPerSample, processWaveBackend(),
                    [] { AlertPlayer::instance().stop(); }) {}

WaveOutDevice::WaveOutDevice(uint32_t samplesPerBuffer, uint32_t sampleRate, uint32_t channels,
                             uint32_t bitsPerSample, WaveBackend& backend, AlertSilencer silencer)
    : backend_(backend),
      silencer_(std::move(silencer)),
      sampleRate_(sampleRate),
      samplesPerBuffer_(samplesPerBuffer),
      channels_(channels),
      bitsPerSample_(bitsPerSample),
      blockAlignment_(channels * bitsPerSample / 8),
      bufferSize_(samplesPerBuffer * channels * bitsPerSample / 8),
      memory_(new uint8_t[static_cast<size_t>(kSlots) * bufferSize_]()) {}

WaveOutDevice::~WaveOutDevice() {
    close();
    // A close refused because buffers were still playing leaves the handle open; it is reset
    // and closed here, before the buffers it reads are freed.
    if (isOpen() && handle_) {
        handle_->reset();
        handle_->close();
    }
    handle_.reset();
}

bool WaveOutDevice::open(sync::ThreadId callbackThread) {
    stopping_ = false;
    const AudioFormat format = AudioFormat::pcm(sampleRate_, channels_, bitsPerSample_);
    if (backend_.queryFormat(WaveDirection::Playback, format) != MMSYSERR_NOERROR) {
        return false;
    }
    if (isOpen()) {
        // Opened twice without a close: the old stream goes, or it would play the new ring.
        handle_->reset();
        handle_->close();
    }
    handle_.reset();
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        lastOpenResult_ = backend_.open(WaveDirection::Playback, format, callbackThread, handle_);
        if (lastOpenResult_ == MMSYSERR_NOERROR) {
            break;
        }
        handle_.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryPauseMs));
        // A ring or alert of the client's own may be what holds the speaker.
        if (silencer_) {
            silencer_();
        }
    }
    if (!isOpen()) {
        platform::trace("playback device cannot be opened");
        return false;
    }
    openFlag_ = true;
    return true;
}

bool WaveOutDevice::write(const void* data) {
    WaitOnSemaphore(sync::kInfinite);
    if ((tail_ + 1) % kSlots == head_) {
        SignalSemaphore();
        return false;
    }
    WaveHeader& h = headers_[tail_];
    h.data = memory_.get() + static_cast<size_t>(tail_) * bufferSize_;
    std::memcpy(h.data, data, bufferSize_);
    h.bufferLength = bufferSize_;
    h.flags.store(0);
    h.loops = 0;
    // Results are not looked at: a device that is not open still takes four buffers, and
    // then refuses, since no completion ever frees them.
    if (handle_) {
        handle_->prepare(h);
        handle_->queue(h);
    }
    tail_ = (tail_ + 1) % kSlots;
    SignalSemaphore();
    return true;
}

bool WaveOutDevice::releaseOldest() {
    WaitOnSemaphore(sync::kInfinite);
    // A completion with nothing queued (a stray one from before a close) must not move head
    // past tail, which would make the ring read as full for good.
    if (head_ != tail_) {
        if (handle_) {
            handle_->unprepare(headers_[head_]);
        }
        head_ = (head_ + 1) % kSlots;
    }
    SignalSemaphore();
    return true;
}

void WaveOutDevice::stop() {
    if (stopping_) {
        return;
    }
    stopping_ = true;
    if (handle_) {
        handle_->reset();
    }
}

bool WaveOutDevice::close() {
    head_ = 0;
    tail_ = 0;
    openFlag_ = false;
    if (isOpen() && handle_ && handle_->close() == MMSYSERR_NOERROR) {
        handle_.reset();
        lastOpenResult_ = MMSYSERR_BADDEVICEID;
        return true;
    }
    return false;
}

uint32_t WaveOutDevice::queuedCount() {
    WaitOnSemaphore(sync::kInfinite);
    const uint32_t count = (tail_ + kSlots - head_) % kSlots;
    SignalSemaphore();
    return count;
}

}  // namespace ostrel::audio
