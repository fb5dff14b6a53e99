#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <thread>

#include "platform/HostPort.h"
#include "platform/Platform.h"
#include "platform/Text.h"

using namespace ostrel::platform;

TEST(Tick, AdvancesInMilliseconds) {
    const uint32_t before = tickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const uint32_t elapsed = tickCount() - before;
    EXPECT_GE(elapsed, 50u);
    EXPECT_LT(elapsed, 1000u);
}

TEST(Guid, LowerCaseGroupsAndUnique) {
    const std::regex shape("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$");
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string g = newGuidText();
        EXPECT_TRUE(std::regex_match(g, shape)) << g;
        seen.insert(g);
    }
    EXPECT_EQ(seen.size(), 100u);
}

TEST(Paths, ProgramFolderHoldsTheExecutable) {
    const std::string path = programPath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(joinPath(programFolder(), path.substr(path.rfind('/') + 1)), path);
}

TEST(Paths, TempFolderFollowsTmpdir) {
    setenv("TMPDIR", "/var/tmp//", 1);
    EXPECT_EQ(tempFolder(), "/var/tmp");
    unsetenv("TMPDIR");
    EXPECT_EQ(tempFolder(), "/tmp");
    EXPECT_EQ(joinPath("/a/", "/b"), "/a/b");
}

TEST(HostPortText, PortIsOptionalAndChecked) {
    auto plain = parseHostPort("talvero.example");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->host, "talvero.example");
    EXPECT_EQ(plain->port, 80);

    auto withPort = parseHostPort("127.0.0.1:8080");
    ASSERT_TRUE(withPort);
    EXPECT_EQ(withPort->host, "127.0.0.1");
    EXPECT_EQ(withPort->port, 8080);

    EXPECT_EQ(parseHostPort("gw", 1720)->port, 1720);
    EXPECT_FALSE(parseHostPort(""));
    EXPECT_FALSE(parseHostPort(":80"));
    EXPECT_FALSE(parseHostPort("host:"));
    EXPECT_FALSE(parseHostPort("host:0"));
    EXPECT_FALSE(parseHostPort("host:65536"));
    EXPECT_FALSE(parseHostPort("host:80x"));
}

TEST(TrimmedText, WhiteSpaceOfEveryKindGoesFromBothEndsOnly) {
    EXPECT_EQ(trimmed(" \t\r\n\v\f/home/al ice/Rec\t \r\n"), "/home/al ice/Rec");
    EXPECT_EQ(trimmed("a"), "a");
    EXPECT_EQ(trimmed(" \t\n "), "");
    EXPECT_EQ(trimmed(""), "");
    // Bytes of UTF-8 characters stay, whatever the locale says: here a no-break space.
    const std::string noBreak = "\xc2\xa0";
    EXPECT_EQ(trimmed(noBreak + "12" + noBreak), noBreak + "12" + noBreak);
    // NUL is no white space.
    EXPECT_EQ(trimmed(std::string_view("\0x ", 3)), std::string("\0x", 2));
}
