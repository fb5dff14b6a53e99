#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "reporter/ClientLauncher.h"
#include "tests/reporter/ClientMarker.h"
#include "tests/reporter/TempFolder.h"

using namespace ostrel::reporter;
using namespace ostrel::reporter::test;

namespace {

class ClientLauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        marker_ = folder_.Path() + "/started";
        ::setenv("FERRULE_TEST_MARKER", marker_.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("FERRULE_TEST_MARKER"); }

    TempFolder folder_;
    std::string marker_;
};

TEST_F(ClientLauncherTest, StartsTheProgramWithoutArgumentsInASessionOfItsOwn) {
    const pid_t pid = startClient(FAKE_CLIENT_PATH);
    ASSERT_GT(pid, 0);
    auto seen = waitForMarker(marker_, 10000);
    EXPECT_EQ(reap(pid), 0);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen["argc"], "1");
    EXPECT_EQ(seen["argv0"], FAKE_CLIENT_PATH);
    EXPECT_EQ(seen["pid"], std::to_string(pid));
    EXPECT_EQ(seen["sid"], std::to_string(pid));  // its own session leader
    EXPECT_NE(seen["sid"], std::to_string(::getsid(0)));
}

// Ferrule is started from the crash handler's signal handler, with the crashing signal
// blocked; a client started from there must still get its own crash handler called.
TEST_F(ClientLauncherTest, TheClientStartsWithNoSignalBlockedOrIgnored) {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGSEGV);
    sigaddset(&blocked, SIGTERM);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previousHup {};
    sigaction(SIGHUP, &ignore, &previousHup);

    const pid_t pid = startClient(FAKE_CLIENT_PATH);

    sigaction(SIGHUP, &previousHup, nullptr);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ASSERT_GT(pid, 0);
    auto seen = waitForMarker(marker_, 10000);
    EXPECT_EQ(reap(pid), 0);
    EXPECT_EQ(seen["SigBlk"], "0000000000000000");
    // Signals 32 and 33 belong to the C library, which posix_spawn leaves ignored on purpose.
    const unsigned long long libcSignals = (1ull << 31) | (1ull << 32);
    EXPECT_EQ(std::stoull(seen["SigIgn"], nullptr, 16) & ~libcSignals, 0u) << seen["SigIgn"];
}

TEST_F(ClientLauncherTest, AProgramThatCannotBeStartedIsReported) {
    EXPECT_EQ(startClient(""), -1);
    EXPECT_EQ(startClient(folder_.Path() + "/no-such-client"), -1);
    const std::string notExecutable = folder_.Write("ostrel", "#!/bin/sh\nexit 0\n");
    ::chmod(notExecutable.c_str(), 0644);
    EXPECT_EQ(startClient(notExecutable), -1);
}

TEST(UnblockAllSignals, ClearsTheInheritedMask) {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGSEGV);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    unblockAllSignals();
    sigset_t now;
    pthread_sigmask(SIG_SETMASK, nullptr, &now);
    EXPECT_FALSE(sigismember(&now, SIGSEGV));
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace
