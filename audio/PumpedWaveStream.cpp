#include "audio/PumpedWaveStream.h"

#include <algorithm>

#include "sync/ThreadMessages.h"

namespace ostrel::audio {

namespace {

// 50 ms pieces for a device, whose endpoint blocks while a piece moves: short enough that a
// reset is answered within 50 ms. An endpoint paced by a clock alone moves a whole buffer at
// once and the pump waits out its time on the condition below, which a reset cuts short, so
// a 200 ms buffer costs one wake-up instead of four (the wake-ups of a call's two file
// streams cost about as much CPU as its GSM coding).
size_t pieceBytesFor(const AudioFormat& format) {
    const size_t align = std::max<size_t>(format.blockAlignment, 1);
    const size_t frames = std::max<size_t>(format.samplesPerSecond / 20, 1);
    return frames * align;
}

}  // namespace

PumpedWaveStream::PumpedWaveStream(WaveDirection direction, const AudioFormat& format,
                                   std::unique_ptr<SampleEndpoint> endpoint,
                                   sync::ThreadId callbackThread)
    : direction_(direction),
      message_(direction == WaveDirection::Capture ? sync::MM_WIM_DATA : sync::MM_WOM_DONE),
      pieceBytes_(pieceBytesFor(format)),
      callbackThread_(callbackThread),
      endpoint_(std::move(endpoint)),
      clocked_(endpoint_->clocked()) {
    pump_ = std::thread([this] { run(); });
}

PumpedWaveStream::~PumpedWaveStream() {
    reset();
    close();
    // A close refused for queued buffers cannot happen after the reset, but make sure the
    // thread is gone whatever happened.
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    if (pump_.joinable()) {
        pump_.join();
    }
}

MMRESULT PumpedWaveStream::prepare(WaveHeader& header) {
    std::lock_guard lock(mutex_);
    if (closed_) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header.data == nullptr && header.bufferLength != 0) {
        return MMSYSERR_INVALPARAM;
    }
    header.flags.fetch_or(WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT PumpedWaveStream::unprepare(WaveHeader& header) {
    std::lock_guard lock(mutex_);
    if (closed_) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header.has(WHDR_INQUEUE)) {
        return WAVERR_STILLPLAYING;
    }
    header.flags.fetch_and(~WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT PumpedWaveStream::queue(WaveHeader& header) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return MMSYSERR_INVALHANDLE;
        }
        if (!header.has(WHDR_PREPARED)) {
            return WAVERR_UNPREPARED;
        }
        if (header.has(WHDR_INQUEUE)) {
            return MMSYSERR_INVALPARAM;
        }
        if (direction_ == WaveDirection::Capture) {
            header.bytesRecorded = 0;
        }
        header.flags.store((header.flags.load() & ~WHDR_DONE) | WHDR_INQUEUE);
        queue_.push_back(&header);
    }
    changed_.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT PumpedWaveStream::start() {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return MMSYSERR_INVALHANDLE;
        }
        running_ = true;
    }
    changed_.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT PumpedWaveStream::reset() {
    std::unique_lock lock(mutex_);
    if (closed_) {
        return MMSYSERR_INVALHANDLE;
    }
    // The pump does the work, so that the buffer it is moving is never touched by two
    // threads; it answers within one 50 ms piece, or at once while it waits on a clock.
    resetRequested_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !resetRequested_; });
    return MMSYSERR_NOERROR;
}

MMRESULT PumpedWaveStream::close() {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return MMSYSERR_INVALHANDLE;
        }
        if (!queue_.empty()) {
            return WAVERR_STILLPLAYING;
        }
        closing_ = true;
        closed_ = true;
    }
    changed_.notify_all();
    if (pump_.joinable()) {
        pump_.join();
    }
    return MMSYSERR_NOERROR;
}

void PumpedWaveStream::completeFront(uint32_t bytes) {
    WaveHeader* header = queue_.front();
    queue_.pop_front();
    frontProgress_ = 0;
    if (direction_ == WaveDirection::Capture) {
        header->bytesRecorded = bytes;
    }
    header->flags.store((header->flags.load() & ~WHDR_INQUEUE) | WHDR_DONE);
    // A callback thread without a queue loses the message, as it would with the system's
    // wave mapper; the buffer still reads as done.
    sync::postThreadMessage(callbackThread_, message_, reinterpret_cast<uintptr_t>(this),
                            reinterpret_cast<intptr_t>(header));
}

void PumpedWaveStream::finishReset(std::unique_lock<std::mutex>& lock) {
    // The buffer that was being filled keeps what it got; the others come back empty.
    bool first = true;
    while (!queue_.empty()) {
        completeFront(first ? static_cast<uint32_t>(frontProgress_) : 0);
        first = false;
    }
    running_ = false;
    if (active_) {
        active_ = false;
        lock.unlock();
        endpoint_->end(false);
        lock.lock();
    }
    resetRequested_ = false;
    changed_.notify_all();
}

void PumpedWaveStream::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] {
            const bool moving =
                !queue_.empty() && (running_ || direction_ == WaveDirection::Playback);
            return closing_ || resetRequested_ || moving;
        });
        if (resetRequested_) {
            finishReset(lock);
            continue;
        }
        if (closing_) {
            break;
        }
        if (!active_) {
            active_ = true;
            lock.unlock();
            endpoint_->begin();
            lock.lock();
            continue;
        }
        WaveHeader* header = queue_.front();
        const size_t done = frontProgress_;
        const size_t rest = header->bufferLength - done;
        const size_t piece = clocked_ != nullptr ? rest : std::min(pieceBytes_, rest);
        if (piece > 0 && clocked_ != nullptr) {
            lock.unlock();
            const auto due = clocked_->move(header->data + done, piece);
            lock.lock();
            // A reset or close ends the wait early; the buffer then keeps all it was given.
            changed_.wait_until(lock, due, [this] { return resetRequested_ || closing_; });
        } else if (piece > 0) {
            lock.unlock();
            endpoint_->transfer(header->data + done, piece);
            lock.lock();
        }
        // A reset during the move completed this header already; it is not ours any more.
        if (queue_.empty() || queue_.front() != header) {
            continue;
        }
        frontProgress_ = done + piece;
        if (frontProgress_ >= header->bufferLength) {
            completeFront(header->bufferLength);
        }
    }
    if (active_) {
        active_ = false;
        lock.unlock();
        // Playback drains what it took: the last buffers were reported done already.
        endpoint_->end(direction_ == WaveDirection::Playback);
    }
}

}  // namespace ostrel::audio
