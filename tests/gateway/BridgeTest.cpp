#include <gtest/gtest.h>

#include <thread>

#include "GatewayPeer.h"
#include "platform/Platform.h"

using namespace ostrel::engine;
using namespace gatewaytest;
using ostrel::platform::tickCount;
using wire::Packet;
using wire::RawPeer;

namespace {

constexpr const char* kCallerGuid = "c0ffee00-1234-4abc-8def-0123456789ab";

std::vector<Packet> withCode(const std::vector<Packet>& all, uint8_t code) {
    std::vector<Packet> picked;
    for (const auto& p : all) {
        if (p.code() == code) {
            picked.push_back(p);
        }
    }
    return picked;
}

}  // namespace

class BridgeTest : public BridgeFixture {
protected:
    void SetUp() override { startBridge(); }
};

TEST_F(BridgeTest, RingsAtOnceThenAcceptsFiveTimesAfterTheRingTime) {
    RawPeer caller;
    ConnectFields f = phoneRequest(kCallerGuid);
    f.connectionString = "18005550199";
    const uint32_t sent = tickCount();
    send(caller, buildConnectRequest(f));
    auto ringing = caller.receive(2000);
    ASSERT_TRUE(ringing);
    EXPECT_EQ(ringing->bytes, wire::frame(8)) << "ringing is the bare header";
    EXPECT_EQ(ringing->fromPort, bridge->port());

    std::vector<Packet> accepts;
    std::vector<uint32_t> at;
    while (accepts.size() < 5) {
        auto p = caller.receiveCode(2, 1000);
        ASSERT_TRUE(p) << "accept " << accepts.size() + 1 << " missing";
        at.push_back(tickCount() - sent);
        accepts.push_back(*p);
    }
    EXPECT_GE(at[0], 90u) << "rang for the ring time first";
    for (size_t i = 1; i < at.size(); ++i) {
        EXPECT_GE(at[i] - at[i - 1], 10u) << "repeat " << i << " not spaced";
    }
    for (const auto& a : accepts) {
        const auto& b = a.bytes;
        ASSERT_EQ(b.size(), 13u + 400u);
        EXPECT_EQ(a.payloadLength(), 400u);
        EXPECT_EQ(wire::u32(b, 5), 0u);
        EXPECT_EQ(wire::text(b, 13, 64), "gateway");
        EXPECT_EQ(wire::u32(b, 13 + 64), 6u);
        EXPECT_TRUE(wire::allZero(b, 13 + 68, 13 + 80));
        EXPECT_EQ(wire::text(b, 13 + 80, 64), kGatewayIdentity);
        EXPECT_EQ(wire::text(b, 13 + 144, 64), kCallerGuid) << "the caller's conference";
        EXPECT_TRUE(wire::allZero(b, 13 + 144 + 36, 13 + 400)) << "nothing after the GUID";
    }
    const auto line = events.waitFor("accepted ");
    ASSERT_TRUE(line);
    EXPECT_EQ(*line,
              "accepted 127.0.0.1:" + std::to_string(caller.port()) +
                  " bridge-type=1 connection-string=\"18005550199\" conference=" + kCallerGuid);
    EXPECT_TRUE(events.waitFor("call from 127.0.0.1:" + std::to_string(caller.port()) +
                               " user=alice version=6"));
    EXPECT_TRUE(withCode(caller.drain(300), 2).empty()) << "no sixth accept";
    EXPECT_EQ(bridge->callCount(), 1u);
}

TEST_F(BridgeTest, RequestWithoutConferenceGetsAFreshOneEachCall) {
    RawPeer first, second;
    auto a = connect(first);
    auto b = connect(second);
    ASSERT_TRUE(a && b);
    const std::string guidA = wire::text(a->bytes, 13 + 144, 64);
    const std::string guidB = wire::text(b->bytes, 13 + 144, 64);
    EXPECT_TRUE(isGuidText(guidA)) << guidA;
    EXPECT_TRUE(isGuidText(guidB)) << guidB;
    EXPECT_NE(guidA, guidB);
    for (const auto& p : withCode(first.drain(200), 2)) {
        EXPECT_EQ(wire::text(p.bytes, 13 + 144, 64), guidA) << "every repeat names the same";
    }
}

