#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "RecordingSink.h"
#include "Wire.h"
#include "engine/NetCore.h"
#include "engine/VoiceSession.h"
#include "platform/Platform.h"
#include "platform/UdpSocket.h"

using namespace ostrel::engine;
using namespace enginetest;
using wire::Packet;
using wire::RawPeer;

namespace {

class ListenerTest : public ::testing::Test {
protected:
    void SetUp() override { makeEngine(RecordingSink::Answer::Leave); }

    void makeEngine(RecordingSink::Answer answer) {
        engine.reset();
        sink = std::make_unique<RecordingSink>(answer);
        engine = std::make_unique<NetCore>(kIdentity, 0, *sink, "alice", 6, fastTimings(),
                                           &silentAudio());
        ASSERT_TRUE(engine->isListening());
        port = engine->listeningPort();
    }

    void TearDown() override {
        // Questions left open would keep Stop waiting.
        sink->rejectOpenQuestions();
        engine.reset();
    }

    void answer(IncomingCallRequest* q, IncomingCallRequest::Answer a) { sink->answer(q, a); }

    // Rings the engine from `peer`; the question it puts to the window.
    IncomingCallRequest* ring(RawPeer& peer, const wire::ConnectRequestFields& fields = {},
                              size_t nth = 1) {
        peer.sendTo(port, wire::connectRequest(fields));
        EXPECT_TRUE(peer.receiveCode(8, 2000)) << "no MSG_RINGING";
        return sink->waitForQuestion(2000, nth);
    }

    // Accepts a call from `peer`; returns the five answers.
    std::vector<Packet> acceptCall(RawPeer& peer, const wire::ConnectRequestFields& fields = {},
                                   size_t nth = 1) {
        IncomingCallRequest* q = ring(peer, fields, nth);
        EXPECT_NE(q, nullptr);
        if (q == nullptr) {
            return {};
        }
        answer(q, IncomingCallRequest::kAccept);
        std::vector<Packet> answers;
        while (answers.size() < 5) {
            auto p = peer.receiveCode(2, 2000);
            if (!p) {
                break;
            }
            answers.push_back(std::move(*p));
        }
        return answers;
    }

