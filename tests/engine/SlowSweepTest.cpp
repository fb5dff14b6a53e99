#include <gtest/gtest.h>

#include "RecordingSink.h"
#include "Wire.h"
#include "engine/NetCore.h"
#include "platform/Platform.h"

using namespace ostrel::engine;
using namespace enginetest;

// With the product's periods: 45 s of silence, noticed at the next minute mark.
TEST(SlowSweep, SilentPeerIsRemovedWithinAboutOneHundredAndFiveSeconds) {
    RecordingSink sink(RecordingSink::Answer::Accept);
    NetCore engine(kIdentity, 0, sink, "alice", 6, EngineTimings{}, &silentAudio());
    wire::RawPeer caller;
    caller.sendTo(engine.listeningPort(), wire::connectRequest({}));
    ASSERT_TRUE(caller.receiveCode(MSG_CONNECT_ACCEPT, 3000));
    ASSERT_TRUE(sink.waitFor(NotificationCode::PeerJoined, 3000));
    const uint32_t joined = ostrel::platform::tickCount();
    ASSERT_TRUE(sink.waitFor(NotificationCode::ConnectionLost, 110000));
    const uint32_t after = ostrel::platform::tickCount() - joined;
    EXPECT_GE(after, 45000u);
    EXPECT_LE(after, 106000u);
    EXPECT_EQ(sink.count(NotificationCode::PeerDisconnected), 1u);
}
