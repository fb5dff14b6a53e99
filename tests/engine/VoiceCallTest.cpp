// Calls with sound: engines on loopback with file audio, each capturing its own tone; what a
// party played is checked by frequency, since GSM keeps pitch but not exact samples.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "RecordingSink.h"
#include "ToneAudio.h"
#include "audio/FileBackend.h"
#include "engine/NetCore.h"
#include "engine/VoiceActivity.h"
#include "engine/VoiceSession.h"
#include "tests/support/ToneMeter.h"

using namespace ostrel::engine;
using namespace enginetest;
using ostrel::test::toneLevel;

namespace {

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string writeTone(const std::string& path, const std::vector<int16_t>& samples) {
    writeWav(path, samples);
    return path;
}

// One participant: an engine whose microphone is a tone file and whose speaker is a file.
struct Party {
    Party(Scratch& dir, const std::string& name, const std::vector<int16_t>& microphone,
          EngineTimings timings = fastTimings())
        : playback(dir.file(name + "-played.wav")),
          backend(writeTone(dir.file(name + "-mic.wav"), microphone), playback,
                  [](const std::string&) {}),
          sink(RecordingSink::Answer::Accept),
          engine(name + "-instance", 0, sink, name, 6, timings, &backend) {}

    ConnectionRequest callFrom(const std::string& user) {
        ConnectionRequest r;
        r.address = "127.0.0.1";
        r.port = engine.listeningPort();
        r.expectedUser = user;
        r.confirmUser = true;
        return r;
    }
    std::vector<int16_t> heard() { return audiblePart(readWav(playback)); }

    std::string playback;
    ostrel::audio::FileBackend backend;
    RecordingSink sink;
    NetCore engine;
};

// A tone is heard when its level is well above the noise GSM adds, and absent when it is
// far below it (the tones used are 8000 in amplitude).
constexpr double kHeard = 1000;
constexpr double kAbsent = 400;

bool blockIsLoud(const Notification& n) {
    const auto& block = std::get<PcmBlock>(n.parameter);
    return blockHasSpeech(block.samples.data(), block.samples.size());
}

}  // namespace

TEST(VoiceActivity, SpeechNeedsMoreThanAFifthOfTheExaminedSamplesBeyondTheThreshold) {
    std::vector<int16_t> block(1600, 0);
    // 320 loud samples after the first 200 are not enough; 321 are.
    for (size_t i = 200; i < 520; ++i) {
        block[i] = (i % 2 == 0) ? 2561 : -2561;
    }
    EXPECT_FALSE(blockHasSpeech(block.data(), block.size()));
    block[1599] = -3000;
    EXPECT_TRUE(blockHasSpeech(block.data(), block.size()));
    // Exactly the threshold is not beyond it.
    std::fill(block.begin(), block.end(), 2560);
    EXPECT_FALSE(blockHasSpeech(block.data(), block.size()));
    // The first 200 samples are never examined.
    std::fill(block.begin(), block.end(), 0);
    std::fill(block.begin(), block.begin() + 200, 30000);
    for (size_t i = 200; i < 200 + 200; ++i) {
        block[i] = 30000;
    }
    EXPECT_FALSE(blockHasSpeech(block.data(), block.size()));
}

TEST(VoiceActivity, HangOverSendsTenSilentBlocksAfterSpeech) {
    SilenceGate gate;
    EXPECT_TRUE(gate.admit(true));
    int sent = 0;
    for (int i = 0; i < 30; ++i) {
        sent += gate.admit(false) ? 1 : 0;
    }
    EXPECT_EQ(sent, 10);
    EXPECT_TRUE(gate.admit(true));
    EXPECT_TRUE(gate.admit(false));
}

