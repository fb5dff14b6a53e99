#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

#include "RecordingSink.h"
#include "Wire.h"
#include "engine/NetCore.h"
#include "engine/VoiceSession.h"
#include "platform/Platform.h"

using namespace ostrel::engine;
using namespace enginetest;
using wire::Packet;
using wire::RawPeer;

namespace {

constexpr const char* kCalleeGuid = "c0ffee00-1234-4abc-8def-0123456789ab";

class HandshakeTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = std::make_unique<NetCore>(kIdentity, 0, sink, "alice", 6, fastTimings(),
                                           &silentAudio());
    }

    ConnectionRequest requestTo(const RawPeer& peer) {
        ConnectionRequest r;
        r.address = "127.0.0.1";
        r.port = peer.port();
        r.expectedUser = "bob";
        return r;
    }

    std::future<SessionId> call(const ConnectionRequest& request) {
        return std::async(std::launch::async, [this, request] { return engine->connect(request); });
    }

    // Calls `callee`, which accepts with a full payload.
    SessionId connectTo(RawPeer& callee, const ConnectionRequest& request) {
        auto result = call(request);
        auto req = callee.receiveCode(1, 2000);
        EXPECT_TRUE(req);
        if (req) {
            callee.sendTo(req->fromPort, wire::connectAccept("bob", 6, "bob-id", kCalleeGuid));
        }
        return result.get();
    }

    std::vector<NotificationCode> failureCodes() {
        std::vector<NotificationCode> picked;
        for (NotificationCode c : sink.codes()) {
            if (c != NotificationCode::Ringing) {
                picked.push_back(c);
            }
        }
        return picked;
    }

    RecordingSink sink;
    std::unique_ptr<NetCore> engine;
};

}  // namespace

class RequestFieldsTest : public HandshakeTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RequestFieldsTest, RequestCarriesTheLayoutFields) {
    const bool viaBridge = GetParam();
    RawPeer callee;
    ConnectionRequest r = requestTo(callee);
    r.confirmUser = true;
    if (viaBridge) {
        r.viaBridge = true;
        r.bridgeType = 2;
        r.connectionString = "endpoint@far";
    }
    auto result = call(r);
    auto req = callee.receiveCode(1, 2000);
    ASSERT_TRUE(req);
    const auto& b = req->bytes;
    ASSERT_EQ(b.size(), 13u + 400u);
    EXPECT_EQ(wire::u32(b, 5), 0u);
    EXPECT_EQ(req->payloadLength(), 400u);
    EXPECT_EQ(wire::text(b, 13, 64), "alice");
    EXPECT_EQ(wire::u32(b, 13 + 64), 6u);
    EXPECT_TRUE(wire::allZero(b, 13 + 68, 13 + 74));
    EXPECT_EQ(b[13 + 74], viaBridge ? 2 : 0);
    EXPECT_TRUE(wire::allZero(b, 13 + 75, 13 + 80));
    EXPECT_EQ(wire::text(b, 13 + 80, 64), kIdentity);
    EXPECT_TRUE(wire::allZero(b, 13 + 144, 13 + 208));  // no call active: no GUID
    EXPECT_EQ(wire::text(b, 13 + 208, 64), "bob");
    EXPECT_EQ(wire::text(b, 13 + 272, 128), viaBridge ? "endpoint@far" : "");
    callee.sendTo(req->fromPort, wire::frame(7));
    EXPECT_FALSE(result.get());
}

INSTANTIATE_TEST_SUITE_P(Direct, RequestFieldsTest, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Bridge, RequestFieldsTest, ::testing::Values(true));

