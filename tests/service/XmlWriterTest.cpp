#include "service/XmlWriter.h"

#include <gtest/gtest.h>

#include "tests/service/XmlTree.h"

namespace ostrel::service {
namespace {

using test::parseXml;

TEST(XmlWriter, StartsWithTheDeclarationAndNests) {
    XmlWriter xml("root");
    xml.element("errcode", 0);
    xml.open("buddy");
    xml.element("userid", "bob");
    xml.close();
    const std::string text = xml.finish();
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
    const auto root = parseXml(text);
    ASSERT_TRUE(root) << text;
    EXPECT_EQ(root->name, "root");
    EXPECT_EQ(root->value("errcode"), "0");
    EXPECT_EQ(root->child("buddy")->value("userid"), "bob");
}

struct EscapeCase {
    const char* label;
    std::string input;
    std::string parsed;  // what an XML parser reads back
};

void PrintTo(const EscapeCase& c, std::ostream* os) {
    *os << c.label;
}

class XmlEscape : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(XmlEscape, KeepsTheDocumentWellFormed) {
    XmlWriter xml("r");
    xml.element("v", GetParam().input);
    const std::string text = xml.finish();
    const auto root = parseXml(text);
    ASSERT_TRUE(root) << text;
    EXPECT_EQ(root->value("v"), GetParam().parsed);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, XmlEscape,
    ::testing::Values(EscapeCase{"Markup", "<a href='x'>&amp;\"", "<a href='x'>&amp;\""},
                      EscapeCase{"Utf8Kept", "Jos\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
                                 "Jos\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
                      EscapeCase{"Latin1Byte", "Jos\xE9", "Jos?"},
                      EscapeCase{"TruncatedSequence", "a\xE2\x82", "a??"},
                      EscapeCase{"Overlong", "\xC0\xAF", "??"},
                      EscapeCase{"Surrogate", "\xED\xA0\x80", "???"},
                      EscapeCase{"NotACharacter", "\xEF\xBF\xBF", "???"},
                      EscapeCase{"ControlCharacters", std::string("a\x01\x1F\0b", 5), "a???b"},
                      EscapeCase{"TabAndNewline", "a\tb\nc", "a\tb\nc"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace ostrel::service
