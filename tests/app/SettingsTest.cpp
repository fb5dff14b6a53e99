#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/settings/Settings.h"
#include "app/settings/SettingsKey.h"
#include "app/settings/StartupEntry.h"

using namespace ostrel::settings;
namespace fs = std::filesystem;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("ostrel-settings-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        folder_ = root_ / "config" / "Brennick";
        setenv("OSTREL_CONFIG_DIR", folder_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / "xdg").c_str(), 1);
        unsetenv("OSTREL_SERVICE_HOST");
    }
    void TearDown() override {
        fs::remove_all(root_);
        unsetenv("OSTREL_CONFIG_DIR");
        unsetenv("XDG_CONFIG_HOME");
    }

    std::string fileText() const {
        std::ifstream in(folder_ / "settings.reg");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void writeFileText(const std::string& text) const {
        fs::create_directories(folder_);
        std::ofstream(folder_ / "settings.reg") << text;
    }

    fs::path root_;
    fs::path folder_;
};

}  // namespace

TEST_F(SettingsTest, FreshFolderYieldsEveryDefault) {
    // The defaults as the value table lists them.
    const std::pair<const char*, uint32_t> dwords[] = {
        {"UseHttpProxy", 0},
        {"HttpProxyPort", 80},
        {"IPType", 0},
        {"UseAlternateListeningPort", 0},
        {"ListeningPort", 1720},
        {"AutoLogin", 0},
        {"RingTime", 10},
        {"AutoMMSettings", 1},
        {"PopupBuddyJoinLeave", 1},
        {"PopupNetworkCongestion", 1},
        {"PopupBuddyOnline", 1},
        {"DontShowDlgOnMinimize", 0},
    };
    ASSERT_EQ(allDwordSettings().size(), std::size(dwords));
    for (const auto& [name, def] : dwords) {
        const auto it = std::find_if(allDwordSettings().begin(), allDwordSettings().end(),
                                     [&](const DwordSetting& s) { return s.name == name; });
        ASSERT_NE(it, allDwordSettings().end()) << name;
        EXPECT_EQ(read(*it), def) << name;
    }
    const std::tuple<const char*, size_t, const char*> strings[] = {
        {"HttpProxyName", 260, ""},
        {"ConfiguredIP", 256, ""},
        {"User", 64, ""},
        {"Pass", 64, ""},
        {"RecordingsDirectory", 260, ""},
        {"IPList", 4096, ""},
        {"TelephoneList", 4096, ""},
        {"LastKnownServer", 260, "127.0.0.1:8080"},
        {"LastKnownCrashFileServerPath", 260, "app2/logproblem.aspx"},
        {"ServiceHost", 260, ""},
    };
    ASSERT_EQ(allStringSettings().size(), std::size(strings));
    for (const auto& [name, size, def] : strings) {
        const auto it = std::find_if(allStringSettings().begin(), allStringSettings().end(),
                                     [&](const StringSetting& s) { return s.name == name; });
        ASSERT_NE(it, allStringSettings().end()) << name;
        EXPECT_EQ(it->bufferSize, size) << name;
        EXPECT_EQ(read(*it), def) << name;
    }
    EXPECT_FALSE(readOptional(value::RecordingsDirectory));

    // The first access created the folder and the file, private to the user.
    struct stat st {};
    ASSERT_EQ(stat((folder_ / "settings.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsTest, ValuesRoundTripInTheDocumentedFormat) {
    ASSERT_TRUE(write(value::RingTime, 10));
    ASSERT_TRUE(write(value::ConfiguredIP, "10.0.0.7"));
    ASSERT_TRUE(write(value::Pass, "a\"b\\c"));
    EXPECT_EQ(fileText(),
              "\"RingTime\"=dword:0000000a\n"
              "\"ConfiguredIP\"=\"10.0.0.7\"\n"
              "\"Pass\"=\"a\\\"b\\\\c\"\n");
    EXPECT_EQ(read(value::Pass), "a\"b\\c");
    ASSERT_TRUE(write(value::RingTime, 25));
    EXPECT_EQ(read(value::RingTime), 25u);
    EXPECT_EQ(fileText().find("\"RingTime\"=dword:00000019\n"), 0u);  // replaced in place

    // A line break inside a value cannot split the line.
    ASSERT_TRUE(write(value::HttpProxyName, "one\ntwo"));
    EXPECT_EQ(read(value::HttpProxyName), "one\ntwo");
    EXPECT_EQ(read(value::ConfiguredIP), "10.0.0.7");

    ASSERT_TRUE(removeValue("Pass"));
    EXPECT_EQ(read(value::Pass), "");
    EXPECT_FALSE(removeValue("Pass"));
}

TEST_F(SettingsTest, DamagedLinesAreSkippedAndKept) {
    writeFileText(
        "# written by hand\n"
        "\"RingTime\"=dword:0000001e\n"
        "\"ListeningPort\"=dword:zz\n"
        "\"User\"=\"unterminated\n"
        "garbage without quotes\n"
        "\"IPType\"=dword:123456789\n"
        "\"AutoLogin\"=dword:00000001\n");
    EXPECT_EQ(read(value::RingTime), 30u);
    EXPECT_EQ(read(value::ListeningPort), 1720u);  // unreadable: the default
    EXPECT_EQ(read(value::User), "");
    EXPECT_EQ(read(value::IPType), 0u);
    EXPECT_EQ(read(value::AutoLogin), 1u);

    ASSERT_TRUE(write(value::PopupBuddyOnline, 0));
    const std::string text = fileText();
    EXPECT_NE(text.find("# written by hand\n"), std::string::npos);
    EXPECT_NE(text.find("garbage without quotes\n"), std::string::npos);
    EXPECT_NE(text.find("\"User\"=\"unterminated\n"), std::string::npos);
    EXPECT_EQ(read(value::PopupBuddyOnline), 0u);
    EXPECT_EQ(read(value::RingTime), 30u);
}

TEST_F(SettingsTest, TypeMismatchAndNamesWithoutCase) {
    writeFileText("\"ringtime\"=\"fifteen\"\n\"configuredip\"=dword:00000001\n");
    SettingsKey key;
    uint32_t ring = 10;
    EXPECT_EQ(key.readDword("RingTime", ring), kSettingsWrongType);
    EXPECT_EQ(ring, 10u);
    std::string text = "preset";
    EXPECT_EQ(key.readString("ConfiguredIP", text, 256), kSettingsWrongType);
    EXPECT_EQ(text, "preset");
    EXPECT_EQ(key.writeDword("RINGTIME", 7), kSettingsOk);
    EXPECT_EQ(read(value::RingTime), 7u);
}

TEST_F(SettingsTest, StringLongerThanTheBufferIsNotRead) {
    const std::string list(5000, 'h');
    ASSERT_TRUE(write(value::IPList, list));
    EXPECT_EQ(read(value::IPList), "");  // the 4096-byte reader gets nothing
    EXPECT_FALSE(readOptional(value::IPList));

    SettingsKey key;
    char buffer[8] = "keep me";
    ASSERT_EQ(key.writeString("User", "12345678"), kSettingsOk);  // needs 9 bytes
    EXPECT_EQ(key.readString("User", buffer, sizeof buffer), kSettingsMoreData);
    EXPECT_STREQ(buffer, "keep me");
    ASSERT_EQ(key.writeString("User", "1234567"), kSettingsOk);  // fits exactly
    EXPECT_EQ(key.readString("User", buffer, sizeof buffer), kSettingsOk);
    EXPECT_STREQ(buffer, "1234567");
}

TEST_F(SettingsTest, ReadOnlyKeyOnAFreshFolderFails) {
    SettingsKey key(true);
    EXPECT_FALSE(key.isOpen());
    uint32_t v = 99;
    EXPECT_EQ(key.readDword("RingTime", v), kSettingsNotOpen);
    EXPECT_EQ(v, 99u);
    EXPECT_NE(key.writeDword("RingTime", 1), kSettingsOk);
    EXPECT_FALSE(fs::exists(folder_));
}

TEST_F(SettingsTest, ConcurrentWritersLoseNothing) {
    constexpr int kPerWriter = 40;
    const auto writeRange = [](const std::string& prefix) {
        for (int i = 0; i < kPerWriter; ++i) {
            SettingsKey key;
            key.writeDword(prefix + std::to_string(i), static_cast<uint32_t>(i));
        }
    };
    // Two processes, each with two threads.
    const pid_t child = fork();
    if (child == 0) {
        std::thread t([&] { writeRange("childA"); });
        writeRange("childB");
        t.join();
        _exit(0);
    }
    std::thread t([&] { writeRange("parentA"); });
    writeRange("parentB");
    t.join();
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));

    SettingsKey key;
    for (const char* prefix : {"childA", "childB", "parentA", "parentB"}) {
        for (int i = 0; i < kPerWriter; ++i) {
            uint32_t v = 0xFFFFFFFF;
            EXPECT_EQ(key.readDword(std::string(prefix) + std::to_string(i), v), kSettingsOk)
                << prefix << i;
            EXPECT_EQ(v, static_cast<uint32_t>(i));
        }
    }
    // No temporary file was left behind.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder_)) {
        files += entry.path().filename().string().rfind(".settings.", 0) == 0 &&
                 entry.path().filename() != ".settings.lock";
    }
    EXPECT_EQ(files, 0);
}