TEST(VoiceCall, EachPartyHearsTheOthersToneAndSilenceIsSuppressed) {
    Scratch dir;
    // Alice: 1 s of tone, 4 s of silence, 1 s of tone again. Bob: a steady tone.
    std::vector<int16_t> aliceMic = tone(440, 1, 8000, 4);
    const auto again = tone(440, 1);
    aliceMic.insert(aliceMic.end(), again.begin(), again.end());
    Party alice(dir, "alice", aliceMic);
    Party bob(dir, "bob", tone(1000, 8));

    ASSERT_TRUE(alice.engine.connect(bob.callFrom("bob")));
    sleepMs(7000);
    alice.engine.stop();
    bob.engine.stop();

    const auto aliceHeard = alice.heard();
    const auto bobHeard = bob.heard();
    ASSERT_GT(aliceHeard.size(), 8000u);
    ASSERT_GT(bobHeard.size(), 8000u);
    EXPECT_GT(toneLevel(aliceHeard, 1000), kHeard);
    EXPECT_LT(toneLevel(aliceHeard, 440), kAbsent);
    EXPECT_GT(toneLevel(bobHeard, 440), kHeard);
    EXPECT_LT(toneLevel(bobHeard, 1000), kAbsent);

    // What alice sent: 5 loud blocks, the 10 silent blocks of the hang-over, nothing more
    // until the tone returns, then loud blocks again.
    const auto sent = alice.sink.all(NotificationCode::VoiceSent);
    ASSERT_GE(sent.size(), 20u);
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(blockIsLoud(sent[i]), i < 5 || i >= 15) << "block " << i;
    }
    // Bob talks all the time, so every one of his blocks went out.
    EXPECT_GE(bob.sink.count(NotificationCode::VoiceSent), 30u);
    EXPECT_GT(bob.sink.count(NotificationCode::VoicePlayed), 5u);
    EXPECT_EQ(alice.sink.count(NotificationCode::ConnectionLost), 0u);
}

TEST(VoiceCall, ConferenceGivesEveryoneTheOthersButNotThemselves) {
    Scratch dir;
    Party alice(dir, "alice", tone(500, 8));
    Party bob(dir, "bob", tone(1100, 8));
    Party carol(dir, "carol", tone(1700, 8));
    ASSERT_TRUE(alice.engine.connect(bob.callFrom("bob")));
    ASSERT_TRUE(carol.engine.connect(alice.callFrom("alice")));
    ASSERT_EQ(alice.engine.connectedPeers().size(), 2u);
    sleepMs(4000);
    alice.engine.stop();
    bob.engine.stop();
    carol.engine.stop();

    // Alice is the hub: she mixes bob for carol and carol for bob.
    const auto a = alice.heard();
    const auto b = bob.heard();
    const auto c = carol.heard();
    EXPECT_GT(toneLevel(a, 1100), kHeard);
    EXPECT_GT(toneLevel(a, 1700), kHeard);
    EXPECT_LT(toneLevel(a, 500), kAbsent);
    EXPECT_GT(toneLevel(b, 500), kHeard);
    EXPECT_GT(toneLevel(b, 1700), kHeard);
    EXPECT_LT(toneLevel(b, 1100), kAbsent);
    EXPECT_GT(toneLevel(c, 500), kHeard);
    EXPECT_GT(toneLevel(c, 1100), kHeard);
    EXPECT_LT(toneLevel(c, 1700), kAbsent);
}

TEST(VoiceCall, MutedGatewaySessionNeitherHearsNorIsHeard) {
    Scratch dir;
    Party alice(dir, "alice", tone(440, 6));
    Party bridge(dir, "bridge", tone(1000, 6));
    ConnectionRequest r = bridge.callFrom("bridge");
    r.viaBridge = true;
    r.bridgeType = 1;
    r.connectionString = "5551234";
    r.autoDtmf = true;
    r.dtmf1 = "1";
    r.delay1 = 60000;  // never within the test: the session stays muted
    ASSERT_TRUE(alice.engine.connect(r));
    sleepMs(2500);
    alice.engine.stop();
    bridge.engine.stop();
    EXPECT_TRUE(alice.heard().empty());
    EXPECT_TRUE(bridge.heard().empty());
    EXPECT_EQ(alice.sink.count(NotificationCode::DigitsSent), 0u);
}

