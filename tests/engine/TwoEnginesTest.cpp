#include <gtest/gtest.h>

#include <future>
#include <memory>

#include "RecordingSink.h"
#include "engine/NetCore.h"

using namespace ostrel::engine;
using namespace enginetest;

namespace {

struct Side {
    Side(const char* name, RecordingSink::Answer answer)
        : sink(answer),
          engine(std::string(name) + "-instance", 0, sink, name, 6, fastTimings(), &silentAudio()) {
    }
    RecordingSink sink;
    NetCore engine;
};

ConnectionRequest callTo(Side& callee, const char* user, bool confirm = true) {
    ConnectionRequest r;
    r.address = "localhost";
    r.port = callee.engine.listeningPort();
    r.expectedUser = user;
    r.confirmUser = confirm;
    return r;
}

std::string joinedName(RecordingSink& sink, size_t nth = 1) {
    auto n = sink.waitFor(NotificationCode::PeerJoined, 2000, nth);
    return n ? std::get<PeerJoinedRecord>(n->parameter).description : "";
}

}  // namespace

class TwoEnginesTest : public ::testing::TestWithParam<bool> {};

TEST_P(TwoEnginesTest, EnginesOnOneMachineCallEachOther) {
    Side alice("alice", RecordingSink::Answer::Accept);
    Side bob("bob", RecordingSink::Answer::Accept);
    const bool aliceCalls = GetParam();
    Side& caller = aliceCalls ? alice : bob;
    Side& callee = aliceCalls ? bob : alice;
    const char* calleeName = aliceCalls ? "bob" : "alice";
    const char* callerName = aliceCalls ? "alice" : "bob";

    const SessionId id = caller.engine.connect(callTo(callee, calleeName));
    ASSERT_TRUE(id);
    EXPECT_EQ(caller.sink.codes(), (std::vector<NotificationCode>{NotificationCode::Ringing,
                                                                  NotificationCode::CallActive,
                                                                  NotificationCode::PeerJoined}));
    EXPECT_EQ(joinedName(caller.sink), calleeName);
    EXPECT_EQ(joinedName(callee.sink), callerName);
    EXPECT_EQ(callee.sink.codes(), (std::vector<NotificationCode>{NotificationCode::IncomingCall,
                                                                  NotificationCode::CallActive,
                                                                  NotificationCode::PeerJoined}));
    EXPECT_EQ(callee.sink.askedNames(), std::vector<std::string>{callerName});
    EXPECT_EQ(
        std::get<PeerJoinedRecord>(caller.sink.waitFor(NotificationCode::PeerJoined)->parameter)
            .peerVersion,
        6u);

    EXPECT_FALSE(caller.engine.conferenceGuid().empty());
    EXPECT_EQ(caller.engine.conferenceGuid(), callee.engine.conferenceGuid());
    ASSERT_EQ(caller.engine.connectedPeers().size(), 1u);
    EXPECT_EQ(caller.engine.connectedPeers()[0].session, id);
    EXPECT_EQ(caller.engine.connectedPeers()[0].description, calleeName);
    ASSERT_EQ(callee.engine.connectedPeers().size(), 1u);
    EXPECT_EQ(callee.engine.connectedPeers()[0].description, callerName);
    EXPECT_TRUE(caller.engine.isCallActive());
    EXPECT_TRUE(callee.engine.isCallActive());

    // Calling the same user again is refused locally.
    EXPECT_FALSE(caller.engine.connect(callTo(callee, calleeName)));
    EXPECT_EQ(caller.sink.count(NotificationCode::AlreadyConnected), 1u);
}

INSTANTIATE_TEST_SUITE_P(Directions, TwoEnginesTest, ::testing::Bool());

TEST(TwoEngines, RejectedCallLeavesBothWithoutSessions) {
    Side alice("alice", RecordingSink::Answer::Accept);
    Side bob("bob", RecordingSink::Answer::Reject);
    EXPECT_FALSE(alice.engine.connect(callTo(bob, "bob")));
    EXPECT_EQ(alice.sink.codes(), (std::vector<NotificationCode>{NotificationCode::Ringing,
                                                                 NotificationCode::ConnectFailed}));
    EXPECT_TRUE(alice.engine.connectedPeers().empty());
    EXPECT_TRUE(bob.engine.connectedPeers().empty());
    EXPECT_FALSE(bob.engine.isCallActive());
}

TEST(TwoEngines, WrongExpectedUserIsRefusedByTheCallee) {
    Side alice("alice", RecordingSink::Answer::Accept);
    Side bob("bob", RecordingSink::Answer::Accept);
    EXPECT_FALSE(alice.engine.connect(callTo(bob, "carol")));
    EXPECT_EQ(alice.sink.codes(), (std::vector<NotificationCode>{NotificationCode::NotLoggedInThere,
                                                                 NotificationCode::ConnectFailed}));
    EXPECT_EQ(bob.sink.count(NotificationCode::IncomingCall), 0u);
}

TEST(TwoEngines, ThirdEngineJoinsTheRunningConference) {
    Side alice("alice", RecordingSink::Answer::Accept);
    Side bob("bob", RecordingSink::Answer::Accept);
    Side carol("carol", RecordingSink::Answer::Accept);
    ASSERT_TRUE(alice.engine.connect(callTo(bob, "bob")));
    const std::string conference = alice.engine.conferenceGuid();

    // Carol is in no call, so she sends no GUID; alice asks with 15 and shares hers.
    ASSERT_TRUE(carol.engine.connect(callTo(alice, "alice")));
    EXPECT_EQ(alice.sink.count(NotificationCode::IncomingCallInCall), 1u);
    EXPECT_EQ(carol.engine.conferenceGuid(), conference);
    EXPECT_EQ(joinedName(alice.sink, 2), "carol");
    EXPECT_EQ(alice.engine.connectedPeers().size(), 2u);
    EXPECT_EQ(alice.sink.count(NotificationCode::CallActive), 1u);

    // Bob, in that conference, calling carol in it too is let through...
    ASSERT_TRUE(bob.engine.connect(callTo(carol, "carol")));
    // ...but a fourth engine in a conference of its own is refused by alice.
    Side dave("dave", RecordingSink::Answer::Accept);
    Side erin("erin", RecordingSink::Answer::Accept);
    ASSERT_TRUE(dave.engine.connect(callTo(erin, "erin")));
    EXPECT_FALSE(dave.engine.connect(callTo(alice, "alice")));
    EXPECT_EQ(dave.sink.count(NotificationCode::OtherConference), 1u);
}
