#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "app/DirectCallTarget.h"
#include "app/StartupOptions.h"
#include "app/settings/ProgramSettings.h"
#include "app/settings/RecordingsFolder.h"
#include "app/settings/Settings.h"
#include "app/settings/StartupEntry.h"
#include "tests/app/TestFolders.h"

using namespace ostrel;
using app::parseDirectCallTarget;

namespace {

TEST(DirectCallTarget, HostAndPortForms) {
    auto plain = parseDirectCallTarget("  Bob-PC.Example.COM ");
    ASSERT_TRUE(plain.valid);
    EXPECT_EQ(plain.request.address, "bob-pc.example.com");
    EXPECT_EQ(plain.request.port, 1720);
    EXPECT_FALSE(plain.request.viaBridge);
    EXPECT_EQ(plain.entry, "bob-pc.example.com");

    auto withPort = parseDirectCallTarget("10.0.0.7:5060");
    ASSERT_TRUE(withPort.valid);
    EXPECT_EQ(withPort.request.address, "10.0.0.7");
    EXPECT_EQ(withPort.request.port, 5060);
    EXPECT_EQ(app::connectingText(withPort.request), "Connecting to 10.0.0.7 port 5060");
}

TEST(DirectCallTarget, ErrorsHaveTheirMessages) {
    EXPECT_EQ(parseDirectCallTarget("").error, "Enter IP Address/Host name of the computer");
    EXPECT_EQ(parseDirectCallTarget(":1720").error, "Enter IP Address/Host name of the computer");
    EXPECT_EQ(parseDirectCallTarget("host:0").error, "The port specified is invalid");
    EXPECT_EQ(parseDirectCallTarget("host:abc").error, "The port specified is invalid");
    // A port that does not fit 16 bits would wrap to another port.
    EXPECT_EQ(parseDirectCallTarget("host:70000").error, "The port specified is invalid");
    EXPECT_FALSE(parseDirectCallTarget("host:0").valid);
}

TEST(DirectCallTarget, BridgeTargets) {
    auto bridged = parseDirectCallTarget("H323://Room12@gw.example.net:1721");
    ASSERT_TRUE(bridged.valid);
    EXPECT_TRUE(bridged.request.viaBridge);
    EXPECT_EQ(bridged.request.bridgeType, 2);
    EXPECT_EQ(bridged.request.connectionString, "room12");
    EXPECT_EQ(bridged.request.address, "gw.example.net");
    EXPECT_EQ(bridged.request.port, 1721);
    EXPECT_EQ(app::connectingText(bridged.request),
              "Connecting to telephone gateway - gw.example.net");

    EXPECT_EQ(parseDirectCallTarget("h323://@gw:1721").error,
              "While specifying h323:// , specify in the following format "
              "h323://host@bridgeip:bridgeport");
    EXPECT_EQ(parseDirectCallTarget("h323://room").error,
              "While specifying h323:// , specify in the following format "
              "h323://host@bridgehost:bridgeport");
    EXPECT_EQ(parseDirectCallTarget("h323://room@").error,
              "While specifying h323:// , specify in the following format "
              "h323://host@bridgehost:bridgeport");
}

TEST(DirectCallHistory, NewestFirstWithoutDuplicatesAndAlwaysReadable) {
    std::string stored = app::addToHistory("", "a.example", 4096);
    stored = app::addToHistory(stored, "b.example:1721", 4096);
    stored = app::addToHistory(stored, "a.example", 4096);
    EXPECT_EQ(stored, "a.example b.example:1721");
    EXPECT_EQ(app::splitHistory(stored), (std::vector<std::string>{"a.example", "b.example:1721"}));

    // The oldest entries go before the text outgrows the reader's buffer.
    std::string many;
    for (int i = 0; i < 500; ++i) {
        many = app::addToHistory(many, "host" + std::to_string(i) + ".example", 4096);
        ASSERT_LT(many.size(), 4096u);
    }
    EXPECT_TRUE(many.starts_with("host499.example "));
    EXPECT_EQ(many.find("host0.example"), std::string::npos);
}

TEST(StartupOptions, DontShowAnywhereInAnyCase) {
    EXPECT_TRUE(app::commandLineSaysDontShow({"dontshow"}));
    EXPECT_TRUE(app::commandLineSaysDontShow({"--x", "DONTSHOW"}));
    EXPECT_TRUE(app::commandLineSaysDontShow({"/DontShow"}));
    EXPECT_FALSE(app::commandLineSaysDontShow({}));
    EXPECT_FALSE(app::commandLineSaysDontShow({"Dont", "Show"}));
}

TEST(RecordingsFolder, LengthAndFreeSpaceChecks) {
    auto plenty = [](std::string_view) { return std::optional<uint64_t>(1ull << 40); };
    EXPECT_EQ(settings::checkRecordingsFolder("C", plenty),
              settings::RecordingsFolderCheck::Invalid);
    EXPECT_EQ(settings::checkRecordingsFolder("  C  ", plenty),
              settings::RecordingsFolderCheck::Invalid);
    EXPECT_EQ(settings::checkRecordingsFolder("C:", plenty), settings::RecordingsFolderCheck::Ok);
    // The free space is asked of the folder as it is stored: white space of any kind cut off.
    std::string asked;
    auto recordAsked = [&](std::string_view path) {
        asked = path;
        return std::optional<uint64_t>(1ull << 40);
    };
    EXPECT_EQ(settings::checkRecordingsFolder("\t/rec \r\n", recordAsked),
              settings::RecordingsFolderCheck::Ok);
    EXPECT_EQ(asked, "/rec");
    EXPECT_EQ(settings::checkRecordingsFolder("C\r\n", plenty),
              settings::RecordingsFolderCheck::Invalid);

    auto unknown = [](std::string_view) { return std::optional<uint64_t>(); };
    EXPECT_EQ(settings::checkRecordingsFolder("/rec", unknown),
              settings::RecordingsFolderCheck::FreeSpaceUnknown);
    auto justBelow = [](std::string_view) {
        return std::optional<uint64_t>(settings::kMinimumRecordingsFreeBytes - 1);
    };
    EXPECT_EQ(settings::checkRecordingsFolder("/rec", justBelow),
              settings::RecordingsFolderCheck::NotEnoughSpace);
}

TEST(RecordingsFolder, MoreThanFourGigabytesFreeDoesNotOverflow) {
    // 4 KiB fragments, 2^21 + 1 of them free: 8 GiB + 4 KiB, which in 32 bits would be 4096.
    const uint64_t free = settings::freeBytes(4096, (1u << 21) + 1);
    EXPECT_EQ(free, 8589938688ull);
    auto eightGig = [free](std::string_view) { return std::optional<uint64_t>(free); };
    EXPECT_EQ(settings::checkRecordingsFolder("/recordings", eightGig),
              settings::RecordingsFolderCheck::Ok);
}

TEST(RecordingsFolder, FreeSpaceOfAFolderNotYetMadeAndCreationOfEveryLevel) {
    apptest::TestFolders folders;
    const std::string deep = folders.root() + "/a/b/c";
    const auto free = settings::freeBytesAt(deep);
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0u);
    EXPECT_TRUE(settings::createFolderPath(deep));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    // Backslashes are folder separators here too, and an existing path is fine.
    EXPECT_TRUE(settings::createFolderPath(folders.root() + "\\x\\y"));
    EXPECT_TRUE(std::filesystem::is_directory(folders.root() + "/x/y"));
    EXPECT_TRUE(settings::createFolderPath(deep));
    // A file in the way is a failure, not a folder.
    std::filesystem::create_directories(folders.root() + "/f");
    {
        std::FILE* f = std::fopen((folders.root() + "/f/file").c_str(), "w");
        std::fclose(f);
    }
    EXPECT_FALSE(settings::createFolderPath(folders.root() + "/f/file/sub"));
}

