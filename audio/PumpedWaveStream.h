// A wave stream driven by a thread of its own: it moves the queued buffers one at a time
// through a SampleEndpoint (in 50 ms pieces for a device, whole for an endpoint that only a
// clock paces) and posts each finished buffer to the callback thread. Owner calls (prepare,
// queue, reset, close) may come from any thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/AudioFormat.h"
#include "audio/ClockedEndpoint.h"
#include "audio/SampleEndpoint.h"
#include "audio/WaveBackend.h"
#include "audio/WaveStream.h"
#include "sync/ThreadId.h"

namespace ostrel::audio {

class PumpedWaveStream final : public WaveStream {
public:
    PumpedWaveStream(WaveDirection direction, const AudioFormat& format,
                     std::unique_ptr<SampleEndpoint> endpoint, sync::ThreadId callbackThread);
    ~PumpedWaveStream() override;

    PumpedWaveStream(const PumpedWaveStream&) = delete;
    PumpedWaveStream& operator=(const PumpedWaveStream&) = delete;

    MMRESULT prepare(WaveHeader& header) override;
    MMRESULT unprepare(WaveHeader& header) override;
    MMRESULT queue(WaveHeader& header) override;
    MMRESULT start() override;
    MMRESULT reset() override;
    MMRESULT close() override;

private:
    void run();
    void completeFront(uint32_t bytes);
    void finishReset(std::unique_lock<std::mutex>& lock);

    const WaveDirection direction_;
    const uint32_t message_;
    const size_t pieceBytes_;
    const sync::ThreadId callbackThread_;
    std::unique_ptr<SampleEndpoint> endpoint_;  // used only by the pump thread once it runs
    ClockedEndpoint* const clocked_;            // endpoint_ when a clock paces it, else null

    // Guards everything below; the pump holds it except while it moves a piece.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<WaveHeader*> queue_;
    size_t frontProgress_ = 0;  // bytes of the front buffer already moved
    bool running_ = false;      // capture started (playback always runs when it has data)
    bool active_ = false;       // endpoint begun
    bool resetRequested_ = false;
    bool closing_ = false;
    bool closed_ = false;
    std::thread pump_;
};

}  // namespace ostrel::audio
