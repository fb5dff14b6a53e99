#include <gtest/gtest.h>

#include "tools/CliOptions.h"

using ostrel::tools::AnswerPolicy;
using ostrel::tools::CliOptions;

namespace {

std::optional<CliOptions> parse(std::vector<std::string> args, std::string* error = nullptr) {
    std::string e;
    auto o = CliOptions::parse(args, e);
    if (error != nullptr) {
        *error = e;
    }
    return o;
}

}  // namespace

TEST(CliOptions, DefaultsAndEveryOption) {
    const auto d = parse({});
    ASSERT_TRUE(d);
    EXPECT_EQ(d->port, 1720);
    EXPECT_EQ(d->user, "UNKNOWN");
    EXPECT_EQ(d->answer, AnswerPolicy::Accept);
    EXPECT_TRUE(d->callHost.empty());
    EXPECT_EQ(d->seconds, 0u);

    const auto o =
        parse({"--port", "0", "--user", "bob", "--answer", "ignore", "--call", "peer.example:1800",
               "--expect-user", "carol", "--dtmf", "12*#", "--seconds", "5"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->port, 0);
    EXPECT_EQ(o->user, "bob");
    EXPECT_EQ(o->answer, AnswerPolicy::Ignore);
    EXPECT_EQ(o->callHost, "peer.example");
    EXPECT_EQ(o->callPort, 1800);
    EXPECT_EQ(o->expectUser, "carol");
    EXPECT_EQ(o->dtmf, "12*#");
    EXPECT_EQ(o->seconds, 5u);

    const auto bare = parse({"--call", "10.0.0.7", "--answer", "reject"});
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->callPort, 1720);
    EXPECT_EQ(bare->answer, AnswerPolicy::Reject);
}

class BadCliOptions : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(BadCliOptions, AreRefusedWithAReason) {
    std::string error;
    EXPECT_FALSE(parse(GetParam(), &error));
    EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, BadCliOptions,
                         ::testing::Values(std::vector<std::string>{"--bogus"},
                                           std::vector<std::string>{"--port"},
                                           std::vector<std::string>{"--port", "65536"},
                                           std::vector<std::string>{"--port", "12x"},
                                           std::vector<std::string>{"--answer", "maybe"},
                                           std::vector<std::string>{"--call", ":1720"},
                                           std::vector<std::string>{"--call", "host:0"},
                                           std::vector<std::string>{"--dtmf", "12a"},
                                           std::vector<std::string>{"--seconds", "0"},
                                           std::vector<std::string>{"--seconds", "-3"},
                                           std::vector<std::string>{"--user", std::string(64, 'x')},
                                           std::vector<std::string>{"stray"}));