TEST_F(SettingsTest, ServiceHostPrecedence) {
    EXPECT_EQ(serviceWebHost(), "127.0.0.1:8080");
    ASSERT_TRUE(write(value::ServiceHost, "talvero.example:81"));
    EXPECT_EQ(serviceWebHost(), "talvero.example:81");
    EXPECT_EQ(read(value::LastKnownServer), "talvero.example:81");
    setenv("OSTREL_SERVICE_HOST", "10.1.1.1:9000", 1);
    EXPECT_EQ(serviceWebHost(), "10.1.1.1:9000");
    unsetenv("OSTREL_SERVICE_HOST");
}

TEST_F(SettingsTest, StartupEntry) {
    EXPECT_FALSE(readStartupEntry());
    deleteStartupEntry();  // harmless without an entry
    ASSERT_TRUE(writeStartupEntry("/opt/ostrel/bin/ostrel"));
    EXPECT_EQ(startupEntryPath(), (root_ / "xdg" / "autostart" / "Brennick.desktop").string());
    EXPECT_EQ(readStartupEntry(), "/opt/ostrel/bin/ostrel DontShow");
    std::ifstream in(startupEntryPath());
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "[Desktop Entry]");

    ASSERT_TRUE(writeStartupEntry("/home/a b/my \"ostrel\"%1"));
    EXPECT_EQ(readStartupEntry(), "\"/home/a b/my \\\"ostrel\\\"%%1\" DontShow");
    deleteStartupEntry();
    EXPECT_FALSE(readStartupEntry());
}
