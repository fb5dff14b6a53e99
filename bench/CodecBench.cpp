// Speed of the speech codec wrapper against libgsm itself, and of building and reading a voice
// message. Both are measured in the same run so the ratio is meaningful on any machine.
#include <gsm.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "audio/SpeechCodec.h"
#include "engine/SessionMessage.h"

using namespace ostrel;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<int16_t> speechLikeBlock() {
    std::vector<int16_t> pcm(engine::kBlockSamples);
    for (size_t i = 0; i < pcm.size(); ++i) {
        const double t = static_cast<double>(i) / 8000.0;
        pcm[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 240 * t) +
                                      3000 * std::sin(2 * M_PI * 1300 * t));
    }
    return pcm;
}

// Median over rounds of the mean time per call, in nanoseconds.
double nanosPerCall(size_t callsPerRound, const std::function<void()>& call) {
    std::vector<double> rounds;
    for (int r = 0; r < 9; ++r) {
        const auto start = Clock::now();
        for (size_t i = 0; i < callsPerRound; ++i) {
            call();
        }
        const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
        rounds.push_back(elapsed.count() / static_cast<double>(callsPerRound));
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[rounds.size() / 2];
}

}  // namespace

int main() {
    const std::vector<int16_t> pcm = speechLikeBlock();
    std::vector<int16_t> out(engine::kBlockSamples);
    constexpr size_t kBlocks = 400;  // 80 seconds of speech per round

    gsm rawEncoder = gsm_create();
    gsm rawDecoder = gsm_create();
    uint8_t rawFrames[engine::kVoiceFramesSize];
    const double rawEncode = nanosPerCall(kBlocks, [&] {
        for (size_t k = 0; k < engine::kBlockFrames; ++k) {
            gsm_encode(rawEncoder, const_cast<gsm_signal*>(pcm.data() + k * 160),
                       rawFrames + k * 33);
        }
    });
    const double rawDecode = nanosPerCall(kBlocks, [&] {
        for (size_t k = 0; k < engine::kBlockFrames; ++k) {
            gsm_decode(rawDecoder, rawFrames + k * 33, out.data() + k * 160);
        }
    });

    auto encoder = audio::SpeechCodec::create();
    auto decoder = audio::SpeechCodec::create();
    engine::SessionMessage voice(engine::MSG_VOICE);
    uint32_t sequence = 1;
    const double wrapEncode =
        nanosPerCall(kBlocks, [&] { encoder->encodeMessage(pcm.data(), pcm.size(), voice); });
    voice.appendVoiceTrailer(sequence);
    auto view = engine::MessageView::read(voice.data(), voice.size());
    uint32_t samples = 0;
    const double wrapDecode = nanosPerCall(
        kBlocks, [&] { decoder->decodeMessage(*view, out.data(), out.size(), samples); });

    uint8_t frames[engine::kVoiceFramesSize];
    std::memcpy(frames, voice.payload(), sizeof frames);
    volatile size_t sink = 0;
    const double build = nanosPerCall(200000, [&] {
        engine::SessionMessage m(engine::MSG_VOICE, engine::kVoiceFramesSize);
        m.setSampleCount(engine::kBlockSamples);
        std::memcpy(m.payload(), frames, sizeof frames);
        m.appendVoiceTrailer(sequence);
        sink = sink + m.size();
    });
    const double read = nanosPerCall(200000, [&] {
        auto v = engine::MessageView::read(voice.data(), voice.size());
        sink = sink + (v ? v->sequence() + v->frameCount() : 0);
    });

    gsm_destroy(rawEncoder);
    gsm_destroy(rawDecoder);

    std::printf("%-34s %12s %12s %8s\n", "operation", "ours", "libgsm", "ratio");
    std::printf("%-34s %9.1f us %9.1f us %8.2f\n", "encode one 200 ms block", wrapEncode / 1000,
                rawEncode / 1000, wrapEncode / rawEncode);
    std::printf("%-34s %9.1f us %9.1f us %8.2f\n", "decode one 200 ms block", wrapDecode / 1000,
                rawDecode / 1000, wrapDecode / rawDecode);
    std::printf("%-34s %9.0f ns\n", "build a voice message", build);
    std::printf("%-34s %9.0f ns\n", "read a voice message", read);
    return 0;
}
