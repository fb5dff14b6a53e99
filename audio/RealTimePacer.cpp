#include "audio/RealTimePacer.h"

#include <algorithm>
#include <thread>

namespace ostrel::audio {

RealTimePacer::RealTimePacer(uint32_t sampleRate, Mode mode)
    : rate_(std::max<uint32_t>(sampleRate, 1)), mode_(mode), anchor_(Clock::now()) {}

void RealTimePacer::start() {
    anchor_ = Clock::now();
    frames_ = 0;
}

RealTimePacer::Clock::duration RealTimePacer::durationOf(uint64_t frames) const {
    // Whole seconds and the remainder apart, so that hours of frames cannot overflow.
    const auto seconds = std::chrono::seconds(frames / rate_);
    const auto rest = std::chrono::nanoseconds((frames % rate_) * 1'000'000'000ull / rate_);
    return std::chrono::duration_cast<Clock::duration>(seconds + rest);
}

void RealTimePacer::advance(uint64_t frames) {
    std::this_thread::sleep_until(due(frames));
}

RealTimePacer::Clock::time_point RealTimePacer::due(uint64_t frames) {
    const auto now = Clock::now();
    if (mode_ == Mode::Restart && now > anchor_ + durationOf(frames_) + kRestartAfter) {
        anchor_ = now - durationOf(frames_);
    }
    frames_ += frames;
    return anchor_ + durationOf(frames_);
}

}  // namespace ostrel::audio
