#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "audio/SpeechCodec.h"
#include "engine/SessionMessage.h"

using namespace ostrel::audio;
using namespace ostrel::engine;

namespace {

// A speech-like test signal: two partials with a slow amplitude swing and some noise, so every
// part of the coder (LPC, long-term prediction, RPE) is exercised.
std::vector<int16_t> testSignal(size_t samples) {
    std::vector<int16_t> out(samples);
    uint32_t noise = 12345;
    for (size_t i = 0; i < samples; ++i) {
        const double t = static_cast<double>(i) / 8000.0;
        const double envelope = 0.55 + 0.45 * std::sin(2 * M_PI * 1.3 * t);
        noise = noise * 1103515245u + 12345u;
        const double n = (static_cast<double>((noise >> 16) & 0x7FFF) / 32768.0 - 0.5) * 1500.0;
        const double v = envelope * (9000.0 * std::sin(2 * M_PI * 220.0 * t) +
                                     4000.0 * std::sin(2 * M_PI * 1870.0 * t)) +
                         n;
        out[i] = static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
    }
    return out;
}

std::string tempPath(const std::string& name) {
    return "/tmp/ostrel-codec-" + std::to_string(getpid()) + "-" + name;
}

void writeFile(const std::string& path, const void* data, size_t bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(bytes));
}

std::vector<uint8_t> runTool(const std::string& command) {
    std::vector<uint8_t> out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    uint8_t buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.insert(out.end(), buffer, buffer + n);
    }
    pclose(pipe);
    return out;
}

bool haveTools() {
    return access("/usr/bin/toast", X_OK) == 0 && access("/usr/bin/untoast", X_OK) == 0;
}

}  // namespace

TEST(SpeechCodecReference, FramesMatchToastAndUntoast) {
    ASSERT_TRUE(haveTools())
        << "toast/untoast (package libgsm-tools) are needed; run scripts/install-deps";
    const size_t frames = 250;  // 5 seconds
    const std::vector<int16_t> pcm = testSignal(frames * kFrameSamples);
    const std::string linear = tempPath("in.l");
    writeFile(linear, pcm.data(), pcm.size() * sizeof(int16_t));
    const std::vector<uint8_t> toasted = runTool("toast -c -l " + linear);
    ASSERT_EQ(toasted.size(), frames * kGsmFrameBytes);

    auto encoder = SpeechCodec::create();
    ASSERT_TRUE(encoder);
    std::vector<uint8_t> ours(frames * kGsmFrameBytes);
    // In blocks of 1600 samples, as the engine codes them.
    for (size_t block = 0; block < frames / kBlockFrames; ++block) {
        size_t count = kBlockSamples;
        ASSERT_TRUE(encoder->encodeFrames(pcm.data() + block * kBlockSamples, count,
                                          ours.data() + block * kVoiceFramesSize));
        ASSERT_EQ(count, kVoiceFramesSize);
    }
    EXPECT_EQ(ours, toasted);

    const std::string gsmFile = tempPath("in.gsm");
    writeFile(gsmFile, toasted.data(), toasted.size());
    const std::vector<uint8_t> untoasted = runTool("untoast -c -l " + gsmFile);
    ASSERT_EQ(untoasted.size(), frames * kFrameSamples * sizeof(int16_t));

    auto decoder = SpeechCodec::create();
    std::vector<int16_t> decoded(frames * kFrameSamples);
    size_t count = toasted.size();
    ASSERT_TRUE(decoder->decodeFrames(toasted.data(), decoded.data(), count));
    EXPECT_EQ(count, decoded.size());
    EXPECT_EQ(std::memcmp(decoded.data(), untoasted.data(), untoasted.size()), 0);
    std::remove(linear.c_str());
    std::remove(gsmFile.c_str());
}

TEST(SpeechCodecMessage, EncodesWholeFramesAndStoresTheCount) {
    auto codec = SpeechCodec::create();
    const auto pcm = testSignal(kBlockSamples);

    SessionMessage full(MSG_VOICE);
    ASSERT_TRUE(codec->encodeMessage(pcm.data(), 1600, full));
    EXPECT_EQ(full.payloadLength(), 330u);
    EXPECT_EQ(full.sampleCount(), 1600u);
    for (size_t k = 0; k < 10; ++k) {
        EXPECT_EQ(full.payload()[k * 33] >> 4, 0xD) << "frame " << k;
    }

    SessionMessage partial(MSG_VOICE);
    ASSERT_TRUE(codec->encodeMessage(pcm.data(), 1599, partial));
    EXPECT_EQ(partial.payloadLength(), 297u);
    EXPECT_EQ(partial.sampleCount(), 1599u);
    EXPECT_EQ(partial.payload()[297], 0);  // the tenth frame was not coded

    SessionMessage tiny(MSG_VOICE);
    ASSERT_TRUE(codec->encodeMessage(pcm.data(), 159, tiny));
    EXPECT_EQ(tiny.payloadLength(), 0u);
    EXPECT_EQ(tiny.sampleCount(), 159u);
    EXPECT_EQ(tiny.payload()[0], 0);
}