    std::unique_ptr<RecordingSink> sink;
    std::unique_ptr<NetCore> engine;
    uint16_t port = 0;
};

bool isGuidText(const std::string& s) {
    if (s.size() != 36) {
        return false;
    }
    for (size_t i = 0; i < s.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? s[i] != '-'
                 : !std::isxdigit(static_cast<unsigned char>(s[i])) || std::isupper(s[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

TEST_F(ListenerTest, WhoAreYouIsAnsweredWithTheCurrentUserName) {
    RawPeer peer;
    peer.sendTo(port, wire::frame(17));
    auto reply = peer.receive(2000);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->bytes.size(), 13u + 136u);
    EXPECT_EQ(reply->fromPort, port);
    EXPECT_EQ(reply->code(), 18);
    EXPECT_EQ(reply->payloadLength(), 136u);
    EXPECT_EQ(wire::u32(reply->bytes, 5), 0u);
    EXPECT_EQ(wire::text(reply->bytes, 13, 64), "alice");
    EXPECT_TRUE(wire::allZero(reply->bytes, 13 + 5, 13 + 64));
    EXPECT_EQ(wire::u32(reply->bytes, 13 + 64), 6u);
    EXPECT_TRUE(wire::allZero(reply->bytes, 13 + 68, 13 + 136));

    engine->setUserName("bob");
    peer.sendTo(port, wire::frame(17));
    reply = peer.receive(2000);
    ASSERT_TRUE(reply);
    EXPECT_EQ(wire::text(reply->bytes, 13, 64), "bob");
}

TEST_F(ListenerTest, ProbeFromTheListenerMeasuresTheDelayWithItsCookie) {
    RawPeer peer;
    ASSERT_TRUE(engine->probe(12345, ostrel::platform::SocketAddress::loopback(peer.port())));
    auto probe = peer.receive(2000);
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->fromPort, port);
    ASSERT_EQ(probe->bytes.size(), 13u + 12u);
    EXPECT_EQ(probe->code(), 9);
    EXPECT_EQ(wire::u32(probe->bytes, 13 + 4), 12345u);
    EXPECT_EQ(wire::u32(probe->bytes, 13 + 8), 0u);
    const uint32_t tick = wire::u32(probe->bytes, 13);
    EXPECT_LE(ostrel::platform::tickCount() - tick, 1000u);

    // Echo it as if 500 ms had passed on the way: the delay is counted from the echoed tick.
    peer.sendTo(port, wire::probe(16, tick - 500, 12345));
    auto delay = sink->waitFor(NotificationCode::DelayMeasured);
    ASSERT_TRUE(delay);
    const auto& record = std::get<DelayRecord>(delay->parameter);
    EXPECT_FALSE(record.session);  // the listener's own probe
    EXPECT_EQ(record.cookie, 12345u);
    EXPECT_GE(record.delayMs, 500u);
    EXPECT_LT(record.delayMs, 1500u);
    EXPECT_EQ(record.queuedBlocks, 0u);
}

TEST_F(ListenerTest, ProbeFromAnAddressWithoutSessionIsEchoed) {
    RawPeer peer;
    peer.sendTo(port, wire::probe(9, 0xA1B2C3D4, 12345, 0x99999999));
    auto answer = peer.receive(2000);
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->bytes.size(), 13u + 12u);
    EXPECT_EQ(answer->code(), 16);
    EXPECT_EQ(wire::u32(answer->bytes, 13), 0xA1B2C3D4u);
    EXPECT_EQ(wire::u32(answer->bytes, 13 + 4), 12345u);
    EXPECT_EQ(wire::u32(answer->bytes, 13 + 8), 0u);
}

TEST_F(ListenerTest, DatagramsThatFailTheFrameChecksAreDropped) {
    RawPeer peer;
    auto lying = wire::frame(17);
    wire::putU32(lying, 9, 200);  // claims a payload that did not arrive
    peer.sendTo(port, lying);
    auto badSignature = wire::frame(17);
    badSignature[1] = 'W';
    peer.sendTo(port, badSignature);
    peer.sendTo(port, {'Q', 'V', 'X'});
    EXPECT_FALSE(peer.receive(300));
    // The listener is still there.
    peer.sendTo(port, wire::frame(17));
    EXPECT_TRUE(peer.receiveCode(18, 2000));
}

TEST_F(ListenerTest, OversizedDatagramIsAReceiveErrorAndTheListenerGoesOn) {
    RawPeer peer;
    std::vector<uint8_t> big = wire::frame(17, std::vector<uint8_t>(5000, 0));
    peer.sendTo(port, big);
    EXPECT_FALSE(peer.receive(300));
    EXPECT_TRUE(sink->logged("Recv Failed on socket"));
    peer.sendTo(port, wire::frame(17));
    EXPECT_TRUE(peer.receiveCode(18, 2000));
}

TEST_F(ListenerTest, RequestRingsTheUserWithTheCallersName) {
    RawPeer peer;
    wire::ConnectRequestFields f;
    f.userName = "carol";
    IncomingCallRequest* q = ring(peer, f);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->peerUserName, "carol");
    EXPECT_EQ(q->answer.load(), IncomingCallRequest::kPending);
    EXPECT_EQ(sink->count(NotificationCode::IncomingCall), 1u);
    answer(q, IncomingCallRequest::kReject);
}

TEST_F(ListenerTest, SecondRequestFromTheSameAddressWhileRingingIsIgnored) {
    RawPeer peer;
    IncomingCallRequest* q = ring(peer);
    ASSERT_NE(q, nullptr);
    peer.sendTo(port, wire::connectRequest({}));
    EXPECT_FALSE(peer.receiveCode(8, 300));
    EXPECT_EQ(sink->count(NotificationCode::IncomingCall), 1u);
    EXPECT_TRUE(sink->logged("alredy being processed"));
    // The first request goes on.
    answer(q, IncomingCallRequest::kAccept);
    EXPECT_TRUE(peer.receiveCode(2, 2000));
}

struct ConfirmCase {
    const char* confirmUser;
    uint32_t version;
    bool rings;
};

class ConfirmUserTest : public ListenerTest, public ::testing::WithParamInterface<ConfirmCase> {};

TEST_P(ConfirmUserTest, ConfirmUserDecidesWhetherTheUserIsAsked) {
    RawPeer peer;
    wire::ConnectRequestFields f;
    f.confirmUser = GetParam().confirmUser;
    f.version = GetParam().version;
    peer.sendTo(port, wire::connectRequest(f));
    auto first = peer.receive(2000);
    ASSERT_TRUE(first);
    if (GetParam().rings) {
        EXPECT_EQ(first->code(), 8);
        EXPECT_NE(sink->waitForQuestion(), nullptr);
    } else {
        EXPECT_EQ(first->code(), 20);
        EXPECT_EQ(first->bytes.size(), 13u);
        EXPECT_FALSE(peer.receive(300));
        EXPECT_EQ(sink->count(NotificationCode::IncomingCall), 0u);
        EXPECT_TRUE(sink->logged("since the confirm user failed"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ConfirmUserTest,
                         ::testing::Values(ConfirmCase{"dave", 6, false},
                                           ConfirmCase{"ALICE", 6, true}, ConfirmCase{"", 6, true},
                                           ConfirmCase{"dave", 5, false},
                                           // before version 5 only the name is read
                                           ConfirmCase{"dave", 4, true}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(ListenerTest, VersionFourRequestIsReadForTheNameOnly) {
    RawPeer peer;
    wire::ConnectRequestFields f;
    f.userName = "oldtimer";
    f.version = 4;
    f.conferenceGuid = "11111111-2222-3333-4444-555555555555";
    auto answers = acceptCall(peer, f);
    ASSERT_EQ(answers.size(), 5u);
    auto joined = sink->waitFor(NotificationCode::PeerJoined);
    ASSERT_TRUE(joined);
    const auto& record = std::get<PeerJoinedRecord>(joined->parameter);
    EXPECT_EQ(record.description, "oldtimer");
    EXPECT_EQ(record.peerVersion, 1u);
    // Its GUID field was not read, so the conference got a fresh one.
    const std::string guid = wire::text(answers[0].bytes, 13 + 144, 64);
    EXPECT_NE(guid, f.conferenceGuid);
    EXPECT_TRUE(isGuidText(guid)) << guid;
}

class AcceptTest : public ListenerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(AcceptTest, AcceptSendsFiveAcceptsAndTheSessionJoins) {
    const bool requestHasGuid = GetParam();
    RawPeer peer;
    wire::ConnectRequestFields f;
    f.userName = "carol";
    if (requestHasGuid) {
        f.conferenceGuid = "9a8b7c6d-1111-2222-3333-444455556666";
    }
    auto answers = acceptCall(peer, f);
    ASSERT_EQ(answers.size(), 5u);
    const std::string guid = wire::text(answers[0].bytes, 13 + 144, 64);
    for (const Packet& a : answers) {
        EXPECT_EQ(a.fromPort, port);
        ASSERT_EQ(a.bytes.size(), 13u + 400u);
        EXPECT_EQ(a.payloadLength(), 400u);
        EXPECT_EQ(wire::u32(a.bytes, 5), 0u);
        EXPECT_EQ(wire::text(a.bytes, 13, 64), "alice");
        EXPECT_TRUE(wire::allZero(a.bytes, 13 + 5, 13 + 64));
        EXPECT_EQ(wire::u32(a.bytes, 13 + 64), 6u);
        EXPECT_TRUE(wire::allZero(a.bytes, 13 + 68, 13 + 80));
        EXPECT_EQ(wire::text(a.bytes, 13 + 80, 64), kIdentity);
        EXPECT_EQ(wire::text(a.bytes, 13 + 144, 64), guid);
        EXPECT_TRUE(wire::allZero(a.bytes, 13 + 144 + 36, 13 + 400));
    }
    if (requestHasGuid) {
        EXPECT_EQ(guid, f.conferenceGuid);
    } else {
        EXPECT_TRUE(isGuidText(guid)) << guid;
    }
    EXPECT_EQ(engine->conferenceGuid(), guid);

    auto joined = sink->waitFor(NotificationCode::PeerJoined);
    ASSERT_TRUE(joined);
    const auto& record = std::get<PeerJoinedRecord>(joined->parameter);
    EXPECT_EQ(record.description, "carol");
    EXPECT_EQ(record.peerVersion, 6u);
    EXPECT_TRUE(engine->isCallActive());
    const auto codes = sink->codes();
    EXPECT_EQ(codes, (std::vector<NotificationCode>{NotificationCode::IncomingCall,
                                                    NotificationCode::CallActive,
                                                    NotificationCode::PeerJoined}));
    const auto peers = engine->connectedPeers();
    ASSERT_EQ(peers.size(), 1u);
    EXPECT_EQ(peers[0].session, record.session);
    EXPECT_EQ(peers[0].description, "carol");
}

INSTANTIATE_TEST_SUITE_P(RequestGuid, AcceptTest, ::testing::Bool());

TEST_F(ListenerTest, RejectSendsRingStoppedFiveTimesAndNoSessionJoins) {
    RawPeer peer;
    IncomingCallRequest* q = ring(peer);
    ASSERT_NE(q, nullptr);
    answer(q, IncomingCallRequest::kReject);
    auto all = peer.drain(500);
    ASSERT_EQ(all.size(), 5u);
    for (const Packet& p : all) {
        EXPECT_EQ(p.code(), 7);
        EXPECT_EQ(p.bytes.size(), 13u);
        EXPECT_EQ(p.fromPort, port);
    }
    EXPECT_TRUE(engine->connectedPeers().empty());
    EXPECT_FALSE(engine->isCallActive());
    EXPECT_EQ(sink->count(NotificationCode::PeerJoined), 0u);
    // Once the request is finished, the same caller may ring again.
    EXPECT_NE(ring(peer, {}, 2), nullptr);
}

TEST_F(ListenerTest, ConferenceRulesWhileACallIsActive) {
    RawPeer first;
    wire::ConnectRequestFields f;
    f.conferenceGuid = "aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee";
    ASSERT_EQ(acceptCall(first, f).size(), 5u);
    ASSERT_TRUE(sink->waitFor(NotificationCode::CallActive));

    // Another conference is refused without asking the user.
    RawPeer other;
    wire::ConnectRequestFields o;
    o.userName = "eve";
    o.conferenceGuid = "12345678-1234-1234-1234-123456789abc";
    other.sendTo(port, wire::connectRequest(o));
    auto refusal = other.receive(2000);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->code(), 21);
    EXPECT_EQ(refusal->bytes.size(), 13u);
    EXPECT_FALSE(other.receive(300));
    EXPECT_EQ(sink->count(NotificationCode::IncomingCallInCall), 0u);

    // No GUID joins the running conference; the user is asked with notification 15.
    RawPeer joiner;
    wire::ConnectRequestFields j;
    j.userName = "frank";
    auto answers = acceptCall(joiner, j, 2);
    ASSERT_EQ(answers.size(), 5u);
    EXPECT_EQ(wire::text(answers[0].bytes, 13 + 144, 64), f.conferenceGuid);
    EXPECT_EQ(sink->count(NotificationCode::IncomingCallInCall), 1u);

    // The same GUID in other letter case is the same conference.
    RawPeer same;
    wire::ConnectRequestFields s;
    s.userName = "grace";
    s.conferenceGuid = "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE";
    answers = acceptCall(same, s, 3);
    ASSERT_EQ(answers.size(), 5u);
    EXPECT_EQ(wire::text(answers[0].bytes, 13 + 144, 64), f.conferenceGuid);
    EXPECT_EQ(engine->conferenceGuid(), f.conferenceGuid);
    ASSERT_TRUE(sink->waitFor(NotificationCode::PeerJoined, 2000, 3));
    EXPECT_EQ(engine->connectedPeers().size(), 3u);
    EXPECT_EQ(sink->count(NotificationCode::CallActive), 1u);
}

TEST_F(ListenerTest, RelaysBothWaysBetweenCallerAndSessionSocket) {
    RawPeer caller;
    ASSERT_EQ(acceptCall(caller).size(), 5u);
    ASSERT_TRUE(sink->waitFor(NotificationCode::PeerJoined));

    // Caller to session: the session's control handler answers what the listener relayed,
    // and the answers come back through the listening port. A datagram too large for the
    // listener's buffer is lost on the way; one that just fits goes through and is ignored.
    std::vector<uint8_t> dtmf(69, 0);
    dtmf[0] = 1;
    wire::putU32(dtmf, 1, 1);
    wire::putText(dtmf, 5, "123");
    const auto digits = wire::frame(25, dtmf);
    const auto largest = wire::frame(99, std::vector<uint8_t>(4096 - 13, 0x5A));
    const auto tooLarge = wire::frame(99, std::vector<uint8_t>(4097 - 13, 0x5A));
    caller.sendTo(port, tooLarge);
    caller.sendTo(port, largest);
    caller.sendTo(port, digits);
    auto ack = caller.receiveCode(26, 2000);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->fromPort, port);
    EXPECT_EQ(ack->bytes, wire::frame(26, std::vector<uint8_t>(dtmf.begin(), dtmf.begin() + 5)));
    caller.sendTo(port, wire::probe(9, 0x0A0B0C0D, 42));
    auto answer = caller.receiveCode(16, 2000);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->fromPort, port);
    EXPECT_EQ(answer->bytes, wire::probe(16, 0x0A0B0C0D, 42));

    // Session to caller, through the listening port.
    engine->forEachSession([&](VoiceSession& s) {
        if (s.type() != SessionType::Incoming) {
            return;
        }
        SessionMessage probe(MSG_R_U_THERE, 12);
        probe.putU32(0, 0x01020304);
        probe.putU32(4, 77);
        EXPECT_TRUE(s.send(probe));
    });
    auto relayed = caller.receiveCode(9, 2000);
    ASSERT_TRUE(relayed);
    EXPECT_EQ(relayed->fromPort, port);
    EXPECT_EQ(relayed->bytes, wire::probe(9, 0x01020304, 77));
    EXPECT_EQ(engine->connectedPeers().size(), 1u);
}

TEST_F(ListenerTest, ABurstFromTheCallerIsRelayedInOrderAmongOtherDatagrams) {
    RawPeer caller;
    ASSERT_EQ(acceptCall(caller).size(), 5u);
    ASSERT_TRUE(sink->waitFor(NotificationCode::PeerJoined));
    RawPeer stranger;
    // Sent back to back, so the listener reads many at a time: probes for the session, a
    // who-are-you of a stranger and broken frames in between.
    for (uint32_t cookie = 1; cookie <= 100; ++cookie) {
        caller.sendTo(port, wire::probe(9, 1000 + cookie, cookie));
        if (cookie % 25 == 0) {
            stranger.sendTo(port, wire::frame(17));
            stranger.sendTo(port, std::vector<uint8_t>{1, 2, 3});
        }
    }
    for (uint32_t cookie = 1; cookie <= 100; ++cookie) {
        auto answer = caller.receiveCode(16, 2000);
        ASSERT_TRUE(answer) << "answer " << cookie;
        EXPECT_EQ(answer->fromPort, port);
        EXPECT_EQ(answer->bytes, wire::probe(16, 1000 + cookie, cookie));
    }
    for (int i = 0; i < 4; ++i) {
        auto reply = stranger.receive(2000);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->code(), 18);
    }
}

TEST_F(ListenerTest, AnotherProgramOnLoopbackIsARemoteParty) {
    // Two clients on one machine: the caller is on 127.0.0.1 but is none of our sockets.
    RawPeer sameMachine("127.0.0.1");
    sameMachine.sendTo(port, wire::probe(9, 5, 6));
    EXPECT_TRUE(sameMachine.receiveCode(16, 2000));
    IncomingCallRequest* q = ring(sameMachine);
    ASSERT_NE(q, nullptr);
    EXPECT_FALSE(sink->logged("LOCALHOST"));
    answer(q, IncomingCallRequest::kReject);
}

TEST_F(ListenerTest, AFloodOfRequestsRingsAtMostEightAtATime) {
    std::vector<std::unique_ptr<RawPeer>> callers;
    for (int i = 0; i < 20; ++i) {
        callers.push_back(std::make_unique<RawPeer>());
        callers.back()->sendTo(port, wire::connectRequest({}));
    }
    int rang = 0;
    std::vector<size_t> dropped;
    for (size_t i = 0; i < callers.size(); ++i) {
        if (callers[i]->receiveCode(8, 500)) {
            ++rang;
        } else {
            dropped.push_back(i);
        }
    }
    EXPECT_EQ(rang, 8);
    EXPECT_TRUE(sink->waitFor(NotificationCode::IncomingCall, 2000, 8));
    EXPECT_FALSE(sink->waitFor(NotificationCode::IncomingCall, 200, 9));
    EXPECT_TRUE(sink->logged("dropping the one from"));

    RawPeer asker;
    asker.sendTo(port, wire::frame(17));
    EXPECT_TRUE(asker.receiveCode(18, 2000));

    // When the waiting ones are answered, a dropped caller's resend gets through.
    for (size_t i = 1; i <= 8; ++i) {
        answer(sink->waitForQuestion(0, i), IncomingCallRequest::kReject);
    }
    ASSERT_FALSE(dropped.empty());
    RawPeer& retry = *callers[dropped.front()];
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    retry.sendTo(port, wire::connectRequest({}));
    EXPECT_TRUE(retry.receiveCode(8, 2000));
}

TEST_F(ListenerTest, StopWaitsUntilTheOpenQuestionIsAnswered) {
    RawPeer peer;
    IncomingCallRequest* q = ring(peer);
    ASSERT_NE(q, nullptr);
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        engine->stop();
        stopped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_FALSE(stopped.load());
    answer(q, IncomingCallRequest::kAccept);
    stopper.join();
    EXPECT_TRUE(stopped.load());
    // The engine was stopping, so the late accept became a refusal and no session joined.
    EXPECT_EQ(sink->count(NotificationCode::PeerJoined), 0u);
}

TEST_F(ListenerTest, StopHangsUpAnAcceptedCallerFromTheListeningPort) {
    RawPeer caller;
    ASSERT_EQ(acceptCall(caller).size(), 5u);
    auto joined = sink->waitFor(NotificationCode::PeerJoined);
    ASSERT_TRUE(joined);
    engine->stop();
    auto hangup = caller.receiveCode(4, 2000);
    ASSERT_TRUE(hangup);
    EXPECT_EQ(hangup->bytes.size(), 13u);
    EXPECT_EQ(hangup->fromPort, port);
    auto gone = sink->waitFor(NotificationCode::PeerDisconnected);
    ASSERT_TRUE(gone);
    EXPECT_EQ(std::get<SessionEvent>(gone->parameter).session,
              std::get<PeerJoinedRecord>(joined->parameter).session);
    EXPECT_EQ(sink->count(NotificationCode::ConnectionLost), 0u);
}

TEST_F(ListenerTest, StopWhileTheAcceptIsRepeatedStillHangsUpTheCaller) {
    RawPeer caller;
    IncomingCallRequest* q = ring(caller);
    ASSERT_NE(q, nullptr);
    answer(q, IncomingCallRequest::kAccept);
    // The caller has its first accept and counts the call as made; the engine stops while
    // the other four are still to go.
    ASSERT_TRUE(caller.receiveCode(2, 2000));
    engine->stop();
    EXPECT_TRUE(caller.receiveCode(4, 2000)) << "the caller is left with a party that is gone";
}

TEST_F(ListenerTest, HangUpOfTheLastPeerEndsTheCall) {
    RawPeer caller;
    ASSERT_EQ(acceptCall(caller).size(), 5u);
    auto joined = sink->waitFor(NotificationCode::PeerJoined);
    ASSERT_TRUE(joined);
    const SessionId id = std::get<PeerJoinedRecord>(joined->parameter).session;
    EXPECT_TRUE(engine->hangUp(id));
    EXPECT_TRUE(caller.receiveCode(4, 2000));
    EXPECT_TRUE(sink->waitFor(NotificationCode::ConnectionLost));
    EXPECT_FALSE(engine->hangUp(id));
    EXPECT_TRUE(engine->connectedPeers().empty());
}

TEST(ListenerLifecycle, StopRightAfterConstructionIsQuickAndSilent) {
    RecordingSink sink;
    NetCore engine(kIdentity, 0, sink, "alice", 6, ostrel::engine::EngineTimings{},
                   &silentAudio());  // product timings: one-second receive wait
    ASSERT_TRUE(engine.isListening());
    const uint32_t start = ostrel::platform::tickCount();
    engine.stop();
    EXPECT_LT(ostrel::platform::tickCount() - start, 1500u);
    EXPECT_EQ(sink.total(), 0u);
    EXPECT_TRUE(sink.logged("Stop Issued"));
    EXPECT_TRUE(sink.logged("Master Server thread exitting"));
    EXPECT_FALSE(engine.startServer());
}

TEST(ListenerLifecycle, PortInUseMeansNoListenerAndNotificationEight) {
    RawPeer occupier("0.0.0.0");
    RecordingSink sink;
    NetCore engine(kIdentity, occupier.port(), sink, "alice", 6, fastTimings(), &silentAudio());
    EXPECT_FALSE(engine.isListening());
    EXPECT_EQ(sink.count(NotificationCode::ListenerBindFailed), 1u);
    EXPECT_TRUE(sink.logged("Server Bind error"));
    EXPECT_FALSE(engine.probe(1, ostrel::platform::SocketAddress::loopback(occupier.port())));
}

TEST(ListenerLifecycle, SecondStartFailsWhileRunning) {
    RecordingSink sink;
    NetCore engine(kIdentity, 0, sink, "alice", 6, fastTimings(), &silentAudio());
    ASSERT_TRUE(engine.isListening());
    EXPECT_FALSE(engine.startServer());
    EXPECT_TRUE(sink.logged("Server already running"));
    EXPECT_TRUE(engine.isListening());
}
