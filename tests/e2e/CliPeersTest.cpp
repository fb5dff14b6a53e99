// The programs as a user runs them, all on loopback with file audio: talvero-service with its
// accounts, ostrel-cli peers logged in to it and calling each other, talvero-gateway for a
// telephone call.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "ToneAudio.h"
#include "tests/e2e/EndToEnd.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ToneMeter.h"

using namespace std::chrono_literals;
using namespace enginetest;
using ostrel::test::ChildProcess;
using ostrel::test::fieldOf;
using ostrel::test::toneLevel;
using ostrel::test::e2e::kAbsent;
using ostrel::test::e2e::kBin;
using ostrel::test::e2e::kHeard;

namespace {

// Runs a program to its end; its exit status.
int run(const std::string& program, const std::vector<std::string>& args,
        const std::map<std::string, std::string>& environment = {}) {
    ChildProcess child(kBin + "/" + program, args, environment);
    return child.waitForExit(60s).value_or(-99);
}

class CliPeersTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_ = scratch_.file("talvero.db");
        for (const char* name : {"alice", "bob", "carol"}) {
            ASSERT_EQ(
                run("talvero-service", {"add-user", "--db", db_, name, std::string(name) + "-pw"}),
                0);
        }
        ASSERT_EQ(run("talvero-service", {"set-buddies", "--db", db_, "alice", "bob", "carol"}), 0);
        service_ = std::make_unique<ChildProcess>(
            kBin + "/talvero-service",
            std::vector<std::string>{"--listen", "127.0.0.1:0", "--db", db_});
        const auto up = service_->waitForLine(
            [](const std::string& l) { return l.starts_with("talvero-service listening on "); },
            20s);
        ASSERT_TRUE(up) << "the service did not start";
        // "talvero-service listening on 127.0.0.1:PORT, database FILE"
        const size_t from = up->find(" on ") + 4;
        serviceHost_ = up->substr(from, up->find(',', from) - from);
    }

    // A peer with its own settings folder, speaking `hz`, logged in as `user`.
    std::unique_ptr<ChildProcess> peer(const std::string& user, double hz,
                                       std::vector<std::string> extra) {
        const std::string says = scratch_.file(user + "-says.wav");
        writeWav(says, tone(hz, 30));
        std::filesystem::create_directories(scratch_.file(user + "-config"));
        std::vector<std::string> args{
            "--port",    "0",          "--user",  user,
            "--service", serviceHost_, "--login", user + ":" + user + "-pw"};
        args.insert(args.end(), extra.begin(), extra.end());
        // Its reports (logged in, logged off) join the notification lines.
        std::string command = "exec " + kBin + "/ostrel-cli";
        for (const auto& a : args) {
            command += " '" + a + "'";
        }
        return std::make_unique<ChildProcess>(
            "/bin/sh", std::vector<std::string>{"-c", command + " 2>&1"},
            std::map<std::string, std::string>{
                {"OSTREL_CAPTURE_FILE", says},
                {"OSTREL_PLAYBACK_FILE", scratch_.file(user + "-heard.wav")},
                {"OSTREL_CONFIG_DIR", scratch_.file(user + "-config")},
                {"TMPDIR", scratch_.file(user + "-config")}});
    }

    static bool loggedIn(ChildProcess& p) {
        return p
            .waitForLine(
                [](const std::string& l) { return l.starts_with("ostrel-cli: logged in"); }, 20s)
            .has_value();
    }

    // The listening port bob's service entry names: the port a buddy is called on.
    std::optional<std::string> onlineEntry(const std::string& user) {
        ChildProcess list(kBin + "/talvero-service", {"list-users", "--db", db_});
        std::optional<std::string> entry;
        while (auto line = list.readLine(10s)) {
            if (line->starts_with(user) && line->find("online at ") != std::string::npos) {
                entry = line->substr(line->find("online at ") + 10);
                entry = entry->substr(0, entry->find(' '));
            }
        }
        list.waitForExit(10s);
        return entry;
    }

    std::vector<int16_t> heard(const std::string& user) {
        return audiblePart(readWav(scratch_.file(user + "-heard.wav")));
    }

    Scratch scratch_;
    std::string db_;
    std::string serviceHost_;
    std::unique_ptr<ChildProcess> service_;
};

}  // namespace

