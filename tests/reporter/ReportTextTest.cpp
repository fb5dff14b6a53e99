#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "reporter/ReportText.h"
#include "tests/reporter/TempFolder.h"

using namespace ostrel::reporter;
using ostrel::reporter::test::TempFolder;

namespace {

const SystemInfo kSystem{"Linux", "6.1.0-18-amd64",
                         "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)"};

// The system lines written out by hand: two rules of 85 asterisks, the three uname lines in
// the name / build number / service-pack places, two rules and an empty line.
std::string expectedSystemLines() {
    const std::string rule(85, '*');
    return rule + "\r\n" + rule + "\r\n" +
           "Operating System : Linux\r\n"
           "Build Number : 6.1.0-18-amd64\r\n"
           "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)\r\n" +
           rule + "\r\n" + rule + "\r\n" + "\r\n";
}

const std::string kReport =
    "//=====================================================\n"
    "Exception code: 0000000B SIGSEGV\n"
    "\n"
    "Registers:\n";

TEST(ReportText, TheRuleIs85Asterisks) {
    EXPECT_EQ(kReportRule, std::string(85, '*'));
}

TEST(ReportText, SystemLinesThenEveryReportLineWithCrLf) {
    TempFolder folder;
    const std::string path = folder.Write("Logs/2026_03_04_05-06-07.RPT", kReport);
    EXPECT_EQ(buildReportText(kSystem, path),
              expectedSystemLines() +
                  "//=====================================================\r\n"
                  "Exception code: 0000000B SIGSEGV\r\n"
                  "\r\n"
                  "Registers:\r\n");
}

TEST(ReportText, AQuotedPathIsOpenedWithoutItsQuotes) {
    TempFolder folder;
    const std::string path = folder.Write("My Logs/r.RPT", "one line\n");
    EXPECT_EQ(buildReportText(kSystem, "\"" + path + "\""), expectedSystemLines() + "one line\r\n");
}

TEST(ReportText, AMissingOrUnreadableFileLeavesOnlyTheSystemLines) {
    TempFolder folder;
    EXPECT_EQ(buildReportText(kSystem, folder.Path() + "/absent.RPT"), expectedSystemLines());
    EXPECT_EQ(buildReportText(kSystem, ""), expectedSystemLines());
    EXPECT_EQ(buildReportText(kSystem, folder.Path()), expectedSystemLines());  // a folder
}

TEST(ReportText, AnEmptyFileAddsNothing) {
    TempFolder folder;
    EXPECT_EQ(buildReportText(kSystem, folder.Write("empty.RPT", "")), expectedSystemLines());
}

TEST(ReportText, LineEndsAreNormalisedAndALastLineWithoutOneIsKept) {
    TempFolder folder;
    const std::string path = folder.Write("mixed.RPT", "dos line\r\nunix line\n\nlast");
    EXPECT_EQ(buildReportText(kSystem, path),
              expectedSystemLines() + "dos line\r\nunix line\r\n\r\nlast\r\n");
}

TEST(ReportText, ALineLongerThan1023BytesContinuesOnTheNextLine) {
    TempFolder folder;
    const std::string longLine = std::string(1023, 'a') + std::string(1023, 'b') + "cc";
    const std::string path = folder.Write("long.RPT", longLine + "\nshort\n");
    EXPECT_EQ(buildReportText(kSystem, path), expectedSystemLines() + std::string(1023, 'a') +
                                                  "\r\n" + std::string(1023, 'b') +
                                                  "\r\ncc\r\nshort\r\n");
}

TEST(ReportText, BytesThatAreNotTextPassThrough) {
    TempFolder folder;
    const std::string odd("nul\0byte \xE9\xFF", 11);
    const std::string path = folder.Write("odd.RPT", odd + "\n");
    EXPECT_EQ(buildReportText(kSystem, path), expectedSystemLines() + odd + "\r\n");
}

// The kernel's own files are an independent source for what uname reports.
std::string kernelFile(const char* name) {
    std::ifstream in(std::string("/proc/sys/kernel/") + name);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

TEST(SystemInfo, NamesThisSystemAsTheKernelDoes) {
    const SystemInfo system = currentSystemInfo();
    EXPECT_EQ(system.name, kernelFile("ostype"));
    EXPECT_EQ(system.release, kernelFile("osrelease"));
    EXPECT_EQ(system.version, kernelFile("version"));
}

}  // namespace
