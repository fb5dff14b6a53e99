#include <gtest/gtest.h>

#include "GatewayPeer.h"
#include "engine/NetCore.h"
#include "gateway/LookupHost.h"
#include "tests/engine/RecordingSink.h"

using namespace ostrel::engine;
using namespace gatewaytest;
using enginetest::RecordingSink;
using ostrel::gateway::LookupHost;
using ostrel::platform::SocketAddress;

namespace {

class EngineCallTest : public BridgeFixture {
protected:
    void makeEngine() {
        engine = std::make_unique<NetCore>(enginetest::kIdentity, 0, sink, "alice", 6,
                                           enginetest::fastTimings());
    }

    ConnectionRequest phoneCall(uint16_t port) {
        ConnectionRequest r;
        r.address = "127.0.0.1";
        r.port = port;
        r.expectedUser = "5551234";
        r.viaBridge = true;
        r.bridgeType = 1;
        r.dtmf3 = "5551234";
        return r;
    }

    void TearDown() override {
        if (engine) {
            engine->stop();
        }
    }

    RecordingSink sink;
    std::unique_ptr<NetCore> engine;
};

}  // namespace

TEST_F(EngineCallTest, LookupThenCallCompletesTheHandshake) {
    startBridge();
    LookupHost lookup("127.0.0.1", bridge->port(), false, events);
    ASSERT_TRUE(lookup.start(SocketAddress::loopback(0)));
    wire::RawPeer client;
    sendMessage(client, lookup.port(), buildGatewayLookup());
    auto reply = client.receiveCode(24, 1000);
    ASSERT_TRUE(reply);
    const std::string host = wire::text(reply->bytes, 13 + 1, 128);
    const uint16_t port = u16(reply->bytes, 13 + 129);
    EXPECT_EQ(port, bridge->port());

    makeEngine();
    ConnectionRequest r = phoneCall(port);
    r.address = host;
    const SessionId id = engine->connect(r);
    ASSERT_TRUE(id);
    EXPECT_TRUE(sink.waitFor(NotificationCode::Ringing));
    auto joined = sink.waitFor(NotificationCode::PeerJoined);
    ASSERT_TRUE(joined);
    const auto& record = std::get<PeerJoinedRecord>(joined->parameter);
    EXPECT_EQ(record.description, "[Ph#] 5551234");
    EXPECT_EQ(record.peerVersion, 6u);
    EXPECT_TRUE(sink.waitFor(NotificationCode::CallActive));
    EXPECT_TRUE(isGuidText(engine->conferenceGuid()));
    EXPECT_TRUE(events.waitFor("bridge-type=1 connection-string=\"\""));

    EXPECT_TRUE(engine->hangUp(id));
    EXPECT_TRUE(events.waitFor("hangup 127.0.0.1:"));
    EXPECT_TRUE(eventually([&] { return bridge->callCount() == 0; }));
}

TEST_F(EngineCallTest, RejectingBridgeFailsTheCall) {
    auto settings = fastBridge();
    settings.reject = true;
    startBridge(settings);
    makeEngine();
    EXPECT_FALSE(engine->connect(phoneCall(bridge->port())));
    EXPECT_TRUE(sink.waitFor(NotificationCode::ConnectFailed));
    EXPECT_EQ(sink.count(NotificationCode::PeerJoined), 0u);
    EXPECT_TRUE(events.waitFor("rejected 127.0.0.1:"));
}

TEST_F(EngineCallTest, StoppingTheEngineHangsUpAtTheBridge) {
    startBridge();
    makeEngine();
    ASSERT_TRUE(engine->connect(phoneCall(bridge->port())));
    EXPECT_EQ(bridge->callCount(), 1u);
    engine->stop();
    EXPECT_TRUE(events.waitFor("hangup 127.0.0.1:"));
}
