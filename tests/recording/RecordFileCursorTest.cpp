#include "recording/RecordFileCursor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "recording/RecordingFormat.h"
#include "tests/audio/WavFiles.h"
#include "tests/recording/RecordingTestFiles.h"

namespace ostrel::recording {
namespace {

using audio::testing::ScratchFolder;

TEST(RecordFileCursor, OpensOnlyFilesThatCanBeMapped) {
    ScratchFolder scratch;
    RecordFileCursor cursor;
    EXPECT_FALSE(cursor.open(scratch.file("missing.vrec"), kCodedBlockBytes));
    ASSERT_TRUE(testing::writeBytes(scratch.file("empty.vrec"), 0));
    EXPECT_FALSE(cursor.open(scratch.file("empty.vrec"), kCodedBlockBytes));
    EXPECT_FALSE(cursor.open(scratch.path(), kCodedBlockBytes));
    // A pipe we may only read must not hang the window waiting for a writer.
    ASSERT_EQ(::mkfifo(scratch.file("pipe.vrec").c_str(), 0400), 0);
    EXPECT_FALSE(cursor.open(scratch.file("pipe.vrec"), kCodedBlockBytes));
    EXPECT_FALSE(cursor.isOpen());

    ASSERT_TRUE(testing::writeBytes(scratch.file("odd.vrec"), 331, 7));
    ASSERT_TRUE(cursor.open(scratch.file("odd.vrec"), kCodedBlockBytes));
    EXPECT_EQ(cursor.size(), 331u);
    EXPECT_EQ(cursor.recordCount(), 1u);
    EXPECT_FALSE(isWellFormedLength(cursor.size()));
    EXPECT_EQ(cursor.base()[330], 7);
    // The broken tail is never handed out as a record, and the cursor stops at the end.
    EXPECT_TRUE(cursor.next());
    EXPECT_EQ(cursor.record(), nullptr);
    EXPECT_TRUE(cursor.next());
    EXPECT_EQ(cursor.offset(), 331u);
    EXPECT_FALSE(cursor.next());
}

TEST(RecordFileCursor, ReadOnlyFilesStillOpen) {
    ScratchFolder scratch;
    const std::string path = scratch.file("ro.vrec");
    ASSERT_TRUE(testing::writeBytes(path, 660));
    ASSERT_EQ(::chmod(path.c_str(), 0400), 0);
    RecordFileCursor cursor;
    EXPECT_TRUE(cursor.open(path, kCodedBlockBytes));
}

TEST(RecordFileCursor, SecondOpenOfALockedFileFailsUntilTheFirstCloses) {
    ScratchFolder scratch;
    const std::string path = scratch.file("a.vrec");
    ASSERT_TRUE(testing::writeBytes(path, 660));
    RecordFileCursor first, second;
    ASSERT_TRUE(first.open(path, kCodedBlockBytes));
    EXPECT_FALSE(second.open(path, kCodedBlockBytes));
    first.close();
    EXPECT_TRUE(second.open(path, kCodedBlockBytes));
}

TEST(RecordFileCursor, MovesByWholeRecords) {
    ScratchFolder scratch;
    const std::string path = scratch.file("ten.vrec");
    ASSERT_TRUE(testing::writeBytes(path, 3300));
    RecordFileCursor cursor;
    ASSERT_TRUE(cursor.open(path, kCodedBlockBytes));
    EXPECT_EQ(cursor.recordCount(), 10u);
    EXPECT_EQ(cursor.cursor(), cursor.base());
    EXPECT_FALSE(cursor.prev());

    EXPECT_TRUE(cursor.seekRecord(9));
    EXPECT_EQ(cursor.offset(), 2970u);
    ASSERT_NE(cursor.record(), nullptr);
    EXPECT_FALSE(cursor.seekRecord(10));
    EXPECT_EQ(cursor.offset(), 2970u);
    // After the last record it stands exactly at the end, and goes no further.
    EXPECT_TRUE(cursor.next());
    EXPECT_EQ(cursor.offset(), 3300u);
    EXPECT_EQ(cursor.record(), nullptr);
    EXPECT_FALSE(cursor.next());
    EXPECT_TRUE(cursor.prev());
    EXPECT_EQ(cursor.offset(), 2970u);
    cursor.rewind();
    EXPECT_EQ(cursor.offset(), 0u);
}

}  // namespace
}  // namespace ostrel::recording
