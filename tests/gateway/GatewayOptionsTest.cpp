#include <gtest/gtest.h>

#include "gateway/GatewayOptions.h"

using namespace ostrel::gateway;

namespace {

std::optional<GatewayOptions> parse(std::vector<std::string> args, std::string* error = nullptr) {
    std::string why;
    auto o = GatewayOptions::parse(args, why);
    if (error != nullptr) {
        *error = why;
    }
    return o;
}

}  // namespace

TEST(GatewayOptionsTest, DefaultsServeTheDemoSetup) {
    const auto o = parse({});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->lookupPort, 1730);
    EXPECT_EQ(o->bridgePort, 1731);
    EXPECT_EQ(o->advertiseHost, "127.0.0.1");
    EXPECT_EQ(o->advertisePort, 0) << "0 stands for the bridge's own port";
    EXPECT_FALSE(o->silent);
    EXPECT_EQ(o->seconds, 0u);
    EXPECT_EQ(o->bridge.userName, "gateway");
    EXPECT_FALSE(o->bridge.reject);
    EXPECT_EQ(o->bridge.ringMs, 1000u);
    EXPECT_EQ(o->bridge.voice, VoiceMode::Tone);
    EXPECT_EQ(o->voiceText(), "tone:440");
    EXPECT_EQ(o->bridge.answerRepeats, 5u);
    EXPECT_EQ(o->bridge.answerGapMs, 20u);
    EXPECT_EQ(o->bridge.voiceIntervalMs, 200u);
    EXPECT_EQ(o->bridge.silenceLimitMs, 60000u);
}

TEST(GatewayOptionsTest, EveryOptionIsTaken) {
    const auto o = parse({"--lookup-port", "4000", "--bridge-port", "4001", "--advertise",
                          "gw.example.net:5000", "--silent", "--ring-ms", "2500", "--reject",
                          "--user", "pstn", "--voice", "tone:1000", "--seconds", "30"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->lookupPort, 4000);
    EXPECT_EQ(o->bridgePort, 4001);
    EXPECT_EQ(o->advertiseHost, "gw.example.net");
    EXPECT_EQ(o->advertisePort, 5000);
    EXPECT_TRUE(o->silent);
    EXPECT_EQ(o->bridge.ringMs, 2500u);
    EXPECT_TRUE(o->bridge.reject);
    EXPECT_EQ(o->bridge.userName, "pstn");
    EXPECT_EQ(o->bridge.toneHz, 1000u);
    EXPECT_EQ(o->seconds, 30u);

    const auto echo = parse({"--voice", "echo", "--advertise", "10.0.0.5", "--ring-ms", "0"});
    ASSERT_TRUE(echo);
    EXPECT_EQ(echo->bridge.voice, VoiceMode::Echo);
    EXPECT_EQ(echo->voiceText(), "echo");
    EXPECT_EQ(echo->advertiseHost, "10.0.0.5");
    EXPECT_EQ(echo->advertisePort, 0);
    EXPECT_EQ(echo->bridge.ringMs, 0u);
    EXPECT_TRUE(parse({"--help"})->help);
    EXPECT_TRUE(parse({"--lookup-port", "0", "--bridge-port", "0"})) << "two free ports";
}

struct BadOptions {
    std::vector<std::string> args;
    std::string errorPart;
};

class BadOptionsTest : public ::testing::TestWithParam<BadOptions> {};

TEST_P(BadOptionsTest, IsRefusedWithAReason) {
    std::string error;
    EXPECT_FALSE(parse(GetParam().args, &error));
    EXPECT_NE(error.find(GetParam().errorPart), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadOptionsTest,
    ::testing::Values(BadOptions{{"--bogus"}, "unknown option --bogus"},
                      BadOptions{{"--bridge-port"}, "needs a value"},
                      BadOptions{{"--bridge-port", "65536"}, "port number"},
                      BadOptions{{"--lookup-port", "-1"}, "port number"},
                      BadOptions{{"--lookup-port", "17x"}, "port number"},
                      BadOptions{{"--lookup-port", "1800", "--bridge-port", "1800"}, "differ"},
                      BadOptions{{"--advertise", ":1731"}, "HOST[:PORT]"},
                      BadOptions{{"--advertise", "host:0"}, "HOST[:PORT]"},
                      BadOptions{{"--advertise", std::string(128, 'h')}, "longer than 127"},
                      BadOptions{{"--ring-ms", "600001"}, "--ring-ms"},
                      BadOptions{{"--user", ""}, "--user"},
                      BadOptions{{"--user", std::string(64, 'u')}, "1 to 63"},
                      BadOptions{{"--voice", "tone:0"}, "--voice"},
                      BadOptions{{"--voice", "tone:4000"}, "--voice"},
                      BadOptions{{"--voice", "noise"}, "--voice"},
                      BadOptions{{"--seconds", "0"}, "--seconds"}));
