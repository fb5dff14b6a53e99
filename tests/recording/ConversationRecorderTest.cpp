#include "recording/ConversationRecorder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "recording/PrivateTempFolder.h"
#include "recording/RecordingFormat.h"
#include "tests/audio/WavFiles.h"
#include "tests/recording/RecordingTestFiles.h"

namespace ostrel::recording {
namespace {

using audio::testing::ScratchFolder;
using testing::codeBlocks;
using testing::readBytes;
using Block = std::vector<int16_t>;

// A block whose samples differ, with odd negative and positive values so that averaging
// shows its rounding.
Block block(int seed) {
    Block b(kBlockSamples);
    for (uint32_t i = 0; i < kBlockSamples; ++i) {
        b[i] = static_cast<int16_t>(((static_cast<int>(i) * 131 + seed * 977) % 20001) - 10000);
    }
    return b;
}

// Both halves as the description says: added, halved, truncated toward zero.
Block mix(const Block& a, const Block& b) {
    Block m(kBlockSamples);
    for (uint32_t i = 0; i < kBlockSamples; ++i) {
        const int sum = a[i] + b[i];
        m[i] = static_cast<int16_t>(sum < 0 ? -((-sum) / 2) : sum / 2);
    }
    return m;
}

constexpr uint32_t kSpoken = 0;
constexpr uint32_t kHeard = 1;

class RecorderTest : public ::testing::Test {
protected:
    ScratchFolder scratch;
    std::string guid = "6f1c2a4e-0d7b-4c55-9a3e-2b8f7c1d9e00";
    ConversationRecorder recorder{[this] { return guid; }, scratch.path()};

