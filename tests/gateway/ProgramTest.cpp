#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "GatewayPeer.h"

using namespace gatewaytest;

namespace {

std::string program() {
    return GATEWAY_PROGRAM;
}

// Runs the program with `args`; its exit status and everything it printed.
struct ProgramRun {
    int status = -1;
    std::vector<std::string> lines;
};

class RunningGateway {
public:
    explicit RunningGateway(const std::string& args) {
        pipe_ = popen((program() + " " + args + " 2>&1").c_str(), "r");
    }
    ~RunningGateway() {
        if (pipe_ != nullptr) {
            finish();
        }
    }

    std::optional<std::string> line() {
        char buffer[512];
        if (pipe_ == nullptr || fgets(buffer, sizeof buffer, pipe_) == nullptr) {
            return std::nullopt;
        }
        std::string s(buffer);
        if (!s.empty() && s.back() == '\n') {
            s.pop_back();
        }
        return s;
    }

    ProgramRun finish() {
        ProgramRun run;
        while (auto l = line()) {
            run.lines.push_back(*l);
        }
        const int raw = pclose(pipe_);
        pipe_ = nullptr;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return run;
    }

private:
    FILE* pipe_ = nullptr;
};

}  // namespace

TEST(ProgramTest, AnswersLookupsAndStopsAfterItsSeconds) {
    RunningGateway gateway(
        "--lookup-port 0 --bridge-port 0 --seconds 2 --advertise gw.test:4321 --voice echo");
    const auto first = gateway.line();
    ASSERT_TRUE(first);
    // "listening lookup=N bridge=M advertise=gw.test:4321 voice=echo"
    const std::string prefix = "listening lookup=";
    const size_t space = first->find(' ', prefix.size());
    ASSERT_NE(space, std::string::npos) << *first;
    const auto lookupPort = numberIn(first->substr(0, space), prefix, "");
    ASSERT_TRUE(lookupPort) << *first;
    EXPECT_TRUE(numberIn(first->substr(space + 1), "bridge=", " advertise=gw.test:4321 voice=echo"))
        << *first;

    wire::RawPeer client;
    sendMessage(client, static_cast<uint16_t>(*lookupPort), ostrel::engine::buildGatewayLookup());
    auto reply = client.receiveCode(24, 1000);
    ASSERT_TRUE(reply);
    EXPECT_EQ(wire::text(reply->bytes, 13 + 1, 128), "gw.test");
    EXPECT_EQ(u16(reply->bytes, 13 + 129), 4321);

    const ProgramRun run = gateway.finish();
    EXPECT_EQ(run.status, 0);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.front().rfind("lookup from 127.0.0.1:", 0), 0u);
    EXPECT_EQ(run.lines.back(), "stopped");
}

TEST(ProgramTest, BadOptionExitsWithUsage) {
    RunningGateway gateway("--voice hum");
    const ProgramRun run = gateway.finish();
    EXPECT_EQ(run.status, 2);
    ASSERT_GE(run.lines.size(), 2u);
    EXPECT_NE(run.lines[0].find("--voice wants"), std::string::npos);
    EXPECT_EQ(run.lines[1], "usage: talvero-gateway [options]");
}

TEST(ProgramTest, PortInUseIsAClearFailure) {
    wire::RawPeer occupant("0.0.0.0");
    RunningGateway gateway("--lookup-port 0 --bridge-port " + std::to_string(occupant.port()));
    const ProgramRun run = gateway.finish();
    EXPECT_EQ(run.status, 1);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_NE(run.lines[0].find("cannot bind the bridge port " + std::to_string(occupant.port())),
              std::string::npos)
        << run.lines[0];
}