class SilentCalleeTest : public HandshakeTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SilentCalleeTest, SilentCalleeGetsEveryAttemptThenTheCallFails) {
    const bool viaBridge = GetParam();
    RawPeer callee;
    ConnectionRequest r = requestTo(callee);
    r.viaBridge = viaBridge;
    r.bridgeType = viaBridge ? 1 : 0;
    const uint32_t start = ostrel::platform::tickCount();
    auto result = call(r);
    std::vector<uint32_t> at;
    while (auto p = callee.receive(1000)) {
        EXPECT_EQ(p->code(), 1);
        at.push_back(ostrel::platform::tickCount() - start);
    }
    EXPECT_FALSE(result.get());
    ASSERT_EQ(at.size(), viaBridge ? 6u : 3u);
    for (size_t i = 1; i < at.size(); ++i) {
        EXPECT_GE(at[i] - at[i - 1], 280u) << "attempt " << i;  // 3 silent waits of 100 ms
    }
    auto failed = sink.waitFor(NotificationCode::ConnectFailed);
    ASSERT_TRUE(failed);
    const auto& copy = std::get<ConnectionRequest>(failed->parameter);
    EXPECT_EQ(copy.port, callee.port());
    EXPECT_EQ(copy.viaBridge, viaBridge);
    EXPECT_EQ(failureCodes(), std::vector<NotificationCode>{NotificationCode::ConnectFailed});
    EXPECT_TRUE(engine->connectedPeers().empty());
    EXPECT_TRUE(sink.logged("Response timed out once"));
}

INSTANTIATE_TEST_SUITE_P(Attempts, SilentCalleeTest, ::testing::Bool());

TEST_F(HandshakeTest, RingingRestartsTheSilenceCount) {
    RawPeer callee;
    auto result = call(requestTo(callee));
    auto first = callee.receiveCode(1, 2000);
    ASSERT_TRUE(first);
    // Ring every 60 ms for 700 ms: far longer than the 300 ms silence limit.
    uint32_t quietFrom = 0;
    for (int i = 0; i < 12; ++i) {
        callee.sendTo(first->fromPort, wire::frame(8));
        quietFrom = ostrel::platform::tickCount();
        EXPECT_FALSE(callee.receiveCode(1, 60)) << "request resent while ringing";
    }
    auto second = callee.receiveCode(1, 2000);
    ASSERT_TRUE(second);
    EXPECT_GE(ostrel::platform::tickCount() - quietFrom, 280u);
    EXPECT_EQ(second->fromPort, first->fromPort);  // same socket
    EXPECT_GE(sink.count(NotificationCode::Ringing), 12u);
    callee.sendTo(first->fromPort, wire::frame(7));
    EXPECT_FALSE(result.get());
}

TEST_F(HandshakeTest, ThirdAddressIsIgnoredButRestartsTheSilenceCount) {
    RawPeer callee;
    RawPeer stranger("127.0.0.2");
    auto result = call(requestTo(callee));
    auto first = callee.receiveCode(1, 2000);
    ASSERT_TRUE(first);
    for (int i = 0; i < 12; ++i) {
        stranger.sendTo(first->fromPort, wire::connectAccept("mallory", 6, "x", kCalleeGuid));
        EXPECT_FALSE(callee.receiveCode(1, 60)) << "request resent while datagrams arrive";
    }
    EXPECT_TRUE(callee.receiveCode(1, 2000));
    EXPECT_TRUE(sink.logged("Ignoring message from 127.0.0.2"));
    EXPECT_EQ(sink.count(NotificationCode::PeerJoined), 0u);
    callee.sendTo(first->fromPort, wire::frame(7));
    EXPECT_FALSE(result.get());
}

TEST_F(HandshakeTest, InvalidDatagramsAreIgnored) {
    engine->setSequenceCheck(false);  // so they reach the handshake's own check
    RawPeer callee;
    auto result = call(requestTo(callee));
    auto first = callee.receiveCode(1, 2000);
    ASSERT_TRUE(first);
    auto lying = wire::frame(2);
    wire::putU32(lying, 9, 400);  // an "accept" whose payload never came
    callee.sendTo(first->fromPort, lying);
    auto badSignature = wire::connectAccept("bob", 6, "id", kCalleeGuid);
    badSignature[0] = 'X';
    callee.sendTo(first->fromPort, badSignature);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(sink.logged("Ignoring an invalid message"));
    callee.sendTo(first->fromPort, wire::frame(7));
    EXPECT_FALSE(result.get());
    EXPECT_EQ(sink.count(NotificationCode::PeerJoined), 0u);
}

