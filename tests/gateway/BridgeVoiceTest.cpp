#include <gtest/gtest.h>

#include <thread>

#include "GatewayPeer.h"
#include "audio/SpeechCodec.h"
#include "gateway/ToneSource.h"
#include "platform/Platform.h"
#include "tests/support/ToneMeter.h"

using namespace ostrel::engine;
using namespace gatewaytest;
using namespace ostrel::test;
using ostrel::audio::SpeechCodec;
using ostrel::gateway::VoiceBlock;
using wire::Packet;
using wire::RawPeer;

namespace {

const std::vector<double> kCandidates{300, 440, 700, 1000, 1500, 2200, 3000};

// Decodes a voice datagram's frames (checked by the test's own offsets first).
VoiceBlock decode(SpeechCodec& codec, const Packet& p) {
    VoiceBlock pcm{};
    size_t count = 330;
    codec.decodeFrames(p.bytes.data() + 13, pcm.data(), count);
    return pcm;
}

std::vector<Packet> voicePackets(RawPeer& peer, int ms) {
    std::vector<Packet> voice;
    for (auto& p : peer.drain(ms)) {
        if (p.code() == MSG_VOICE) {
            voice.push_back(std::move(p));
        }
    }
    return voice;
}

}  // namespace

class BridgeVoiceTest : public BridgeFixture {};

TEST_F(BridgeVoiceTest, ToneComesEveryBlockWithItsTrailer) {
    auto settings = fastBridge();
    settings.toneHz = 1000;
    startBridge(settings);
    RawPeer caller;
    ASSERT_TRUE(connect(caller));
    const auto voice = voicePackets(caller, 1100);
    ASSERT_GE(voice.size(), 3u);
    EXPECT_LE(voice.size(), 7u) << "one block per 200 ms, not a burst";
    auto codec = SpeechCodec::create();
    ASSERT_TRUE(codec);
    for (size_t i = 0; i < voice.size(); ++i) {
        const auto& b = voice[i].bytes;
        ASSERT_EQ(b.size(), 13u + 336u);
        EXPECT_EQ(wire::u32(b, 5), 1600u) << "sample count";
        EXPECT_EQ(voice[i].payloadLength(), 336u);
        EXPECT_EQ(u16(b, 13 + 330), 6u) << "trailer length";
        EXPECT_EQ(wire::u32(b, 13 + 332), i + 1) << "sequence from 1";
        for (size_t frame = 0; frame < 10; ++frame) {
            EXPECT_EQ(b[13 + frame * 33] >> 4, 0xD) << "GSM frame magic, frame " << frame;
        }
        const VoiceBlock pcm = decode(*codec, voice[i]);
        if (i > 0) {  // the coder settles during its first frames
            EXPECT_EQ(strongest(pcm, kCandidates), 1000.0) << "block " << i;
            EXPECT_GT(rms(pcm), 2000.0);
        }
    }
}

TEST_F(BridgeVoiceTest, EchoReturnsTheCallersVoiceAndSilenceBeforeIt) {
    auto settings = fastBridge();
    settings.voice = ostrel::gateway::VoiceMode::Echo;
    startBridge(settings);
    RawPeer caller;
    ASSERT_TRUE(connect(caller));
    auto decoder = SpeechCodec::create();
    auto encoder = SpeechCodec::create();
    ASSERT_TRUE(decoder && encoder);

    const auto quiet = voicePackets(caller, 500);
    ASSERT_FALSE(quiet.empty()) << "echo sends voice even before the caller speaks";
    for (const auto& p : quiet) {
        EXPECT_LT(rms(decode(*decoder, p)), 50.0);
    }

    ostrel::gateway::ToneSource tone(700);
    uint32_t sequence = 1;
    std::vector<Packet> echoed;
    for (int i = 0; i < 8; ++i) {
        VoiceBlock block{};
        tone.next(block);
        SessionMessage m(MSG_VOICE);
        encoder->encodeMessage(block.data(), block.size(), m);
        m.appendVoiceTrailer(sequence);
        send(caller, m);
        const auto got = voicePackets(caller, 200);
        echoed.insert(echoed.end(), got.begin(), got.end());
    }
    const auto tail = voicePackets(caller, 400);
    echoed.insert(echoed.end(), tail.begin(), tail.end());
    size_t toneBlocks = 0;
    for (const auto& p : echoed) {
        const VoiceBlock pcm = decode(*decoder, p);
        if (rms(pcm) > 1000.0 && strongest(pcm, kCandidates) == 700.0) {
            ++toneBlocks;
        }
    }
    EXPECT_GE(toneBlocks, 4u) << "the caller's 700 Hz came back";
}

TEST_F(BridgeVoiceTest, EchoSkipsRepeatedAndLatePackets) {
    auto settings = fastBridge();
    settings.voice = ostrel::gateway::VoiceMode::Echo;
    settings.voiceIntervalMs = 500;  // the queue fills faster than it drains
    startBridge(settings);
    RawPeer caller;
    ASSERT_TRUE(connect(caller));
    auto encoder = SpeechCodec::create();
    auto decoder = SpeechCodec::create();
    ostrel::gateway::ToneSource tone(700);
    VoiceBlock block{};
    tone.next(block);
    SessionMessage loud(MSG_VOICE);
    encoder->encodeMessage(block.data(), block.size(), loud);
    uint32_t five = 5;
    loud.appendVoiceTrailer(five);
    send(caller, loud);
    // The same packet again, and one numbered below it: neither may be played a second time.
    send(caller, loud);
    SessionMessage late = loud;
    late.putU32(332, 3);
    send(caller, late);
    const auto voice = voicePackets(caller, 1250);
    size_t loudBlocks = 0;
    for (const auto& p : voice) {
        loudBlocks += rms(decode(*decoder, p)) > 1000.0 ? 1 : 0;
    }
    EXPECT_EQ(loudBlocks, 1u);
}