TEST(SpeechCodecMessage, DecodesTenFramesOfATrailedPacket) {
    auto encoder = SpeechCodec::create();
    auto decoder = SpeechCodec::create();
    auto reference = SpeechCodec::create();
    const auto pcm = testSignal(kBlockSamples);
    SessionMessage voice(MSG_VOICE);
    encoder->encodeMessage(pcm.data(), kBlockSamples, voice);
    uint32_t sequence = 1;
    ASSERT_TRUE(voice.appendVoiceTrailer(sequence));
    auto view = MessageView::read(voice.data(), voice.size());
    ASSERT_TRUE(view);

    std::vector<int16_t> out(kBlockSamples, 0x1111);
    uint32_t samples = 0;
    ASSERT_TRUE(decoder->decodeMessage(*view, out.data(), out.size(), samples));
    EXPECT_EQ(samples, 1600u);
    std::vector<int16_t> want(kBlockSamples);
    size_t count = kVoiceFramesSize;
    reference->decodeFrames(voice.payload(), want.data(), count);
    EXPECT_EQ(out, want);  // the trailer was not taken for frame bytes
}

TEST(SpeechCodecMessage, NeverWritesPastTheCallersBlock) {
    auto encoder = SpeechCodec::create();
    auto decoder = SpeechCodec::create();
    const auto pcm = testSignal(kBlockSamples);
    SessionMessage voice(MSG_VOICE);
    encoder->encodeMessage(pcm.data(), kBlockSamples, voice);
    auto view = MessageView::read(voice.data(), voice.size());
    ASSERT_TRUE(view);
    std::vector<int16_t> out(kBlockSamples, 0x2222);
    uint32_t samples = 0;
    ASSERT_TRUE(decoder->decodeMessage(*view, out.data(), 800, samples));
    EXPECT_EQ(samples, 800u);
    for (size_t i = 800; i < kBlockSamples; ++i) {
        ASSERT_EQ(out[i], 0x2222) << i;
    }
}

TEST(SpeechCodecFrames, ByteAndSampleCounts) {
    auto encoder = SpeechCodec::create();
    auto decoder = SpeechCodec::create();
    const auto pcm = testSignal(kBlockSamples);
    std::vector<uint8_t> frames(kVoiceFramesSize);
    size_t count = kBlockSamples;
    encoder->encodeFrames(pcm.data(), count, frames.data());
    EXPECT_EQ(count, 330u);

    std::vector<int16_t> out(kBlockSamples);
    count = 330;
    EXPECT_TRUE(decoder->decodeFrames(frames.data(), out.data(), count));
    EXPECT_EQ(count, 1600u);
    count = 32;
    EXPECT_TRUE(decoder->decodeFrames(frames.data(), out.data(), count));
    EXPECT_EQ(count, 0u);
}

TEST(SpeechCodecFrames, BadSignatureLeavesItsSamplesUntouched) {
    auto encoder = SpeechCodec::create();
    auto decoder = SpeechCodec::create();
    const auto pcm = testSignal(3 * kFrameSamples);
    std::vector<uint8_t> frames(3 * kGsmFrameBytes);
    size_t count = pcm.size();
    encoder->encodeFrames(pcm.data(), count, frames.data());
    frames[kGsmFrameBytes] = static_cast<uint8_t>(0x50 | (frames[kGsmFrameBytes] & 0x0F));

    std::vector<int16_t> out(3 * kFrameSamples, 0x3333);
    count = frames.size();
    EXPECT_TRUE(decoder->decodeFrames(frames.data(), out.data(), count));
    EXPECT_EQ(count, 480u);
    for (size_t i = kFrameSamples; i < 2 * kFrameSamples; ++i) {
        ASSERT_EQ(out[i], 0x3333) << i;
    }
    // The frames around it were decoded.
    EXPECT_NE(std::count(out.begin(), out.begin() + kFrameSamples, 0x3333), 160);
    EXPECT_NE(std::count(out.begin() + 2 * kFrameSamples, out.end(), 0x3333), 160);
}
