// The recent-number list through the real settings store in a scratch folder.
#include <gtest/gtest.h>

#include "app/settings/Settings.h"
#include "phone/RecentNumbers.h"
#include "tests/webservice/ScopedConfigDir.h"

using namespace ostrel;
using namespace ostrel::phone;

namespace {

std::string stored() {
    return settings::read(settings::value::TelephoneList);
}

}  // namespace

TEST(RecentNumbersTest, MissingValueGivesAnEmptyListAndStoredTextIsSplitAtWhiteSpace) {
    webservice::test::ScopedConfigDir folder;
    RecentNumbers recent;
    recent.load();
    EXPECT_TRUE(recent.entries().empty());

    ASSERT_TRUE(settings::write(settings::value::TelephoneList, "  555-1234 \t0800\n\n42 "));
    recent.load();
    EXPECT_EQ(recent.entries(), (std::vector<std::string>{"555-1234", "0800", "42"}));

    // Longer than the reader's 4096-byte buffer: not read at all.
    ASSERT_TRUE(settings::write(settings::value::TelephoneList, std::string(5000, '7')));
    recent.load();
    EXPECT_TRUE(recent.entries().empty());
}

TEST(RecentNumbersTest, TheTwentyFirstNumberDropsTheOldest) {
    webservice::test::ScopedConfigDir folder;
    RecentNumbers recent;
    for (int i = 1; i <= 21; ++i) {
        recent.add("n" + std::to_string(i));
        ASSERT_TRUE(recent.save());
        recent.load();
    }
    ASSERT_EQ(recent.entries().size(), 20u);
    EXPECT_EQ(recent.entries().front(), "n21");
    EXPECT_EQ(recent.entries().back(), "n2");
    const std::string text = stored();
    EXPECT_EQ(text.rfind("n21 n20 ", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 4), " n2 ");
    EXPECT_EQ(text.find("n1 "), std::string::npos);
}

TEST(RecentNumbersTest, ANumberListedInAnotherCaseMovesToTheFront) {
    webservice::test::ScopedConfigDir folder;
    ASSERT_TRUE(
        settings::write(settings::value::TelephoneList, "1-800-flowers 555 1-800-Flowers 42 "));
    RecentNumbers recent;
    recent.load();
    recent.add("1-800-FLOWERS");
    EXPECT_EQ(recent.entries(), (std::vector<std::string>{"1-800-FLOWERS", "555", "42"}));
    ASSERT_TRUE(recent.save());
    EXPECT_EQ(stored(), "1-800-FLOWERS 555 42 ");

    // Neither an empty text nor one with a blank inside can come back as one entry.
    recent.add("");
    recent.add("555 1234");
    EXPECT_EQ(recent.entries().size(), 3u);
}