TEST_F(HandshakeTest, OversizedAnswerIsAReceiveError) {
    RawPeer callee;
    auto result = call(requestTo(callee));
    auto first = callee.receiveCode(1, 2000);
    ASSERT_TRUE(first);
    callee.sendTo(first->fromPort, wire::frame(2, std::vector<uint8_t>(33000, 0)));
    callee.sendTo(first->fromPort, wire::frame(7));
    EXPECT_FALSE(result.get());
    EXPECT_TRUE(sink.logged("Recv [WSAEMSGSIZE] Failed on socket"));
}

TEST_F(HandshakeTest, EmptyAcceptCompletesWithTheDialledNameAndVersionOne) {
    RawPeer callee;
    auto result = call(requestTo(callee));
    auto req = callee.receiveCode(1, 2000);
    ASSERT_TRUE(req);
    callee.sendTo(req->fromPort, wire::frame(8));
    callee.sendTo(req->fromPort, wire::frame(2));
    const SessionId id = result.get();
    ASSERT_TRUE(id);
    auto joined = sink.waitFor(NotificationCode::PeerJoined);
    ASSERT_TRUE(joined);
    const auto& record = std::get<PeerJoinedRecord>(joined->parameter);
    EXPECT_EQ(record.session, id);
    EXPECT_EQ(record.description, "bob");
    EXPECT_EQ(record.peerVersion, 1u);
    EXPECT_EQ(sink.codes(), (std::vector<NotificationCode>{NotificationCode::Ringing,
                                                           NotificationCode::CallActive,
                                                           NotificationCode::PeerJoined}));
    EXPECT_TRUE(engine->isCallActive());
    const auto peers = engine->connectedPeers();
    ASSERT_EQ(peers.size(), 1u);
    EXPECT_EQ(peers[0].session, id);
    // No GUID came with it: the engine made one of its own.
    EXPECT_EQ(engine->conferenceGuid().size(), 36u);
}

TEST_F(HandshakeTest, AcceptGivesThePeerAndTheConference) {
    RawPeer callee;
    ConnectionRequest r = requestTo(callee);
    r.expectedUser = "someone";
    const SessionId id = connectTo(callee, r);
    ASSERT_TRUE(id);
    auto joined = sink.waitFor(NotificationCode::PeerJoined);
    ASSERT_TRUE(joined);
    EXPECT_EQ(std::get<PeerJoinedRecord>(joined->parameter).description, "bob");
    EXPECT_EQ(std::get<PeerJoinedRecord>(joined->parameter).peerVersion, 6u);
    EXPECT_EQ(engine->conferenceGuid(), kCalleeGuid);
    std::string guid;
    engine->forEachSession([&](VoiceSession& s) {
        if (s.id() == id) {
            EXPECT_EQ(s.peerIdentity(), "bob-id");
            EXPECT_TRUE(s.isConnected());
            guid = s.sessionGuid();
        }
    });
    EXPECT_EQ(guid.size(), 36u);
    EXPECT_NE(guid, kCalleeGuid);

    // The next call of the conference carries its GUID.
    RawPeer second;
    ConnectionRequest next = requestTo(second);
    next.expectedUser = "dave";
    auto result = call(next);
    auto req = second.receiveCode(1, 2000);
    ASSERT_TRUE(req);
    EXPECT_EQ(wire::text(req->bytes, 13 + 144, 64), kCalleeGuid);
    second.sendTo(req->fromPort, wire::frame(7));
    EXPECT_FALSE(result.get());
}

