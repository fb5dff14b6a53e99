#include "service/FormFields.h"

#include <gtest/gtest.h>

namespace ostrel::service {
namespace {

TEST(FormFields, DecodesPercentAndPlusInOrder) {
    const auto form =
        FormFields::parse("User=a%20b&Pass=x%2Dy%2Ez&buddy=c+d&buddy=%E9&Empty=&Bare");
    ASSERT_TRUE(form);
    const std::vector<FormFields::Field> expected = {{"User", "a b"},  {"Pass", "x-y.z"},
                                                     {"buddy", "c d"}, {"buddy", "\xE9"},
                                                     {"Empty", ""},    {"Bare", ""}};
    EXPECT_EQ(form->fields(), expected);
}

TEST(FormFields, NamesMatchWithoutRegardToCaseAndTheFirstWins) {
    const auto form = FormFields::parse("user=alice&USER=bob&Version=6");
    ASSERT_TRUE(form);
    ASSERT_NE(form->find("User"), nullptr);
    EXPECT_EQ(*form->find("User"), "alice");
    EXPECT_EQ(form->find("Pass"), nullptr);
    EXPECT_EQ(form->number("version", 0, 10), 6);
}

TEST(FormFields, EmptyPiecesAreSkipped) {
    const auto form = FormFields::parse("&&a=1&&");
    ASSERT_TRUE(form);
    ASSERT_EQ(form->fields().size(), 1u);
    EXPECT_TRUE(FormFields::parse("")->fields().empty());
}

class MalformedBody : public ::testing::TestWithParam<const char*> {};

TEST_P(MalformedBody, IsRefusedWhole) {
    EXPECT_FALSE(FormFields::parse(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(BadEscapes, MalformedBody,
                         ::testing::Values("a=%", "a=%4", "a=%G0", "a=%0G", "x=1&%zz=2", "a=b%"));

TEST(FormFields, TextFieldsAreBounded) {
    const auto form = FormFields::parse("a=12345&b=");
    EXPECT_EQ(form->text("a", 5), "12345");
    EXPECT_FALSE(form->text("a", 4));
    EXPECT_EQ(form->text("b", 0), "");
    EXPECT_FALSE(form->text("c", 10));
}

struct NumberCase {
    const char* text;
    std::optional<int64_t> value;
};

void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << "\"" << c.text << "\"";
}

class NumberText : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberText, IsStrictDecimalWithinRange) {
    EXPECT_EQ(FormFields::parseNumber(GetParam().text, -5, 65535), GetParam().value)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, NumberText,
    ::testing::Values(NumberCase{"1720", 1720}, NumberCase{"0", 0}, NumberCase{"-5", -5},
                      NumberCase{"65535", 65535}, NumberCase{"65536", std::nullopt},
                      NumberCase{"-6", std::nullopt}, NumberCase{"", std::nullopt},
                      NumberCase{" 1", std::nullopt}, NumberCase{"1 ", std::nullopt},
                      NumberCase{"+1", std::nullopt}, NumberCase{"12a", std::nullopt},
                      NumberCase{"99999999999999999999999", std::nullopt}));

}  // namespace
}  // namespace ostrel::service
