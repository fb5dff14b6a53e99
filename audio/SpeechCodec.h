// GSM 06.10 full-rate coding of 8000 Hz 16-bit mono PCM, a thin layer over libgsm. Coding is
// stateful, so each stream direction owns one instance; an instance is used by one thread at a
// time and has no lock. No allocation happens after construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/SessionMessage.h"

namespace ostrel::audio {

class SpeechCodec {
public:
    // A new coder with libgsm's default options, or nothing when the library cannot make one.
    static std::unique_ptr<SpeechCodec> create();

    virtual ~SpeechCodec() = default;

    // Codes count / 160 whole frames (as many as the message holds) into the payload, sets the
    // sample count to `count` and the payload length to frames × 33. The caller appends any
    // trailer afterwards.
    virtual bool encodeMessage(const int16_t* pcm, size_t count,
                               engine::SessionMessage& message) = 0;

    // Decodes the frames of a checked voice message into `pcm`, never more than `capacity`
    // samples, and reports the message's sample count (at most `capacity`).
    virtual bool decodeMessage(const engine::MessageView& message, int16_t* pcm, size_t capacity,
                               uint32_t& sampleCount) = 0;

    // In: the number of samples; out: the number of bytes written (33 per whole frame).
    virtual bool encodeFrames(const int16_t* pcm, size_t& count, uint8_t* out) = 0;

    // In: the number of input bytes; out: the number of samples written (160 per whole frame).
    // A frame with a bad signature leaves its 160 output samples as they were.
    virtual bool decodeFrames(const uint8_t* in, int16_t* pcm, size_t& count) = 0;
};

}  // namespace ostrel::audio