TEST(VoiceCall, AutomaticDigitsWithOneStringSendOnceAndUnmuteASecondLater) {
    Scratch dir;
    Party alice(dir, "alice", tone(440, 5));
    Party bridge(dir, "bridge", tone(1000, 5));
    ConnectionRequest r = bridge.callFrom("bridge");
    r.viaBridge = true;
    r.bridgeType = 1;
    r.connectionString = "5551234";
    r.autoDtmf = true;
    r.dtmf1 = "12#";
    r.delay1 = 100;
    const SessionId id = alice.engine.connect(r);
    ASSERT_TRUE(id);
    const auto muted = [&] {
        bool m = false;
        alice.engine.forEachSession([&](VoiceSession& s) {
            if (s.id() == id) {
                m = s.isMuted();
            }
        });
        return m;
    };
    auto digits = alice.sink.waitFor(NotificationCode::DigitsSent, 2000);
    ASSERT_TRUE(digits);
    EXPECT_EQ(std::get<DigitsSentRecord>(digits->parameter).digits, "12#");
    EXPECT_TRUE(muted());
    sleepMs(700);
    EXPECT_TRUE(muted());
    sleepMs(800);
    EXPECT_FALSE(muted());
    sleepMs(1500);
    EXPECT_EQ(alice.sink.count(NotificationCode::DigitsSent), 1u);
    // The bridge took exactly one digit message.
    bridge.engine.forEachSession([&](VoiceSession& s) {
        if (s.type() == SessionType::Incoming) {
            EXPECT_EQ(s.digitSequenceIn(), 1u);
        }
    });
    alice.engine.stop();
    bridge.engine.stop();
    // Once unmuted, the two hear each other.
    EXPECT_GT(toneLevel(bridge.heard(), 440), kHeard);
    EXPECT_GT(toneLevel(alice.heard(), 1000), kHeard);
}

TEST(VoiceCall, LastPeerHangingUpEndsTheCallButStoppingDoesNot) {
    Scratch dir;
    Party alice(dir, "alice", tone(440, 1));
    Party bob(dir, "bob", tone(1000, 1));
    Party carol(dir, "carol", tone(700, 1));
    ASSERT_TRUE(alice.engine.connect(bob.callFrom("bob")));
    ASSERT_TRUE(alice.engine.connect(carol.callFrom("carol")));
    bob.engine.stop();
    ASSERT_TRUE(alice.sink.waitFor(NotificationCode::PeerDisconnected, 2000));
    // Carol is still there.
    sleepMs(300);
    EXPECT_EQ(alice.sink.count(NotificationCode::ConnectionLost), 0u);
    EXPECT_EQ(bob.sink.count(NotificationCode::ConnectionLost), 0u);
    EXPECT_EQ(alice.engine.connectedPeers().size(), 1u);
    alice.engine.stop();
    EXPECT_TRUE(carol.sink.waitFor(NotificationCode::ConnectionLost, 2000));
    EXPECT_EQ(alice.sink.count(NotificationCode::ConnectionLost), 0u);
    EXPECT_EQ(alice.sink.count(NotificationCode::PeerDisconnected), 2u);
}

TEST(VoiceCall, RecordingSwitchHandsSentAndPlayedBlocksToTheRecorder) {
    Scratch dir;
    Party alice(dir, "alice", tone(440, 4));
    Party bob(dir, "bob", tone(1000, 4));
    ASSERT_TRUE(alice.engine.connect(bob.callFrom("bob")));
    sleepMs(1000);
    EXPECT_EQ(alice.sink.recorded(0) + alice.sink.recorded(1), 0u);
    alice.engine.setRecording(true);
    sleepMs(1500);
    alice.engine.setRecording(false);
    const size_t sent = alice.sink.recorded(0), played = alice.sink.recorded(1);
    // 1.5 s is about 7 blocks each way.
    EXPECT_GE(sent, 5u);
    EXPECT_LE(sent, 9u);
    EXPECT_GE(played, 4u);
    EXPECT_LE(played, 9u);
    EXPECT_EQ(alice.sink.recorded(2), 0u);
    sleepMs(600);
    EXPECT_EQ(alice.sink.recorded(0), sent);
    EXPECT_EQ(alice.sink.recorded(1), played);
    EXPECT_EQ(bob.sink.recorded(0) + bob.sink.recorded(1), 0u);
}
