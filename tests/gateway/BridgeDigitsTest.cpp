#include <gtest/gtest.h>

#include <thread>

#include "GatewayPeer.h"
#include "platform/Platform.h"

using namespace ostrel::engine;
using namespace gatewaytest;
using wire::RawPeer;

namespace {

struct DigitStep {
    uint32_t sequence;
    bool acknowledged;
    const char* printed;  // the digits line it yields, or nullptr
};

struct DigitScript {
    const char* name;
    std::vector<DigitStep> steps;
};

void PrintTo(const DigitScript& script, std::ostream* os) {
    *os << script.name;
}

std::string digitsFor(uint32_t sequence) {
    return std::to_string(sequence) + "#";
}

}  // namespace

class DigitRulesTest : public BridgeFixture, public ::testing::WithParamInterface<DigitScript> {
protected:
    void SetUp() override { startBridge(); }
};

TEST_P(DigitRulesTest, AcknowledgesAndTakesBySequence) {
    RawPeer caller;
    ASSERT_TRUE(connect(caller));
    caller.drain(150);  // the accept repeats
    std::vector<std::string> expectedLines;
    for (const DigitStep& step : GetParam().steps) {
        send(caller, buildDtmf(step.sequence, digitsFor(step.sequence)));
        auto ack = caller.receiveCode(MSG_DTMF_ACK, step.acknowledged ? 1000 : 250);
        ASSERT_EQ(ack.has_value(), step.acknowledged) << "sequence " << step.sequence;
        if (ack) {
            ASSERT_EQ(ack->bytes.size(), 13u + 5u);
            EXPECT_EQ(ack->payloadLength(), 5u);
            EXPECT_EQ(ack->bytes[13], 1) << "kind copied";
            EXPECT_EQ(wire::u32(ack->bytes, 14), step.sequence);
        }
        if (step.printed != nullptr) {
            expectedLines.push_back(std::string("digits ") + step.printed);
        }
    }
    caller.drain(100);
    const auto lines = events.matching("digits ");
    ASSERT_EQ(lines.size(), expectedLines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(0, expectedLines[i].size() + 1), expectedLines[i] + " ")
            << "in order";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, DigitRulesTest,
    ::testing::Values(DigitScript{"InOrder", {{1, true, "1#"}, {2, true, "2#"}, {3, true, "3#"}}},
                      DigitScript{"RepeatAckedTwiceTakenOnce",
                                  {{1, true, "1#"}, {1, true, nullptr}}},
                      DigitScript{"GapWaitsForTheMissingOne",
                                  {{2, false, nullptr}, {1, true, "1#"}, {2, true, "2#"}}},
                      DigitScript{"ZeroIsAcknowledgedNotTaken", {{0, true, nullptr}}},
                      DigitScript{"FarAheadIsIgnored", {{1, true, "1#"}, {7, false, nullptr}}}),
    [](const auto& info) { return std::string(info.param.name); });

class BridgeDigitsTest : public BridgeFixture {
protected:
    void SetUp() override { startBridge(); }
};

TEST_F(BridgeDigitsTest, DigitLineCarriesTheTimeSinceConnect) {
    RawPeer caller;
    ASSERT_TRUE(connect(caller));
    const uint32_t accepted = ostrel::platform::tickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    send(caller, buildDtmf(1, "5551234"));
    ASSERT_TRUE(caller.receiveCode(MSG_DTMF_ACK, 1000));
    const uint32_t upper = ostrel::platform::tickCount() - accepted;
    const auto line = events.waitFor("digits ");
    ASSERT_TRUE(line);
    const auto at = numberIn(*line, "digits 5551234 at ", " ms");
    ASSERT_TRUE(at) << *line;
    const uint32_t ms = *at;
    EXPECT_GE(ms, 290u);
    EXPECT_LE(ms, upper + 5u);
}

TEST_F(BridgeDigitsTest, DigitsWhileRingingAreNeitherAcknowledgedNorTaken) {
    bridge.reset();
    auto settings = fastBridge();
    settings.ringMs = 500;
    startBridge(settings);
    RawPeer caller;
    send(caller, buildConnectRequest(phoneRequest()));
    ASSERT_TRUE(caller.receiveCode(MSG_RINGING, 1000));
    send(caller, buildDtmf(1, "99"));
    EXPECT_FALSE(caller.receiveCode(MSG_DTMF_ACK, 200));
    EXPECT_TRUE(events.matching("digits").empty());
}

TEST_F(BridgeDigitsTest, DigitTextIsPrintedOnOneLine) {
    RawPeer caller;
    ASSERT_TRUE(connect(caller));
    send(caller, buildDtmf(1, "12\n34\x1b[2J"));
    ASSERT_TRUE(caller.receiveCode(MSG_DTMF_ACK, 1000));
    const auto line = events.waitFor("digits ");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->rfind("digits 12?34?[2J at ", 0), 0u) << *line;
}

TEST_F(BridgeDigitsTest, DigitsFromAStrangerStartNothing) {
    RawPeer caller, stranger;
    ASSERT_TRUE(connect(caller));
    sendMessage(stranger, bridge->port(), buildDtmf(1, "666"));
    EXPECT_FALSE(stranger.receiveCode(MSG_DTMF_ACK, 250));
    EXPECT_TRUE(events.matching("digits").empty());
}
