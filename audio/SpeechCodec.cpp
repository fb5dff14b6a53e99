#include "audio/SpeechCodec.h"

#include <gsm.h>

#include <algorithm>
#include <new>

namespace ostrel::audio {

using engine::kFrameSamples;
using engine::kGsmFrameBytes;

namespace {

class GsmSpeechCodec final : public SpeechCodec {
public:
    explicit GsmSpeechCodec(gsm state) : state_(state) {}
    ~GsmSpeechCodec() override { gsm_destroy(state_); }

    GsmSpeechCodec(const GsmSpeechCodec&) = delete;
    GsmSpeechCodec& operator=(const GsmSpeechCodec&) = delete;

    bool encodeMessage(const int16_t* pcm, size_t count, engine::SessionMessage& message) override {
        const size_t room = engine::SessionMessage::payloadCapacity() / kGsmFrameBytes;
        const size_t frames = std::min(count / kFrameSamples, room);
        for (size_t k = 0; k < frames; ++k) {
            encodeOne(pcm + k * kFrameSamples, message.payload() + k * kGsmFrameBytes);
        }
        message.setSampleCount(static_cast<uint32_t>(count));
        message.setPayloadLength(static_cast<uint32_t>(frames * kGsmFrameBytes));
        return true;
    }

    bool decodeMessage(const engine::MessageView& message, int16_t* pcm, size_t capacity,
                       uint32_t& sampleCount) override {
        sampleCount = static_cast<uint32_t>(std::min<size_t>(message.sampleCount(), capacity));
        const size_t frameBytes = message.payloadLength() - message.trailerLength();
        const size_t frames = std::min(frameBytes / kGsmFrameBytes, capacity / kFrameSamples);
        const uint8_t* in = message.payload().data();
        for (size_t k = 0; k < frames; ++k) {
            decodeOne(in + k * kGsmFrameBytes, pcm + k * kFrameSamples);
        }
        return true;
    }

    bool encodeFrames(const int16_t* pcm, size_t& count, uint8_t* out) override {
        const size_t frames = count / kFrameSamples;
        for (size_t k = 0; k < frames; ++k) {
            encodeOne(pcm + k * kFrameSamples, out + k * kGsmFrameBytes);
        }
        count = frames * kGsmFrameBytes;
        return true;
    }

    bool decodeFrames(const uint8_t* in, int16_t* pcm, size_t& count) override {
        const size_t frames = count / kGsmFrameBytes;
        for (size_t k = 0; k < frames; ++k) {
            decodeOne(in + k * kGsmFrameBytes, pcm + k * kFrameSamples);
        }
        count = frames * kFrameSamples;
        return true;
    }

private:
    void encodeOne(const int16_t* samples, uint8_t* frame) {
        // libgsm's prototype is not const-correct; it only reads the samples.
        gsm_encode(state_, const_cast<gsm_signal*>(samples), frame);
    }

    void decodeOne(const uint8_t* frame, int16_t* samples) {
        // A frame without the 0xD signature is reported as -1 and leaves `samples` untouched;
        // the stream goes on with the next frame.
        (void)gsm_decode(state_, const_cast<gsm_byte*>(frame), samples);
    }

    gsm state_;
};

}  // namespace

std::unique_ptr<SpeechCodec> SpeechCodec::create() {
    gsm state = gsm_create();
    if (state == nullptr) {
        return nullptr;
    }
    auto* codec = new (std::nothrow) GsmSpeechCodec(state);
    if (codec == nullptr) {
        gsm_destroy(state);
    }
    return std::unique_ptr<SpeechCodec>(codec);
}

}  // namespace ostrel::audio
