// Holds a sample stream to the real pace of its sample rate for the endpoints that have no
// sound card behind them (files, silence, discarded alerts). Used by one thread at a time.
// Pacing is against the start time, so it does not drift however long the stream runs.
#pragma once

#include <chrono>
#include <cstdint>

namespace ostrel::audio {

class RealTimePacer {
public:
    enum class Mode {
        // A source: a caller that fell behind gets the next pieces at once until it has
        // caught up, so nothing is lost (the file's samples all arrive, late).
        CatchUp,
        // A sink: a gap longer than kRestartAfter (the producer had nothing to play) starts
        // the clock again, as a sound card plays silence meanwhile and then carries on.
        Restart,
    };

    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::milliseconds kRestartAfter{50};

    RealTimePacer(uint32_t sampleRate, Mode mode);

    // Anchors the clock at now with nothing moved.
    void start();
    // Counts `frames` more and blocks until their time has come.
    void advance(uint64_t frames);
    // Counts `frames` more and returns when their time comes, without waiting for it.
    Clock::time_point due(uint64_t frames);

    uint64_t framesMoved() const { return frames_; }

private:
    Clock::duration durationOf(uint64_t frames) const;

    uint32_t rate_;
    Mode mode_;
    Clock::time_point anchor_;
    uint64_t frames_ = 0;
};

}  // namespace ostrel::audio