TEST_F(CliPeersTest, BuddiesOnlineTalkRecordPlayBackAndAreLoggedOffWhenSuperseded) {
    auto bob = peer("bob", 600, {"--answer", "accept", "--keepalive", "1"});
    ASSERT_TRUE(loggedIn(*bob));
    const auto bobAt = onlineEntry("bob");
    ASSERT_TRUE(bobAt) << "bob is online with his address and listening port";

    // Alice calls the address the service gives for her buddy, and records the call.
    const std::string recording = scratch_.file("call.vrec");
    auto alice =
        peer("alice", 1400,
             {"--call", *bobAt, "--expect-user", "bob", "--seconds", "5", "--record", recording});
    ASSERT_TRUE(loggedIn(*alice));
    const auto joined =
        alice->waitForLine([](const std::string& l) { return l.starts_with("23 "); }, 15s);
    ASSERT_TRUE(joined);
    EXPECT_EQ(fieldOf(*joined, "name"), "bob");
    ASSERT_EQ(alice->waitForExit(30s), 0);
    EXPECT_TRUE(std::find(alice->lines().begin(), alice->lines().end(),
                          "ostrel-cli: recording saved to " + recording) != alice->lines().end());

    // Both heard the other's tone and not their own.
    const auto aliceHeard = heard("alice");
    const auto bobHeard = heard("bob");
    EXPECT_GT(toneLevel(aliceHeard, 600), kHeard);
    EXPECT_LT(toneLevel(aliceHeard, 1400), kAbsent);
    EXPECT_GT(toneLevel(bobHeard, 1400), kHeard);
    EXPECT_LT(toneLevel(bobHeard, 600), kAbsent);

    // The recording holds both sides, and plays back.
    ASSERT_GE(std::filesystem::file_size(recording), 330u);
    EXPECT_EQ(std::filesystem::file_size(recording) % 330, 0u);
    const std::string played = scratch_.file("played.wav");
    EXPECT_EQ(run("ostrel-cli", {"--play", recording}, {{"OSTREL_PLAYBACK_FILE", played}}), 0);
    const auto playedBack = audiblePart(readWav(played));
    EXPECT_GT(toneLevel(playedBack, 600), kHeard / 2);
    EXPECT_GT(toneLevel(playedBack, 1400), kHeard / 2);

    // Bob logs in from elsewhere: his next keep-alive hears "#" and he is logged off.
    auto otherBob = peer("bob", 600, {"--seconds", "3"});
    ASSERT_TRUE(loggedIn(*otherBob));
    const auto verdict = bob->waitForLine(
        [](const std::string& l) { return l.starts_with("ostrel-cli: logged off by the service"); },
        10s);
    ASSERT_TRUE(verdict);
    EXPECT_NE(verdict->find(": #You have logged in to Talvero from another computer."),
              std::string::npos)
        << *verdict;
    EXPECT_EQ(bob->stop(), 0) << "a clean stop after SIGTERM";
}

TEST_F(CliPeersTest, AThirdPartyJoinsTheConferenceAndHearsBothOthers) {
    auto bob = peer("bob", 600, {"--answer", "accept"});
    ASSERT_TRUE(loggedIn(*bob));
    const auto bobAt = onlineEntry("bob");
    ASSERT_TRUE(bobAt);
    auto alice = peer("alice", 1400, {"--call", *bobAt, "--seconds", "8"});
    ASSERT_TRUE(alice->waitForLine([](const std::string& l) { return l.starts_with("7 "); }, 15s));
    auto carol = peer("carol", 2200, {"--call", *bobAt, "--seconds", "5"});
    const auto carolJoined =
        carol->waitForLine([](const std::string& l) { return l.starts_with("23 "); }, 15s);
    ASSERT_TRUE(carolJoined) << "bob takes carol into the call already going";
    ASSERT_EQ(carol->waitForExit(30s), 0);
    ASSERT_EQ(alice->waitForExit(30s), 0);

    // Everyone hears the sum of the others.
    const auto carolHeard = heard("carol");
    EXPECT_GT(toneLevel(carolHeard, 600), kHeard / 2);
    EXPECT_GT(toneLevel(carolHeard, 2200), 0) << "sanity";
    EXPECT_LT(toneLevel(carolHeard, 2200), kAbsent);
    const auto bobHeard = heard("bob");
    EXPECT_GT(toneLevel(bobHeard, 1400), kHeard / 2);
    EXPECT_GT(toneLevel(bobHeard, 2200), kHeard / 4);
    int joins = 0;
    bob->stop();
    for (const auto& line : bob->lines()) {
        joins += line.starts_with("23 ") ? 1 : 0;
    }
    EXPECT_EQ(joins, 2);
}

TEST_F(CliPeersTest, ATelephoneCallThroughTheGatewayCarriesTheDigits) {
    ChildProcess gateway(kBin + "/talvero-gateway",
                         {"--lookup-port", "0", "--bridge-port", "0", "--ring-ms", "200"});
    const auto up = gateway.waitForLine(
        [](const std::string& l) { return l.starts_with("listening lookup="); }, 10s);
    ASSERT_TRUE(up);
    const auto bridge = fieldOf(*up, "bridge");
    ASSERT_TRUE(bridge);
    auto alice = peer("alice", 1400,
                      {"--call", "127.0.0.1:" + *bridge, "--dtmf", "5551234", "--seconds", "4"});
    ASSERT_TRUE(alice->waitForLine([](const std::string& l) { return l.starts_with("7 "); }, 15s));
    const auto digits = gateway.waitForLine(
        [](const std::string& l) { return l.find("digits 5551234") != std::string::npos; }, 10s);
    EXPECT_TRUE(digits) << "the gateway printed the digits it acknowledged";
    EXPECT_EQ(alice->waitForExit(30s), 0);
    EXPECT_GT(toneLevel(heard("alice"), 440), kHeard) << "the gateway's tone came back";
}