TEST_F(BridgeTest, OldVersionRequestIsStillAnswered) {
    RawPeer caller;
    ConnectFields f = phoneRequest(kCallerGuid);
    f.version = 4;  // read for the user name only: the GUID is not taken
    auto accept = connect(caller, f);
    ASSERT_TRUE(accept);
    EXPECT_TRUE(isGuidText(wire::text(accept->bytes, 13 + 144, 64)));
    EXPECT_NE(wire::text(accept->bytes, 13 + 144, 64), kCallerGuid);
    EXPECT_TRUE(events.waitFor("user=alice version=1"));
}

TEST_F(BridgeTest, RepeatedRequestWhileRingingIsIgnored) {
    bridge.reset();
    auto settings = fastBridge();
    settings.ringMs = 300;
    startBridge(settings);
    RawPeer caller;
    send(caller, buildConnectRequest(phoneRequest()));
    send(caller, buildConnectRequest(phoneRequest()));
    const auto until = caller.drain(250);
    EXPECT_EQ(withCode(until, 8).size(), 1u);
    EXPECT_TRUE(withCode(until, 2).empty());
    EXPECT_TRUE(caller.receiveCode(2, 1000));
    EXPECT_EQ(events.matching("call from").size(), 1u);
}

TEST_F(BridgeTest, RequestAfterTheAnswersGetsOneMoreAccept) {
    RawPeer caller;
    ASSERT_TRUE(connect(caller));
    caller.drain(200);  // the other four repeats
    send(caller, buildConnectRequest(phoneRequest()));
    const auto again = withCode(caller.drain(300), 2);
    EXPECT_EQ(again.size(), 1u) << "the caller missed every accept: one more";
    EXPECT_EQ(events.matching("call from").size(), 1u) << "still the same call";
}

TEST_F(BridgeTest, RejectRingsThenSendsRingStoppedFiveTimes) {
    bridge.reset();
    auto settings = fastBridge();
    settings.reject = true;
    startBridge(settings);
    RawPeer caller;
    send(caller, buildConnectRequest(phoneRequest()));
    const auto all = caller.drain(500);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front().bytes, wire::frame(8));
    const auto stopped = withCode(all, 7);
    EXPECT_EQ(stopped.size(), 5u);
    for (const auto& p : stopped) {
        EXPECT_EQ(p.bytes, wire::frame(7));
    }
    EXPECT_TRUE(withCode(all, 2).empty());
    EXPECT_TRUE(withCode(all, 3).empty()) << "no voice for a refused call";
    EXPECT_TRUE(events.waitFor("rejected 127.0.0.1:" + std::to_string(caller.port())));
    EXPECT_EQ(bridge->callCount(), 0u);
    send(caller, buildConnectRequest(phoneRequest()));
    EXPECT_TRUE(caller.receiveCode(8, 1000)) << "a refused caller may try again";
}

TEST_F(BridgeTest, ProbesAreAnsweredToAnyone) {
    RawPeer caller, stranger;
    ASSERT_TRUE(connect(caller));
    for (RawPeer* peer : {&caller, &stranger}) {
        auto probe = wire::probe(9, 0xA1B2C3D4u, 12345u, 0xFFFFFFFFu);
        peer->sendTo(bridge->port(), probe);
        auto answer = peer->receiveCode(16, 1000);
        ASSERT_TRUE(answer);
        ASSERT_EQ(answer->bytes.size(), 13u + 12u);
        EXPECT_EQ(answer->payloadLength(), 12u);
        EXPECT_TRUE(std::equal(probe.begin() + 13, probe.begin() + 21, answer->bytes.begin() + 13));
        EXPECT_TRUE(wire::allZero(answer->bytes, 13 + 8, 13 + 12));
    }
    EXPECT_EQ(bridge->callCount(), 1u) << "a stranger's probe starts no call";
}

TEST_F(BridgeTest, HangupEndsTheCallAndAStrangersHangupDoesNot) {
    RawPeer caller, stranger;
    ASSERT_TRUE(connect(caller));
    sendMessage(stranger, bridge->port(), buildEmpty(MSG_HANGUP));
    EXPECT_TRUE(caller.receiveCode(3, 1000)) << "voice goes on";
    send(caller, buildEmpty(MSG_HANGUP));
    const auto line = events.waitFor("hangup ");
    ASSERT_TRUE(line);
    EXPECT_TRUE(
        numberIn(*line, "hangup 127.0.0.1:" + std::to_string(caller.port()) + " after ", " ms"))
        << *line;
    caller.drain(100);
    EXPECT_TRUE(withCode(caller.drain(500), 3).empty()) << "no voice after the hang-up";
    EXPECT_EQ(bridge->callCount(), 0u);
    EXPECT_EQ(events.matching("hangup").size(), 1u);
}

