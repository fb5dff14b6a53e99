// An engine with a test socket as its peer: voice sequence checks, hang-up, digits with their
// acknowledgements, and the sweep of silent peers, all seen from the wire.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>

#include "RecordingSink.h"
#include "ToneAudio.h"
#include "Wire.h"
#include "audio/SpeechCodec.h"
#include "engine/NetCore.h"
#include "engine/VoiceSession.h"
#include "platform/Platform.h"

using namespace ostrel::engine;
using namespace enginetest;
using wire::Packet;
using wire::RawPeer;

namespace {

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class SessionControlTest : public ::testing::Test {
protected:
    void SetUp() override { makeEngine(fastTimings()); }

    void makeEngine(EngineTimings timings) {
        engine.reset();
        sink = std::make_unique<RecordingSink>(RecordingSink::Answer::Accept);
        engine =
            std::make_unique<NetCore>(kIdentity, 0, *sink, "alice", 6, timings, &silentAudio());
        port = engine->listeningPort();
    }

    // `peer` calls the engine, which accepts.
    void callIn(RawPeer& peer, const wire::ConnectRequestFields& fields = {}) {
        peer.sendTo(port, wire::connectRequest(fields));
        ASSERT_TRUE(peer.receiveCode(2, 2000)) << "no accept";
        ASSERT_TRUE(sink->waitFor(NotificationCode::PeerJoined, 2000));
        sleepMs(150);  // the other four accepts
        peer.drain(50);
    }

    std::vector<uint8_t> voice(std::optional<uint32_t> sequence) {
        SessionMessage m(MSG_VOICE);
        const auto pcm = tone(800, 0.2);
        codec->encodeMessage(pcm.data(), pcm.size(), m);
        if (sequence) {
            uint32_t counter = *sequence;
            m.appendVoiceTrailer(counter);
        }
        return {m.data(), m.data() + m.size()};
    }

    std::vector<uint8_t> digits(uint32_t sequence, const std::string& text) {
        std::vector<uint8_t> p(69, 0);
        p[0] = 1;
        wire::putU32(p, 1, sequence);
        wire::putText(p, 5, text);
        return wire::frame(MSG_DTMF, p);
    }

    // Digit messages that reached `peer` within `ms`, by sequence number.
    std::vector<uint32_t> digitNumbers(RawPeer& peer, int ms, uint8_t code = MSG_DTMF) {
        std::vector<uint32_t> numbers;
        for (const Packet& p : peer.drain(ms)) {
            if (p.code() == code) {
                numbers.push_back(wire::u32(p.bytes, 13 + 1));
            }
        }
        return numbers;
    }

    VoiceSession* onlyRemote() {
        VoiceSession* found = nullptr;
        engine->forEachSession([&](VoiceSession& s) {
            if (s.type() != SessionType::Local) {
                found = &s;
            }
        });
        return found;
    }

    void TearDown() override { engine.reset(); }

    std::unique_ptr<ostrel::audio::SpeechCodec> codec = ostrel::audio::SpeechCodec::create();
    std::unique_ptr<RecordingSink> sink;
    std::unique_ptr<NetCore> engine;
    uint16_t port = 0;
};

}  // namespace

TEST_F(SessionControlTest, DuplicatesOvertakenAndUnnumberedVoice) {
    RawPeer caller;
    callIn(caller);
    // 1, 1 again, 3 (2 lost so far), 2 (overtaken: dropped), no trailer, 4.
    for (const auto& packet :
         {voice(1), voice(1), voice(3), voice(2), voice(std::nullopt), voice(4)}) {
        caller.sendTo(port, packet);
        sleepMs(200);  // the real pace, so the speaker takes every block
    }
    sleepMs(1500);
    EXPECT_EQ(sink->count(NotificationCode::VoicePlayed), 4u);
    const auto lost = sink->all(NotificationCode::PacketsLost);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(std::get<SessionCount>(lost[0].parameter).count, 2u);
    EXPECT_TRUE(sink->logged("Duplicate voice packet was detected and ignored"));

    // With the check off, repeats are played as they come.
    engine->setSequenceCheck(false);
    caller.sendTo(port, voice(2));
    sleepMs(200);
    caller.sendTo(port, voice(2));
    sleepMs(1000);
    EXPECT_EQ(sink->count(NotificationCode::VoicePlayed), 6u);
    EXPECT_EQ(sink->count(NotificationCode::PacketsLost), 1u);
}

