// Measures tones in test audio: the Goertzel power of one frequency, its amplitude, and which
// of several candidate frequencies is strongest. An independent check of what a tone generator or
// an echo sent, computed from the samples alone.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

namespace ostrel::test {

inline double tonePower(std::span<const int16_t> samples, double hz, double rate = 8000.0) {
    const double w = 2.0 * std::numbers::pi * hz / rate;
    const double coefficient = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (int16_t x : samples) {
        const double s0 = x + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

// Amplitude of the `hz` component: a sine of amplitude A gives about A; 0 without samples.
inline double toneLevel(std::span<const int16_t> samples, double hz, double rate = 8000.0) {
    if (samples.empty()) {
        return 0;
    }
    const double power = std::max(tonePower(samples, hz, rate), 0.0);
    return 2.0 * std::sqrt(power) / static_cast<double>(samples.size());
}

inline double rms(std::span<const int16_t> samples) {
    double sum = 0;
    for (int16_t x : samples) {
        sum += static_cast<double>(x) * x;
    }
    return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

// The candidate with the most power.
inline double strongest(std::span<const int16_t> samples, const std::vector<double>& candidates) {
    double best = 0, bestPower = -1;
    for (double hz : candidates) {
        const double p = tonePower(samples, hz);
        if (p > bestPower) {
            bestPower = p;
            best = hz;
        }
    }
    return best;
}

}  // namespace ostrel::test
