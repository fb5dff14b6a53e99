// Audio devices: the audio test's loop-back. A record thread hands every captured block to
// the dialog, which draws it and, when asked, writes it to its own playback device, whose
// play thread releases the finished buffers. start() and close() run on the dialog's thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "audio/WaveBackend.h"
#include "audio/WaveInDevice.h"
#include "audio/WaveOutDevice.h"
#include "sync/CWorkerThread.h"
#include "sync/ThreadMessages.h"

namespace ostrel::audio {

class AudioTest {
public:
    static constexpr uint32_t kBlockSamples = 1600;
    static constexpr uint32_t kSampleRate = 8000;
    // Thread message to either thread: leave the loop and stop the device.
    static constexpr uint32_t kStopMessage = sync::WM_USER + 2;

    using Block = std::array<int16_t, kBlockSamples>;
    // Called on the record thread with each block, by value: the sink must not block (the
    // dialog posts it to its own thread) and may keep the copy as long as it likes.
    using BlockSink = std::function<void(const Block& block)>;

    // The backend and the silencer default to the process's (the sound card or files, and
    // stopping the client's own alert sound).
    explicit AudioTest(BlockSink sink);
    AudioTest(BlockSink sink, WaveBackend& backend, WaveOutDevice::AlertSilencer silencer);
    // Closes, if close() was not called.
    ~AudioTest();

    AudioTest(const AudioTest&) = delete;
    AudioTest& operator=(const AudioTest&) = delete;

    // Starts both threads and returns once each has opened its device (whether or not the
    // device opened: without one, no block comes or the ring fills and drops). False when a
    // thread cannot be made.
    bool start();

    // The dialog's handling of one block, on the dialog's thread: written to the playback
    // device when `playBack` is on and the test is not closing. False when nothing was
    // written (not asked, closing, or the ring full: the block is dropped).
    bool loopBack(const Block& block, bool playBack);

    // Stops both threads, waits for them, then closes the capture and the playback device.
    void close();

    bool isClosing() const { return closing_.load(); }
    bool threadsRunning() const;
    bool captureOpen() const { return capture_.isOpen(); }
    bool playbackOpen() const { return playback_.isOpen(); }
    uint32_t blocksCaptured() const { return captured_.load(); }
    uint32_t blocksWritten() const { return written_; }

private:
    uint32_t recordLoop(sync::CWorkerThread& self);
    uint32_t playLoop(sync::CWorkerThread& self);

    BlockSink sink_;
    WaveOutDevice::AlertSilencer silencer_;
    // Each device is driven by its own thread between start() and close(); the playback
    // ring is written from the dialog's thread under the device's own lock.
    WaveInDevice capture_;
    WaveOutDevice playback_;
    Block shared_{};  // record thread only: the block being handed over
    std::atomic<bool> closing_{false};
    std::atomic<uint32_t> captured_{0};
    uint32_t written_ = 0;  // dialog thread only
    std::unique_ptr<sync::CWorkerThread> recordThread_;
    std::unique_ptr<sync::CWorkerThread> playThread_;
    bool closed_ = false;
};

}  // namespace ostrel::audio
