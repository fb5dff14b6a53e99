#include <gtest/gtest.h>

#include <future>

#include "RecordingSink.h"
#include "Wire.h"
#include "engine/NetCore.h"
#include "platform/Platform.h"

using namespace ostrel::engine;
using namespace enginetest;

// The product's own timing: three requests nine seconds apart, then the call fails.
TEST(SlowHandshake, SilentCalleeGetsThreeRequestsNineSecondsApart) {
    RecordingSink sink;
    NetCore engine(kIdentity, 0, sink, "alice", 6, ostrel::engine::EngineTimings{}, &silentAudio());
    wire::RawPeer callee;
    ConnectionRequest r;
    r.address = "127.0.0.1";
    r.port = callee.port();
    const uint32_t start = ostrel::platform::tickCount();
    auto result = std::async(std::launch::async, [&] { return engine.connect(r); });
    std::vector<uint32_t> at;
    while (at.size() < 3) {
        auto p = callee.receive(12000);
        ASSERT_TRUE(p) << "request " << at.size() + 1 << " missing";
        EXPECT_EQ(p->code(), 1);
        at.push_back(ostrel::platform::tickCount() - start);
    }
    EXPECT_FALSE(result.get());
    // The last attempt ends after its own nine seconds of silence.
    const uint32_t total = ostrel::platform::tickCount() - start;
    EXPECT_GE(total, 26800u);
    EXPECT_LE(total, 28500u);
    EXPECT_FALSE(callee.receive(300));
    for (size_t i = 1; i < at.size(); ++i) {
        EXPECT_GE(at[i] - at[i - 1], 8900u);
        EXPECT_LE(at[i] - at[i - 1], 9600u);
    }
    EXPECT_EQ(sink.count(NotificationCode::ConnectFailed), 1u);
}
