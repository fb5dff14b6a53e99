// A crash of the real client: the handler leaves a report beside the program and starts the
// problem reporter with the report's path, the versions, the service's problem-report target
// and the client's own path and instance.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ToneAudio.h"
#include "tests/e2e/EndToEnd.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestService.h"

using namespace std::chrono_literals;
using ostrel::test::ChildProcess;
using ostrel::test::e2e::kBin;

namespace {

std::vector<std::string> commandLineOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::vector<std::string> args;
    std::string arg;
    while (std::getline(in, arg, '\0')) {
        args.push_back(arg);
    }
    return args;
}

// The running processes started from `program`, other than `except`.
std::vector<pid_t> processesOf(const std::string& program) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path() / "exe", error) == program) {
            found.push_back(std::stoi(name));
        }
    }
    return found;
}

std::string valueAfter(const std::vector<std::string>& args, const std::string& flag) {
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == flag) {
            return args[i + 1];
        }
    }
    return "<missing " + flag + ">";
}

}  // namespace

TEST(CrashReportTest, ACrashLeavesAReportAndStartsTheReporterWithIt) {
    enginetest::Scratch scratch;
    ostrel::test::TestService service;
    ASSERT_TRUE(service.running()) << service.error();

    // A program folder of its own, so the report lands there and not in the build.
    const std::string programs = scratch.file("programs");
    std::filesystem::create_directories(programs);
    for (const char* program : {"ostrel", "ferrule"}) {
        std::filesystem::copy_file(kBin + "/" + program, programs + "/" + program);
    }
    const std::string config = scratch.file("config");
    std::filesystem::create_directories(config);

    ChildProcess client(programs + "/ostrel", {"DontShow"},
                        {{"QT_QPA_PLATFORM", "offscreen"},
                         {"OSTREL_CONFIG_DIR", config},
                         {"OSTREL_AUDIO", "none"},
                         {"OSTREL_SERVICE_HOST", service.webHost()}});
    ASSERT_TRUE(client.started());
    // Up once its single-instance socket exists and its listener is bound.
    std::this_thread::sleep_for(3s);
    ASSERT_FALSE(client.waitForExit(0ms)) << "the client is running";
    ASSERT_EQ(kill(client.pid(), SIGSEGV), 0);
    const auto status = client.waitForExit(20s);
    ASSERT_TRUE(status) << "the client ended after its crash";

    // The reporter was started with the report.
    std::vector<pid_t> reporters;
    for (int i = 0; i < 100 && reporters.empty(); ++i) {
        reporters = processesOf(programs + "/ferrule");
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_EQ(reporters.size(), 1u);
    const auto args = commandLineOf(reporters[0]);
    for (pid_t pid : reporters) {
        kill(pid, SIGTERM);
    }

    const std::string report = valueAfter(args, "-f");
    EXPECT_EQ(report.rfind(programs + "/Logs/", 0), 0u) << report;
    EXPECT_NE(report.find(".RPT"), std::string::npos) << report;
    std::ifstream in(report);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("ACCESS_VIOLATION"), std::string::npos) << text.str().substr(0, 400);
    EXPECT_NE(text.str().find("Registers:"), std::string::npos);
    EXPECT_EQ(valueAfter(args, "-a"), programs + "/ostrel");
    EXPECT_EQ(valueAfter(args, "-s"), service.webHost())
        << "the server learnt from the service directory at start-up";
    EXPECT_FALSE(valueAfter(args, "-i").empty());
    EXPECT_FALSE(valueAfter(args, "-v").empty());
}
