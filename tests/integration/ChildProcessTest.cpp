#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"

using namespace std::chrono_literals;
using ostrel::test::ChildProcess;
using ostrel::test::fieldOf;

TEST(ChildProcessTest, ReadsLinesWithItsEnvironmentAndExitStatus) {
    ChildProcess child("/bin/sh", {"-c", "echo \"a=$OSTREL_X\"; echo -n tail; exit 3"},
                       {{"OSTREL_X", "seen"}});
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.readLine(5s), "a=seen");
    EXPECT_EQ(child.readLine(5s), "tail") << "the last line needs no newline";
    EXPECT_EQ(child.readLine(1s), std::nullopt);
    EXPECT_EQ(child.waitForExit(5s), 3);
}

TEST(ChildProcessTest, WaitsForAMatchingLineAndStopsAProgramThatRunsOn) {
    ChildProcess child("/bin/sh", {"-c",
                                   "echo one; echo '23 PEER_JOINED name=bob version=6'; "
                                   "exec sleep 30"});
    const auto joined =
        child.waitForLine([](const std::string& l) { return l.rfind("23 ", 0) == 0; }, 5s);
    ASSERT_TRUE(joined);
    EXPECT_EQ(fieldOf(*joined, "name"), "bob");
    EXPECT_EQ(fieldOf(*joined, "version"), "6");
    EXPECT_EQ(fieldOf(*joined, "ame"), std::nullopt) << "a key matches whole words only";
    EXPECT_EQ(child.waitForLine([](const std::string&) { return true; }, 200ms), std::nullopt);
    EXPECT_EQ(child.stop(), -1) << "ended by its signal";
}

TEST(ChildProcessTest, AMissingProgramIsNotStarted) {
    ChildProcess child("/nonexistent/program", {});
    EXPECT_FALSE(child.started());
}