TEST(ProgramSettings, RingTimeBelowFiveIsRaisedAndStored) {
    apptest::TestFolders folders;
    settings::write(settings::value::RingTime, 3);
    EXPECT_EQ(settings::loadProgramSettings().ringTime, 5u);
    EXPECT_EQ(settings::read(settings::value::RingTime), 5u);

    settings::write(settings::value::RingTime, 7);
    EXPECT_EQ(settings::loadProgramSettings().ringTime, 7u);
    EXPECT_EQ(settings::read(settings::value::RingTime), 7u);
}

TEST(ProgramSettings, FreshDefaultsAndSaveWritesEveryValue) {
    apptest::TestFolders folders;
    const auto fresh = settings::loadProgramSettings();
    EXPECT_FALSE(fresh.autoStartup);
    EXPECT_EQ(fresh.ringTime, 10u);
    EXPECT_TRUE(fresh.autoMMSettings && fresh.popupBuddyOnline && fresh.popupNetworkCongestion &&
                fresh.popupBuddyJoinLeave);
    EXPECT_TRUE(fresh.recordingsDirectory.empty());

    settings::ProgramSettingsValues values;
    values.autoStartup = true;
    values.ringTime = 20;
    values.autoMMSettings = false;
    values.recordingsDirectory = "  " + folders.root() + "/rec/calls  ";
    values.popupBuddyOnline = false;
    values.popupNetworkCongestion = true;
    values.popupBuddyJoinLeave = false;
    settings::saveProgramSettings(values, "/opt/ostrel/ostrel");

    const auto loaded = settings::loadProgramSettings();
    EXPECT_TRUE(loaded.autoStartup);
    EXPECT_EQ(loaded.ringTime, 20u);
    EXPECT_FALSE(loaded.autoMMSettings);
    EXPECT_EQ(loaded.recordingsDirectory, folders.root() + "/rec/calls");
    EXPECT_FALSE(loaded.popupBuddyOnline);
    EXPECT_TRUE(loaded.popupNetworkCongestion);
    EXPECT_FALSE(loaded.popupBuddyJoinLeave);
    EXPECT_TRUE(std::filesystem::is_directory(folders.root() + "/rec/calls"));
    const auto entry = settings::readStartupEntry();
    ASSERT_TRUE(entry.has_value());
    EXPECT_NE(entry->find("DontShow"), std::string::npos);

    // Switching it off removes the entry; doing so again is harmless.
    values.autoStartup = false;
    settings::saveProgramSettings(values, "/opt/ostrel/ostrel");
    settings::saveProgramSettings(values, "/opt/ostrel/ostrel");
    EXPECT_FALSE(settings::readStartupEntry().has_value());
}

}  // namespace
