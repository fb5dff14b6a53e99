// The talvero-service subcommands against a real database file.
#include "service/ServiceCommandLine.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <regex>
#include <sstream>

#include "platform/Platform.h"
#include "tests/service/ServiceFixture.h"
#include "tests/service/XmlTree.h"

namespace ostrel::service {
namespace {

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = test::makeTempFolder();
        db_ = platform::joinPath(folder_, "cli.db");
    }
    void TearDown() override { test::removeFolder(folder_); }

    int run(
        std::vector<std::string> args, const std::string& input = "",
        std::function<void()> wait = [] {}) {
        out_.str("");
        err_.str("");
        std::istringstream in(input);
        ServiceOptions defaults;
        defaults.hashCost = HashCost::Minimum;
        ServiceCommandLine commandLine(out_, err_, in, std::move(wait), defaults);
        args.push_back("--db");
        args.push_back(db_);
        return commandLine.run(args);
    }

    std::string folder_;
    std::string db_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(CommandLine, ManagesUsersBuddiesProvidersAndCards) {
    EXPECT_EQ(run({"add-user", "alice", "secret"}), 0) << err_.str();
    EXPECT_EQ(run({"add-user", "bob", "-"}, "from stdin\n"), 0) << err_.str();
    EXPECT_EQ(run({"add-user", "ALICE", "x"}), 1);
    EXPECT_EQ(run({"set-buddies", "alice", "bob", "carol"}), 0) << err_.str();
    EXPECT_EQ(run({"add-provider", "3", "Acme Tel", "--host", "lookup.example:3030", "--host",
                   "10.0.0.1:3031", "--param", "enable_auto_dtmf=1", "--param",
                   "delay_for_pin_number=2500"}),
              0)
        << err_.str();
    EXPECT_EQ(run({"set-cards", "alice", "3:1234:9999:default", "3:55:"}), 0) << err_.str();
    EXPECT_EQ(run({"set-cards", "alice", "4:1:2"}), 1) << "provider 4 does not exist";

    EXPECT_EQ(run({"list-users"}), 0);
    EXPECT_TRUE(
        std::regex_search(out_.str(), std::regex("alice +buddies: bob carol +cards: 2 +offline")))
        << out_.str();
    EXPECT_NE(out_.str().find("bob "), std::string::npos);
    EXPECT_EQ(run({"list-providers"}), 0);
    EXPECT_NE(out_.str().find("3 Acme Tel  host lookup.example:3030  host 10.0.0.1:3031  "
                              "enable_auto_dtmf=1  delay_for_pin_number=2500"),
              std::string::npos)
        << out_.str();

    // What the subcommands stored is what a login delivers.
    std::string error;
    ServiceOptions options;
    options.databasePath = db_;
    options.listenPort = 0;
    auto service = TalveroService::open(options, error);
    ASSERT_TRUE(service) << error;
    PasswordHasher hasher;
    const auto bob = service->accounts().findUser("bob");
    ASSERT_TRUE(bob);
    EXPECT_TRUE(hasher.verify(bob->passwordHash, "from stdin"));
    const auto alice = service->accounts().findUser("alice");
    const auto cards = service->accounts().cards(alice->id);
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0].isDefault, 1);
    EXPECT_EQ(cards[1].pinNumber, "");
    const auto providers = service->accounts().providers();
    ASSERT_EQ(providers.size(), 1u);
    EXPECT_EQ(providers[0].hosts[1].port, 3031);
}

TEST_F(CommandLine, SetPasswordReplacesTheHash) {
    ASSERT_EQ(run({"add-user", "alice", "one"}), 0);
    EXPECT_EQ(run({"set-password", "alice", "two"}), 0) << err_.str();
    EXPECT_EQ(run({"set-password", "nobody", "two"}), 1);
    std::string error;
    ServiceOptions options;
    options.databasePath = db_;
    auto service = TalveroService::open(options, error);
    ASSERT_TRUE(service);
    PasswordHasher hasher;
    EXPECT_TRUE(hasher.verify(service->accounts().findUser("alice")->passwordHash, "two"));
}

struct BadCommand {
    std::vector<std::string> args;
    int status;
};

void PrintTo(const BadCommand& c, std::ostream* os) {
    for (const std::string& arg : c.args) {
        *os << arg << " ";
    }
}

class CommandLineRefusal : public CommandLine, public ::testing::WithParamInterface<BadCommand> {};

TEST_P(CommandLineRefusal, ExitsWithTheRightStatusAndSaysWhy) {
    ASSERT_EQ(run({"add-user", "alice", "pw"}), 0);
    EXPECT_EQ(run(GetParam().args), GetParam().status);
    EXPECT_FALSE(err_.str().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandLineRefusal,
    ::testing::Values(BadCommand{{"frobnicate"}, 2}, BadCommand{{"add-user", "x"}, 2},
                      BadCommand{{"add-user", "bad name", "pw"}, 1},
                      BadCommand{{"add-user", "eve", ""}, 1},
                      BadCommand{{"add-user", "eve", std::string(64, 'p')}, 1},
                      BadCommand{{"set-buddies", "nobody", "x"}, 1},
                      BadCommand{{"set-cards", "alice", "1-2-3"}, 2},
                      BadCommand{{"add-provider", "x", "Name"}, 2},
                      BadCommand{{"add-provider", "1", "Name", "--host", "nohostport"}, 2},
                      BadCommand{{"add-provider", "1", "Name", "--param", "=v"}, 2},
                      BadCommand{{"--listen", "not a host:port:"}, 2}, BadCommand{{"--bogus"}, 2}));

TEST_F(CommandLine, NeedsADatabase) {
    std::istringstream in;
    ServiceCommandLine commandLine(out_, err_, in, [] {});
    EXPECT_EQ(commandLine.run({"list-users"}), 2);
}

TEST_F(CommandLine, ServeAnswersUntilTheWaitEnds) {
    ASSERT_EQ(run({"add-user", "alice", "pw"}), 0);
    std::string directory;
    const int status = run({"--listen", "127.0.0.1:0", "--public-host", "talvero.test"}, "", [&] {
        // The start-up line names the port that was picked.
        std::smatch match;
        const std::string line = out_.str();
        ASSERT_TRUE(std::regex_search(line, match, std::regex("127\\.0\\.0\\.1:(\\d+)"))) << line;
        httplib::Client client("127.0.0.1", std::stoi(match[1]));
        auto reply =
            client.Post("/OstrelServer.asp", "version=6", "application/x-www-form-urlencoded");
        ASSERT_TRUE(reply);
        directory = reply->body;
    });
    EXPECT_EQ(status, 0) << err_.str();
    EXPECT_NE(directory.find("CURRENT IP=talvero.test\r\n"), std::string::npos) << directory;
}

}  // namespace
}  // namespace ostrel::service
