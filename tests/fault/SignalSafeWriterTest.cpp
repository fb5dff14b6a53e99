#include "fault/SignalSafeWriter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

using namespace ostrel::fault;

namespace {

std::string formatted(void (*build)(SignalSafeWriter&)) {
    SignalSafeWriter out(-1);
    build(out);
    return std::string(out.data(), out.size());
}

// Everything written to a pipe's far end.
std::string drain(int fd) {
    std::string text;
    char buffer[8192];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

}  // namespace

TEST(SignalSafeWriter, FormatsHexLikePrintfUpperCaseWithoutEverCutting) {
    EXPECT_EQ(formatted([](auto& o) { o.hex(0xC0000005, 8); }), "C0000005");
    EXPECT_EQ(formatted([](auto& o) { o.hex(0x5, 8); }), "00000005");
    EXPECT_EQ(formatted([](auto& o) { o.hex(0, 4); }), "0000");
    EXPECT_EQ(formatted([](auto& o) { o.hex(0, 0); }), "0");
    EXPECT_EQ(formatted([](auto& o) { o.hex(0xabcdef, 2); }), "ABCDEF");
    // A 64-bit address through an 8-digit field keeps all its digits.
    EXPECT_EQ(formatted([](auto& o) { o.hex(0x00007F1234567890, 8); }), "7F1234567890");
    EXPECT_EQ(formatted([](auto& o) { o.hex(0x7F1234567890, 16); }), "00007F1234567890");
    EXPECT_EQ(formatted([](auto& o) { o.hex(~uint64_t{0}, 16); }), "FFFFFFFFFFFFFFFF");
}

TEST(SignalSafeWriter, FormatsDecimalAndText) {
    EXPECT_EQ(formatted([](auto& o) { o.decimal(0); }), "0");
    EXPECT_EQ(formatted([](auto& o) { o.decimal(18446744073709551615u); }), "18446744073709551615");
    EXPECT_EQ(formatted([](auto& o) { o.text("a").character(':').text(nullptr).text("bc", 1); }),
              "a:b");
}

TEST(SignalSafeWriter, WritesEachLineAtOnceAndLongLinesWhole) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string longPath(3000, 'p');
    {
        SignalSafeWriter out(fds[1]);
        out.text("first").endLine();
        EXPECT_EQ(out.size(), 0u) << "a finished line is not kept back";
        out.text(longPath.c_str()).endLine();
        out.text("unfinished");
    }  // the rest goes out on destruction
    close(fds[1]);
    EXPECT_EQ(drain(fds[0]), "first\n" + longPath + "\nunfinished");
    close(fds[0]);
}

TEST(SignalSafeWriter, WithoutAFileKeepsOnlyWhatFits) {
    SignalSafeWriter out(-1);
    const std::string tooLong(SignalSafeWriter::kCapacity + 10, 'x');
    out.text(tooLong.c_str());
    EXPECT_EQ(out.size(), SignalSafeWriter::kCapacity);
}

TEST(SignalSafeWriter, NotesAFailedWrite) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    signal(SIGPIPE, SIG_IGN);
    SignalSafeWriter out(fds[1]);
    out.text("lost").endLine();
    EXPECT_TRUE(out.failed());
    EXPECT_FALSE(out.flush());
    close(fds[1]);
}
