// A recorded call end to end: two engines on loopback, each with its own tone as microphone;
// the caller records, and the saved file, decoded with the project's codec, holds both.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <thread>
#include <vector>

#include "audio/FileBackend.h"
#include "audio/SpeechCodec.h"
#include "engine/EngineSink.h"
#include "engine/NetCore.h"
#include "recording/ConversationRecorder.h"
#include "recording/RecordingFormat.h"
#include "tests/audio/WavFiles.h"
#include "tests/recording/RecordingTestFiles.h"
#include "tests/support/ToneMeter.h"

namespace ostrel::recording {
namespace {

using audio::testing::ScratchFolder;
using ostrel::test::toneLevel;

constexpr double kPi = 3.14159265358979323846;

std::vector<int16_t> tone(double hz, double seconds) {
    std::vector<int16_t> s(static_cast<size_t>(seconds * 8000));
    for (size_t i = 0; i < s.size(); ++i) {
        s[i] = static_cast<int16_t>(8000 * std::sin(2 * kPi * hz * static_cast<double>(i) / 8000));
    }
    return s;
}

// The window's sink, reduced to what a recorded call needs: accept calls, hand blocks on.
class RecordingEngineSink final : public engine::EngineSink {
public:
    ConversationRecorder* recorder = nullptr;

    void log(std::string_view) override {}
    void notify(engine::Notification n) override {
        if (n.code == engine::NotificationCode::IncomingCall ||
            n.code == engine::NotificationCode::IncomingCallInCall) {
            std::get<engine::IncomingCallRequest*>(n.parameter)
                ->respond(engine::IncomingCallRequest::kAccept);
        }
    }
    bool addBlock(const void* pcm, std::size_t byteCount, uint32_t direction) override {
        return recorder == nullptr || recorder->addBlock(pcm, byteCount, direction);
    }
};

engine::EngineTimings quickTimings() {
    engine::EngineTimings t;
    t.listenerWaitMs = 50;
    t.handshakeWaitMs = 100;
    t.busyPauseMs = 50;
    t.requestThreadPollMs = 10;
    return t;
}

TEST(CallRecording, SavedFileHoldsBothSidesOfTheCall) {
    ScratchFolder scratch;
    constexpr double kAliceHz = 600, kBobHz = 1400;
    ASSERT_TRUE(audio::testing::writeWav(scratch.file("alice.wav"), tone(kAliceHz, 8), 8000, 1,
                                         SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    ASSERT_TRUE(audio::testing::writeWav(scratch.file("bob.wav"), tone(kBobHz, 8), 8000, 1,
                                         SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    audio::FileBackend aliceAudio(scratch.file("alice.wav"), "", [](const std::string&) {});
    audio::FileBackend bobAudio(scratch.file("bob.wav"), "", [](const std::string&) {});
    RecordingEngineSink aliceSink, bobSink;
    engine::NetCore alice("alice-instance", 0, aliceSink, "alice", 6, quickTimings(), &aliceAudio);
    engine::NetCore bob("bob-instance", 0, bobSink, "bob", 6, quickTimings(), &bobAudio);
    ConversationRecorder recorder([&] { return alice.conferenceGuid(); }, scratch.path());
    aliceSink.recorder = &recorder;

    engine::ConnectionRequest call;
    call.address = "127.0.0.1";
    call.port = bob.listeningPort();
    call.expectedUser = "bob";
    call.confirmUser = true;
    alice.setRecording(true);
    ASSERT_TRUE(alice.connect(call));
    std::this_thread::sleep_for(std::chrono::seconds(4));

    // As the window does: save first, then stop the engines.
    const std::string saved = scratch.file("call.vrec");
    ASSERT_TRUE(recorder.isStarted());
    EXPECT_EQ(std::filesystem::path(recorder.temporaryPath()).filename(), alice.conferenceGuid());
    ASSERT_TRUE(recorder.save(saved));
    alice.stop();
    bob.stop();

    const std::vector<int16_t> pcm = testing::decodeRecording(saved);
    ASSERT_GE(pcm.size(), 10u * kBlockSamples);
    // Mixed blocks hold each side at half its level.
    EXPECT_GT(toneLevel(pcm, kAliceHz), 1000);
    EXPECT_GT(toneLevel(pcm, kBobHz), 1000);
    EXPECT_LT(toneLevel(pcm, 2500), 400);
}

}  // namespace
}  // namespace ostrel::recording
