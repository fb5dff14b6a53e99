#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "reporter/ReporterSwitches.h"

using ostrel::reporter::parseReporterSwitches;
using ostrel::reporter::ReporterSwitches;

namespace {

struct SwitchCase {
    std::string name;
    std::vector<std::string> arguments;
    ReporterSwitches expected;
};

void PrintTo(const SwitchCase& c, std::ostream* os) {
    *os << c.name;
}

class SwitchParsing : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(SwitchParsing, FillsEachValue) {
    const ReporterSwitches got = parseReporterSwitches(GetParam().arguments);
    const ReporterSwitches& want = GetParam().expected;
    EXPECT_EQ(got.reportFile, want.reportFile);
    EXPECT_EQ(got.version, want.version);
    EXPECT_EQ(got.build, want.build);
    EXPECT_EQ(got.server, want.server);
    EXPECT_EQ(got.serverPath, want.serverPath);
    EXPECT_EQ(got.application, want.application);
    EXPECT_EQ(got.instanceGuid, want.instanceGuid);
}

const ReporterSwitches kFull{"/opt/talvero/Logs/2026_03_04_05-06-07.RPT",
                             "6.0",
                             "1234",
                             "127.0.0.1:8080",
                             "app2/logproblem.aspx",
                             "/opt/talvero/ostrel",
                             "0a1b2c3d-0000-4000-8000-00000000abcd"};

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SwitchParsing,
    ::testing::Values(
        // The crash handler's layout, quotes and all, as separate arguments.
        SwitchCase{"quoted_as_written",
                   {"-f", "\"/opt/talvero/Logs/2026_03_04_05-06-07.RPT\"", "-v", "6.0", "-b",
                    "1234", "-s", "\"127.0.0.1:8080\"", "-p", "\"app2/logproblem.aspx\"", "-a",
                    "\"/opt/talvero/ostrel\"", "-i", "0a1b2c3d-0000-4000-8000-00000000abcd"},
                   kFull},
        SwitchCase{"plain_arguments",
                   {"-f", "/opt/talvero/Logs/2026_03_04_05-06-07.RPT", "-v", "6.0", "-b", "1234",
                    "-s", "127.0.0.1:8080", "-p", "app2/logproblem.aspx", "-a",
                    "/opt/talvero/ostrel", "-i", "0a1b2c3d-0000-4000-8000-00000000abcd"},
                   kFull},
        SwitchCase{"any_order_any_case",
                   {"-I", "0a1b2c3d-0000-4000-8000-00000000abcd", "-A", "/opt/talvero/ostrel", "-P",
                    "app2/logproblem.aspx", "-S", "127.0.0.1:8080", "-B", "1234", "-V", "6.0", "-F",
                    "/opt/talvero/Logs/2026_03_04_05-06-07.RPT"},
                   kFull},
        SwitchCase{"unknown_switches_and_stray_words_ignored",
                   {"stray", "-x", "-v", "6.0", "-verbose", "--b", "9", "-b", "12"},
                   {"", "6.0", "12", "", "", "", ""}},
        SwitchCase{
            "value_with_blanks_in_one_argument",
            {"-f", "\"/home/ann/My Talvero/Logs/r.RPT\"", "-a", "/home/ann/My Talvero/ostrel"},
            {"/home/ann/My Talvero/Logs/r.RPT", "", "", "", "", "/home/ann/My Talvero/ostrel", ""}},
        SwitchCase{"quoted_value_split_on_blanks",
                   {"-f", "\"/home/ann/My", "Talvero", "Logs/r.RPT\"", "-v", "6.0"},
                   {"/home/ann/My Talvero Logs/r.RPT", "6.0", "", "", "", "", ""}},
        SwitchCase{"unclosed_quote_stops_at_the_next_switch",
                   {"-f", "\"/tmp/r.RPT", "-v", "6.0"},
                   {"/tmp/r.RPT", "6.0", "", "", "", "", ""}},
        SwitchCase{
            "left_out_values_read_empty", {"-v", "-b", "12", "-i"}, {"", "", "12", "", "", "", ""}},
        SwitchCase{"empty_guid_argument", {"-b", "7", "-i", ""}, {"", "", "7", "", "", "", ""}},
        SwitchCase{"last_of_a_repeated_switch_wins",
                   {"-s", "first.example", "-s", "second.example:81"},
                   {"", "", "", "second.example:81", "", "", ""}},
        SwitchCase{"empty_quotes_are_an_empty_value",
                   {"-p", "\"\"", "-b", "3"},
                   {"", "", "3", "", "", "", ""}}),
    [](const ::testing::TestParamInfo<SwitchCase>& info) { return info.param.name; });

TEST(WithoutQuotes, RemovesOnlyOneSurroundingPair) {
    using ostrel::reporter::withoutQuotes;
    EXPECT_EQ(withoutQuotes("\"a b\""), "a b");
    EXPECT_EQ(withoutQuotes("\"\"x\"\""), "\"x\"");
    EXPECT_EQ(withoutQuotes("\"open"), "\"open");
    EXPECT_EQ(withoutQuotes("\""), "\"");
    EXPECT_EQ(withoutQuotes(""), "");
}

}  // namespace