TEST_F(BridgeTest, HangupWhileRingingEndsTheAttempt) {
    bridge.reset();
    auto settings = fastBridge();
    settings.ringMs = 400;
    startBridge(settings);
    RawPeer caller;
    send(caller, buildConnectRequest(phoneRequest()));
    ASSERT_TRUE(caller.receiveCode(8, 1000));
    send(caller, buildEmpty(MSG_HANGUP));
    EXPECT_TRUE(events.waitFor("while ringing"));
    EXPECT_TRUE(withCode(caller.drain(700), 2).empty()) << "no accept for an abandoned call";
}

TEST_F(BridgeTest, MalformedDatagramsAreDroppedAndTheBridgeCarriesOn) {
    RawPeer caller;
    auto request = bytesOf(buildConnectRequest(phoneRequest()));
    auto cut = request;
    cut.resize(13 + 10);  // claims 400 payload bytes, brings 10
    caller.sendTo(bridge->port(), cut);
    auto badSignature = request;
    badSignature[2] = 'Y';
    caller.sendTo(bridge->port(), badSignature);
    caller.sendTo(bridge->port(), std::vector<uint8_t>{'Q', 'V', 'X', 0, 1});
    caller.sendTo(bridge->port(), wire::frame(1, std::vector<uint8_t>(5000, 0)));
    auto voice = wire::frame(3, std::vector<uint8_t>(336, 0));
    voice[13 + 330] = 0x90;  // trailer length 400: beyond the payload
    voice[13 + 331] = 0x01;
    caller.sendTo(bridge->port(), voice);
    EXPECT_TRUE(caller.drain(300).empty());
    EXPECT_TRUE(events.waitFor("payload length differs"));
    EXPECT_TRUE(events.waitFor("bad signature"));
    EXPECT_TRUE(events.waitFor("shorter than the header"));
    EXPECT_TRUE(events.waitFor("longer than 4096 bytes"));
    EXPECT_TRUE(events.waitFor("bad voice trailer"));
    EXPECT_EQ(bridge->callCount(), 0u);
    caller.sendTo(bridge->port(), request);
    EXPECT_TRUE(caller.receiveCode(8, 1000));
}

TEST_F(BridgeTest, CallersBeyondTheLimitHearBusy) {
    bridge.reset();
    auto settings = fastBridge();
    settings.maxCalls = 1;
    startBridge(settings);
    RawPeer first, second;
    ASSERT_TRUE(connect(first));
    send(second, buildConnectRequest(phoneRequest()));
    auto busy = second.receive(1000);
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->bytes, wire::frame(19));
    EXPECT_TRUE(events.waitFor("busy 127.0.0.1:" + std::to_string(second.port())));
    EXPECT_EQ(bridge->callCount(), 1u);
}

TEST_F(BridgeTest, StoppingTellsEveryCaller) {
    bridge.reset();
    auto settings = fastBridge();
    settings.ringMs = 300;
    startBridge(settings);
    RawPeer talking, ringing;
    ASSERT_TRUE(connect(talking));
    send(ringing, buildConnectRequest(phoneRequest()));
    ASSERT_TRUE(ringing.receiveCode(8, 1000));
    bridge->stop();
    EXPECT_TRUE(talking.receiveCode(4, 1000)) << "hang-up for the connected caller";
    EXPECT_TRUE(ringing.receiveCode(7, 1000)) << "ring-stopped for the ringing one";
    EXPECT_EQ(events.matching("gateway stopping").size(), 2u);
}

TEST_F(BridgeTest, SilentCallerIsDroppedButAProbingOneIsNot) {
    bridge.reset();
    auto settings = fastBridge();
    settings.silenceLimitMs = 400;
    startBridge(settings);
    RawPeer silent, probing;
    ASSERT_TRUE(connect(silent));
    ASSERT_TRUE(connect(probing));
    const uint32_t connected = tickCount();
    bool probingDropped = false;
    while (tickCount() - connected < 1200) {
        probing.sendTo(bridge->port(), wire::probe(9, tickCount(), 0));
        for (const auto& p : probing.drain(100)) {
            probingDropped = probingDropped || p.code() == 4;
        }
    }
    EXPECT_TRUE(silent.receiveCode(4, 500)) << "hang-up for the silent caller";
    EXPECT_FALSE(probingDropped);
    EXPECT_TRUE(events.waitFor("dropped 127.0.0.1:" + std::to_string(silent.port()) +
                               ": silent for 400 ms"));
    EXPECT_TRUE(eventually([&] { return bridge->callCount() == 1; }));
}