    void add(const Block& b, uint32_t direction) {
        ASSERT_TRUE(recorder.addBlock(b.data(), b.size() * 2, direction));
    }
    std::vector<uint8_t> saved() {
        const std::string destination = scratch.file("out.vrec");
        EXPECT_TRUE(recorder.save(destination));
        return readBytes(destination);
    }
};

TEST_F(RecorderTest, OnlySpokenBlocksAreStoredOneByOneUnhalved) {
    std::vector<Block> blocks;
    for (int i = 0; i < 5; ++i) {
        blocks.push_back(block(i));
        add(blocks.back(), kSpoken);
    }
    EXPECT_EQ(saved(), codeBlocks(blocks));
}

TEST_F(RecorderTest, AlternatingDirectionsBecomeAveragedPairs) {
    std::vector<Block> expected;
    for (int i = 0; i < 6; ++i) {
        const Block spoken = block(2 * i);
        const Block heard = block(2 * i + 1);
        add(spoken, kSpoken);
        add(heard, kHeard);
        expected.push_back(mix(spoken, heard));
    }
    EXPECT_EQ(recorder.pendingCount(), 6u);
    EXPECT_EQ(saved(), codeBlocks(expected));
}

TEST_F(RecorderTest, HeardBlockJoinsTheNewerOfTwoSpokenBlocks) {
    const Block s0 = block(1), s1 = block(2), h = block(3);
    add(s0, kSpoken);
    add(s1, kSpoken);
    add(h, kHeard);
    EXPECT_EQ(saved(), codeBlocks({s0, mix(s1, h)}));
}

TEST_F(RecorderTest, PartnerFourEntriesBackIsTooOld) {
    const Block s0 = block(10);
    add(s0, kSpoken);
    std::vector<Block> expected{s0};
    for (int i = 0; i < 3; ++i) {
        const Block s = block(20 + i), h = block(30 + i);
        add(s, kSpoken);
        add(h, kHeard);
        expected.push_back(mix(s, h));
    }
    const Block late = block(40);
    add(late, kHeard);
    expected.push_back(late);
    EXPECT_EQ(saved(), codeBlocks(expected));
}

TEST_F(RecorderTest, FiftyFirstEntryWritesAllButTheNewestFour) {
    std::vector<Block> blocks;
    for (int i = 0; i < 50; ++i) {
        blocks.push_back(block(i));
        add(blocks.back(), kSpoken);
    }
    const std::string temp = recorder.temporaryPath();
    EXPECT_EQ(std::filesystem::file_size(temp), 0u);
    EXPECT_EQ(recorder.pendingCount(), 50u);

    blocks.push_back(block(50));
    add(blocks.back(), kSpoken);
    EXPECT_EQ(std::filesystem::file_size(temp), 47u * kCodedBlockBytes);
    EXPECT_EQ(recorder.pendingCount(), 4u);
    EXPECT_EQ(saved(), codeBlocks(blocks));
}

TEST_F(RecorderTest, ThreePendingBlocksSaveAs990BytesAndTheTemporaryFileGoes) {
    for (int i = 0; i < 3; ++i) {
        add(block(i), kSpoken);
    }
    const std::string temp = recorder.temporaryPath();
    ASSERT_TRUE(std::filesystem::exists(temp));
    EXPECT_EQ(saved().size(), 990u);
    EXPECT_FALSE(std::filesystem::exists(temp));
}

TEST_F(RecorderTest, SavingOntoAnExistingNameFailsAndKeepsEverything) {
    add(block(1), kSpoken);
    const std::string taken = scratch.file("taken.vrec");
    ASSERT_TRUE(testing::writeBytes(taken, 7, 'x'));
    const std::string temp = recorder.temporaryPath();

    EXPECT_FALSE(recorder.save(taken));
    EXPECT_EQ(readBytes(taken), std::vector<uint8_t>(7, 'x'));
    ASSERT_TRUE(std::filesystem::exists(temp));
    EXPECT_EQ(std::filesystem::file_size(temp), kCodedBlockBytes);

    // The user can still save it elsewhere afterwards.
    EXPECT_TRUE(recorder.save(scratch.file("second.vrec")));
    EXPECT_EQ(std::filesystem::file_size(scratch.file("second.vrec")), kCodedBlockBytes);
    EXPECT_FALSE(std::filesystem::exists(temp));
}

TEST_F(RecorderTest, NothingRecordedMeansNoFileAndNoSave) {
    EXPECT_FALSE(recorder.isStarted());
    EXPECT_FALSE(recorder.save(scratch.file("none.vrec")));
    EXPECT_FALSE(std::filesystem::exists(scratch.file("none.vrec")));
}

TEST_F(RecorderTest, BlocksOfTheWrongSizeAreRefused) {
    const Block b = block(1);
    EXPECT_FALSE(recorder.addBlock(b.data(), 3199, kSpoken));
    EXPECT_FALSE(recorder.addBlock(b.data(), 3201, kSpoken));
    EXPECT_FALSE(recorder.addBlock(nullptr, 3200, kSpoken));
    EXPECT_FALSE(recorder.isStarted());
}

TEST_F(RecorderTest, BlocksAfterTheSaveAreDropped) {
    add(block(1), kSpoken);
    ASSERT_TRUE(recorder.save(scratch.file("a.vrec")));
    add(block(2), kSpoken);
    EXPECT_EQ(recorder.pendingCount(), 0u);
    EXPECT_EQ(recorder.temporaryPath(), "");
    EXPECT_EQ(std::filesystem::file_size(scratch.file("a.vrec")), kCodedBlockBytes);
}

TEST_F(RecorderTest, TemporaryFileIsPrivateAndLeavesAPlantedFileAlone) {
    // A file that already carries the conference's name (say, an unsaved earlier recording).
    ASSERT_TRUE(testing::writeBytes(scratch.file(guid), 5, 'p'));
    add(block(1), kSpoken);
    const std::string temp = recorder.temporaryPath();
    EXPECT_EQ(temp, scratch.file(guid + "-1"));
    struct stat info {};
    ASSERT_EQ(::stat(temp.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(readBytes(scratch.file(guid)), std::vector<uint8_t>(5, 'p'));
}

TEST(RecorderNames, ConferenceGuidFromAPeerCannotLeaveTheFolder) {
    ScratchFolder scratch;
    ConversationRecorder recorder([] { return std::string("../../etc/x"); }, scratch.path());
    const Block b = block(1);
    ASSERT_TRUE(recorder.addBlock(b.data(), b.size() * 2, kSpoken));
    EXPECT_EQ(recorder.temporaryPath(), scratch.file("______etc_x"));
    EXPECT_EQ(safeFileName(""), "conversation");
    EXPECT_EQ(safeFileName(std::string(100, 'a')).size(), 64u);
}

TEST(RecorderNames, UnusableTemporaryFolderMakesTheSaveFail) {
    ConversationRecorder recorder([] { return std::string("g"); }, "/nonexistent/ostrel");
    const Block b = block(1);
    ASSERT_TRUE(recorder.addBlock(b.data(), b.size() * 2, kSpoken));
    // Started, so the window tells the user, but nothing can be saved.
    EXPECT_TRUE(recorder.isStarted());
    ScratchFolder scratch;
    EXPECT_FALSE(recorder.save(scratch.file("x.vrec")));
    EXPECT_FALSE(std::filesystem::exists(scratch.file("x.vrec")));
}

TEST(PrivateFolder, RefusesFoldersOthersCanEnterOrThatAreLinks) {
    ScratchFolder scratch;
    const std::string mine = scratch.file("mine");
    EXPECT_TRUE(ensurePrivateFolder(mine));
    struct stat info {};
    ASSERT_EQ(::stat(mine.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(ensurePrivateFolder(mine));

    const std::string open = scratch.file("open");
    ASSERT_EQ(::mkdir(open.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0755), 0);
    EXPECT_FALSE(ensurePrivateFolder(open));

    const std::string link = scratch.file("link");
    std::filesystem::create_directory_symlink(mine, link);
    EXPECT_FALSE(ensurePrivateFolder(link));

    const auto folder = privateTemporaryFolder();
    ASSERT_TRUE(folder.has_value());
    EXPECT_TRUE(ensurePrivateFolder(*folder));
}

// The engine's two voice threads deliver at once; every block ends up whole in the file.
TEST(RecorderThreads, BothDirectionsFromTwoThreads) {
    ScratchFolder scratch;
    ConversationRecorder recorder([] { return std::string("threads"); }, scratch.path());
    constexpr int kEach = 150;
    auto feed = [&](uint32_t direction) {
        const Block b = block(static_cast<int>(direction));
        for (int i = 0; i < kEach; ++i) {
            recorder.addBlock(b.data(), b.size() * 2, direction);
        }
    };
    std::thread spoken(feed, kSpoken);
    std::thread heard(feed, kHeard);
    spoken.join();
    heard.join();
    const std::string out = scratch.file("threads.vrec");
    ASSERT_TRUE(recorder.save(out));
    const auto size = std::filesystem::file_size(out);
    EXPECT_EQ(size % kCodedBlockBytes, 0u);
    EXPECT_GE(size, kEach * kCodedBlockBytes);
    EXPECT_LE(size, 2 * kEach * kCodedBlockBytes);
}

}  // namespace
}  // namespace ostrel::recording