TEST_F(SessionControlTest, ReceivedDigitsAreTakenInOrderAndRepeatsAcknowledged) {
    RawPeer caller;
    callIn(caller);
    caller.sendTo(port, digits(1, "5"));
    caller.sendTo(port, digits(1, "5"));
    EXPECT_EQ(digitNumbers(caller, 400, MSG_DTMF_ACK), (std::vector<uint32_t>{1, 1}));
    // 3 skips 2: not acknowledged, not taken.
    caller.sendTo(port, digits(3, "7"));
    EXPECT_TRUE(digitNumbers(caller, 400, MSG_DTMF_ACK).empty());
    ASSERT_NE(onlyRemote(), nullptr);
    EXPECT_EQ(onlyRemote()->digitSequenceIn(), 1u);
    caller.sendTo(port, digits(2, "6"));
    caller.sendTo(port, digits(3, "7"));
    EXPECT_EQ(digitNumbers(caller, 400, MSG_DTMF_ACK), (std::vector<uint32_t>{2, 3}));
    EXPECT_EQ(onlyRemote()->digitSequenceIn(), 3u);
}

TEST_F(SessionControlTest, SentDigitsAreLimitedInFlightAndResentUntilAcknowledged) {
    RawPeer caller;
    callIn(caller);
    for (int i = 0; i < 8; ++i) {
        engine->sendDigits("9");
    }
    EXPECT_EQ(digitNumbers(caller, 500), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
    // Unacknowledged: the first five pending are sent again after 2 s, no sooner.
    EXPECT_TRUE(digitNumbers(caller, 1000).empty());
    EXPECT_EQ(digitNumbers(caller, 1800), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
    for (uint32_t n = 1; n <= 5; ++n) {
        std::vector<uint8_t> ack{1, 0, 0, 0, 0};
        wire::putU32(ack, 1, n);
        caller.sendTo(port, wire::frame(MSG_DTMF_ACK, ack));
    }
    // Now 6, 7 and 8 lead the list; 7 and 8 go out for the first time.
    EXPECT_EQ(digitNumbers(caller, 2500), (std::vector<uint32_t>{6, 7, 8}));
    EXPECT_EQ(onlyRemote()->pendingDigitCount(), 3u);
}

TEST_F(SessionControlTest, NoDigitsToAPeerBeforeVersionSix) {
    RawPeer caller;
    wire::ConnectRequestFields old;
    old.version = 5;
    callIn(caller, old);
    engine->sendDigits("123");
    EXPECT_TRUE(digitNumbers(caller, 500).empty());
    EXPECT_EQ(onlyRemote()->pendingDigitCount(), 0u);
}

TEST_F(SessionControlTest, HangUpCountsOnlyFromThePeer) {
    RawPeer callee;
    ConnectionRequest r;
    r.address = "127.0.0.1";
    r.port = callee.port();
    r.expectedUser = "bob";
    auto result = std::async(std::launch::async, [&] { return engine->connect(r); });
    auto request = callee.receiveCode(MSG_CONNECT_REQUEST, 2000);
    ASSERT_TRUE(request);
    callee.sendTo(request->fromPort, wire::connectAccept("bob", 6, "bob-id", ""));
    ASSERT_TRUE(result.get());

    RawPeer stranger("127.0.0.2");
    stranger.sendTo(request->fromPort, wire::frame(MSG_HANGUP));
    stranger.sendTo(request->fromPort, wire::probe(MSG_R_U_THERE, 1, 2));
    EXPECT_FALSE(stranger.receiveCode(MSG_I_AM_HERE, 400));
    EXPECT_EQ(sink->count(NotificationCode::PeerDisconnected), 0u);
    EXPECT_EQ(engine->connectedPeers().size(), 1u);

    // The peer's own probe is answered on the session, its hang-up ends the call.
    callee.sendTo(request->fromPort, wire::probe(MSG_R_U_THERE, 0x11223344, 0));
    auto answer = callee.receiveCode(MSG_I_AM_HERE, 1000);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->bytes, wire::probe(MSG_I_AM_HERE, 0x11223344, 0));
    callee.sendTo(request->fromPort, wire::frame(MSG_HANGUP));
    EXPECT_TRUE(sink->waitFor(NotificationCode::PeerDisconnected, 2000));
    EXPECT_TRUE(sink->waitFor(NotificationCode::ConnectionLost, 2000));
    EXPECT_TRUE(engine->connectedPeers().empty());
    EXPECT_TRUE(sink->logged("Hangup request received"));
}

TEST_F(SessionControlTest, DelayProbesOnTheSessionAreMeasured) {
    RawPeer caller;
    callIn(caller);
    engine->sendKeepAliveProbes();
    auto probe = caller.receiveCode(MSG_R_U_THERE, 2000);
    ASSERT_TRUE(probe);
    EXPECT_EQ(wire::u32(probe->bytes, 13 + 4), 0u);  // the periodic probes carry cookie 0
    std::vector<uint8_t> echo(probe->bytes.begin() + 13, probe->bytes.begin() + 21);
    echo.resize(12, 0);
    caller.sendTo(port, wire::frame(MSG_I_AM_HERE, echo));
    auto delay = sink->waitFor(NotificationCode::DelayMeasured, 2000);
    ASSERT_TRUE(delay);
    const auto& record = std::get<DelayRecord>(delay->parameter);
    EXPECT_EQ(record.session, onlyRemote()->id());
    EXPECT_LT(record.delayMs, 1000u);
}

TEST_F(SessionControlTest, SilentPeerIsSweptAndTheCallEnds) {
    EngineTimings t = fastTimings();
    t.tickMs = 20;
    t.probeTicks = 5;
    t.sweepTicks = 10;
    t.silentPeerMs = 1000;
    makeEngine(t);
    RawPeer caller;
    const uint32_t called = ostrel::platform::tickCount();
    callIn(caller);
    // It never answers the probes and is dropped at the first sweep after a second of silence.
    ASSERT_TRUE(caller.receiveCode(MSG_HANGUP, 4000));
    EXPECT_GE(ostrel::platform::tickCount() - called, 1000u);
    EXPECT_TRUE(sink->waitFor(NotificationCode::PeerDisconnected, 1000));
    EXPECT_TRUE(sink->waitFor(NotificationCode::ConnectionLost, 1000));
    EXPECT_TRUE(engine->connectedPeers().empty());
}

TEST(SilentPeerSweep, PeersThatAnswerProbesStay) {
    EngineTimings t = fastTimings();
    t.tickMs = 20;
    t.probeTicks = 5;
    t.sweepTicks = 10;
    t.silentPeerMs = 400;
    RecordingSink aliceSink(RecordingSink::Answer::Accept), bobSink(RecordingSink::Answer::Accept);
    NetCore alice("a-id", 0, aliceSink, "alice", 6, t, &silentAudio());
    NetCore bob("b-id", 0, bobSink, "bob", 6, t, &silentAudio());
    ConnectionRequest r;
    r.address = "127.0.0.1";
    r.port = bob.listeningPort();
    ASSERT_TRUE(alice.connect(r));
    // Silence after the first 2 s of the hang-over; the probes alone keep both heard.
    sleepMs(3500);
    EXPECT_EQ(alice.connectedPeers().size(), 1u);
    EXPECT_EQ(bob.connectedPeers().size(), 1u);
    EXPECT_EQ(aliceSink.count(NotificationCode::ConnectionLost), 0u);
    EXPECT_GT(aliceSink.count(NotificationCode::DelayMeasured), 5u);
}