struct Refusal {
    const char* name;
    uint8_t code;
    int times;
    std::vector<NotificationCode> expected;
};

class RefusalTest : public HandshakeTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusalTest, EachRefusalGivesItsNotificationsAndLeavesNoSession) {
    RawPeer callee;
    auto result = call(requestTo(callee));
    auto req = callee.receiveCode(1, 2000);
    ASSERT_TRUE(req);
    for (int i = 0; i < GetParam().times; ++i) {
        callee.sendTo(req->fromPort, wire::frame(GetParam().code));
    }
    EXPECT_FALSE(result.get());
    EXPECT_EQ(failureCodes(), GetParam().expected);
    EXPECT_TRUE(engine->connectedPeers().empty());
    EXPECT_FALSE(engine->isCallActive());
    int sessions = 0;
    engine->forEachSession([&](VoiceSession&) { ++sessions; });
    EXPECT_EQ(sessions, 1);  // the local session only
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusalTest,
    ::testing::Values(
        Refusal{"NotLoggedIn",
                20,
                1,
                {NotificationCode::NotLoggedInThere, NotificationCode::ConnectFailed}},
        Refusal{"Busy", 19, 2, {NotificationCode::CalleeBusy, NotificationCode::ConnectFailed}},
        Refusal{"RingStopped", 7, 1, {NotificationCode::ConnectFailed}},
        Refusal{"OtherConference",
                21,
                1,
                {NotificationCode::OtherConference, NotificationCode::ConnectFailed}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HandshakeTest, UnresolvableNameGivesNotification29Only) {
    ConnectionRequest r;
    r.address = "no-such-host.invalid";
    r.port = 1720;
    EXPECT_FALSE(engine->connect(r));
    EXPECT_EQ(sink.codes(), std::vector<NotificationCode>{NotificationCode::ResolveFailed});
    auto n = sink.waitFor(NotificationCode::ResolveFailed);
    EXPECT_TRUE(std::get<SessionEvent>(n->parameter).session);
    EXPECT_TRUE(sink.logged("gethostbyname failed"));
}

TEST_F(HandshakeTest, CallingAConnectedAddressOrUserGivesNotification32) {
    RawPeer callee;
    ASSERT_TRUE(connectTo(callee, requestTo(callee)));

    ConnectionRequest again = requestTo(callee);
    again.expectedUser = "not-bob";
    again.requestCancel();
    EXPECT_FALSE(engine->connect(again));
    auto n = sink.waitFor(NotificationCode::AlreadyConnected);
    ASSERT_TRUE(n);
    const auto& copy = std::get<ConnectionRequest>(n->parameter);
    EXPECT_EQ(copy.port, callee.port());
    EXPECT_FALSE(copy.cancelled());

    // The same user at another address.
    RawPeer elsewhere;
    EXPECT_FALSE(engine->connect(requestTo(elsewhere)));
    EXPECT_EQ(sink.count(NotificationCode::AlreadyConnected), 2u);
    EXPECT_FALSE(callee.receiveCode(1, 100));
    EXPECT_FALSE(elsewhere.receive(100));
    EXPECT_EQ(engine->connectedPeers().size(), 1u);
}

TEST_F(HandshakeTest, CancelSendsHangUpAndFails) {
    RawPeer callee;
    ConnectionRequest r = requestTo(callee);
    auto result = call(r);
    auto req = callee.receiveCode(1, 2000);
    ASSERT_TRUE(req);
    callee.sendTo(req->fromPort, wire::frame(8));
    ASSERT_TRUE(sink.waitFor(NotificationCode::Ringing));
    r.requestCancel();  // the engine's copy shares the flag
    auto hangup = callee.receiveCode(4, 2000);
    ASSERT_TRUE(hangup);
    EXPECT_EQ(hangup->bytes.size(), 13u);
    EXPECT_EQ(hangup->fromPort, req->fromPort);
    EXPECT_FALSE(result.get());
    auto failed = sink.waitFor(NotificationCode::ConnectFailed);
    ASSERT_TRUE(failed);
    EXPECT_TRUE(std::get<ConnectionRequest>(failed->parameter).cancelled());
}

TEST_F(HandshakeTest, StopDuringTheHandshakeSendsHangUp) {
    RawPeer callee;
    auto result = call(requestTo(callee));
    auto req = callee.receiveCode(1, 2000);
    ASSERT_TRUE(req);
    engine->stop();
    EXPECT_TRUE(callee.receiveCode(4, 2000));
    EXPECT_FALSE(result.get());
    EXPECT_TRUE(sink.waitFor(NotificationCode::ConnectFailed));
}

TEST_F(HandshakeTest, StopHangsUpAConnectedCallee) {
    RawPeer callee;
    ConnectionRequest r = requestTo(callee);
    auto result = call(r);
    auto req = callee.receiveCode(1, 2000);
    ASSERT_TRUE(req);
    callee.sendTo(req->fromPort, wire::connectAccept("bob", 6, "bob-id", kCalleeGuid));
    ASSERT_TRUE(result.get());
    engine->stop();
    auto hangup = callee.receiveCode(4, 2000);
    ASSERT_TRUE(hangup);
    EXPECT_EQ(hangup->fromPort, req->fromPort);
    EXPECT_TRUE(sink.waitFor(NotificationCode::PeerDisconnected));
    EXPECT_EQ(sink.count(NotificationCode::ConnectionLost), 0u);
}

TEST_F(HandshakeTest, DigitsGoToPeersOfVersionSixUntilAcknowledged) {
    RawPeer callee;
    const SessionId id = connectTo(callee, requestTo(callee));
    ASSERT_TRUE(id);
    engine->sendDigits("12#");
    auto dtmf = callee.receiveCode(25, 2000);
    ASSERT_TRUE(dtmf);
    ASSERT_EQ(dtmf->bytes.size(), 13u + 69u);
    EXPECT_EQ(dtmf->bytes[13], 1);
    EXPECT_EQ(wire::u32(dtmf->bytes, 14), 1u);
    EXPECT_EQ(wire::text(dtmf->bytes, 13 + 5, 64), "12#");
    EXPECT_TRUE(wire::allZero(dtmf->bytes, 13 + 8, 13 + 69));

    engine->forEachSession([&](VoiceSession& s) {
        if (s.id() != id) {
            return;
        }
        const uint32_t now = ostrel::platform::tickCount();
        s.resendPendingDigits(now);  // too early
        s.resendPendingDigits(now + 2500);
        s.acknowledgeDigits(1);
        EXPECT_EQ(s.pendingDigitCount(), 0u);
        s.resendPendingDigits(now + 6000);
    });
    auto again = callee.receiveCode(25, 1000);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->bytes, dtmf->bytes);
    EXPECT_FALSE(callee.receiveCode(25, 200));  // acknowledged: not resent
}

TEST_F(HandshakeTest, SixDigitMessagesAtMostAreInFlight) {
    RawPeer callee;
    ASSERT_TRUE(connectTo(callee, requestTo(callee)));
    for (int i = 0; i < 8; ++i) {
        engine->sendDigits(std::to_string(i));
    }
    std::vector<uint32_t> sequences;
    while (auto p = callee.receiveCode(25, 300)) {
        sequences.push_back(wire::u32(p->bytes, 14));
    }
    EXPECT_EQ(sequences, (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
}

TEST_F(HandshakeTest, OldPeersGetNoDigits) {
    RawPeer callee;
    auto result = call(requestTo(callee));
    auto req = callee.receiveCode(1, 2000);
    ASSERT_TRUE(req);
    callee.sendTo(req->fromPort, wire::frame(2));  // version 1
    ASSERT_TRUE(result.get());
    engine->sendDigits("5");
    EXPECT_FALSE(callee.receiveCode(25, 300));
}
