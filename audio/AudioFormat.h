// The PCM format record handed to a wave backend by both wave devices and the alert player.
// A plain value; built on whichever thread opens a device.
#pragma once

#include <cstdint>

namespace ostrel::audio {

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

struct AudioFormat {
    uint16_t formatTag = WAVE_FORMAT_PCM;
    uint16_t channels = 1;
    uint32_t samplesPerSecond = 8000;
    uint32_t averageBytesPerSecond = 16000;
    uint16_t blockAlignment = 2;
    uint16_t bitsPerSample = 16;
    uint16_t extraSize = 0;

    static AudioFormat pcm(uint32_t sampleRate, uint32_t channels, uint32_t bitsPerSample) {
        AudioFormat f;
        f.channels = static_cast<uint16_t>(channels);
        f.samplesPerSecond = sampleRate;
        f.bitsPerSample = static_cast<uint16_t>(bitsPerSample);
        f.blockAlignment = static_cast<uint16_t>(channels * bitsPerSample / 8);
        f.averageBytesPerSecond = sampleRate * channels * bitsPerSample / 8;
        return f;
    }

    // The one format every device of the client uses: 8000 Hz, mono, 16-bit.
    bool isClientPcm() const {
        return formatTag == WAVE_FORMAT_PCM && channels == 1 && samplesPerSecond == 8000 &&
               bitsPerSample == 16 && blockAlignment == 2;
    }
};

}  // namespace ostrel::audio
