#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <ostream>

#include "webservice/LoginReply.h"
#include "webservice/OnlineUsersReply.h"
#include "webservice/ProfileText.h"
#include "webservice/ReachabilityReply.h"
#include "webservice/ReplyText.h"
#include "webservice/StatusReplies.h"

using namespace ostrel::webservice;

namespace {

std::string loginWith(const std::string& inner) {
    return "<?xml version=\"1.0\"?>\n<login>" + inner + "</login>\n";
}

TEST(LoginReply, FullReplyFillsEveryRecord) {
    const std::string text = loginWith(
        "<errorcode>0</errorcode><err_description>none</err_description>"
        "<show_user_message>Hello &amp; welcome</show_user_message>"
        "<url_to_navigate>http://a/b</url_to_navigate><popup_url>http://p</popup_url>"
        "<buddies><userid>alice</userid><userid>alice</userid><userid>Dave</userid></buddies>"
        "<provider><provider_id>7</provider_id><provider_display_name>Tel "
        "One</provider_display_name>"
        "<provider_gatewaylookup_host><provider_gatewaylookup_host_name>gw1</"
        "provider_gatewaylookup_host_name>"
        "<provider_gatewaylookup_host_port>5000</provider_gatewaylookup_host_port></"
        "provider_gatewaylookup_host>"
        "<provider_gatewaylookup_host><provider_gatewaylookup_host_name>gw2</"
        "provider_gatewaylookup_host_name>"
        "</provider_gatewaylookup_host>"
        "<provider_param><provider_param_name>enable_auto_dtmf</provider_param_name>"
        "<provider_param_value>1</provider_param_value></provider_param></provider>"
        "<provider><provider_id>9</provider_id></provider>"
        "<calling_card><calling_card_provider>7</calling_card_provider>"
        "<calling_card_account_number>1234</calling_card_account_number>"
        "<calling_card_pin_number>0042</calling_card_pin_number>"
        "<calling_card_isdefault>1</calling_card_isdefault></calling_card>");
    LoginReply reply;
    ASSERT_TRUE(ParseLoginReply(text, reply));
    EXPECT_EQ(reply.error, 0u);
    EXPECT_EQ(reply.errDescription, "none");
    EXPECT_EQ(reply.showUserMessage, "Hello & welcome");
    EXPECT_EQ(reply.urlToNavigate, "http://a/b");
    EXPECT_EQ(reply.popupUrl, "http://p");
    EXPECT_EQ(reply.buddyNames, (std::vector<std::string>{"alice", "alice", "Dave"}));

    ASSERT_EQ(reply.providers.size(), 2u);
    const Provider& first = reply.providers[0];
    EXPECT_EQ(first.id, 7u);
    EXPECT_EQ(first.displayName, "Tel One");
    ASSERT_EQ(first.gatewayHosts.size(), 2u);
    EXPECT_EQ(first.gatewayHosts[0].name, "gw1");
    EXPECT_EQ(first.gatewayHosts[0].port, 5000u);
    EXPECT_EQ(first.gatewayHosts[1].name, "gw2");
    EXPECT_EQ(first.gatewayHosts[1].port, 0u);  // each host starts afresh
    ASSERT_EQ(first.params.size(), 1u);
    EXPECT_EQ(first.params[0].name, "enable_auto_dtmf");
    EXPECT_EQ(first.params[0].value, "1");
    EXPECT_EQ(reply.providers[1].id, 9u);
    EXPECT_TRUE(reply.providers[1].gatewayHosts.empty());
    EXPECT_EQ(reply.providers[1].displayName, "");

    ASSERT_EQ(reply.callingCards.size(), 1u);
    EXPECT_EQ(reply.callingCards[0].providerId, 7u);
    EXPECT_EQ(reply.callingCards[0].accountNumber, "1234");
    EXPECT_EQ(reply.callingCards[0].pin, "0042");
    EXPECT_EQ(reply.callingCards[0].isDefault, 1u);
}

struct ErrorCodeCase {
    std::string inner;
    uint32_t error;
};

void PrintTo(const ErrorCodeCase& c, std::ostream* os) {
    *os << '"' << c.inner << '"';
}

class LoginErrorCode : public ::testing::TestWithParam<ErrorCodeCase> {};

TEST_P(LoginErrorCode, OnlyExactlyZeroIsSuccess) {
    LoginReply reply;
    ASSERT_TRUE(ParseLoginReply(loginWith(GetParam().inner), reply));
    EXPECT_EQ(reply.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LoginErrorCode,
    ::testing::Values(
        ErrorCodeCase{"<errorcode>0</errorcode>", 0}, ErrorCodeCase{"<errorcode>00</errorcode>", 1},
        ErrorCodeCase{"<errorcode> 0</errorcode>", 1},
        ErrorCodeCase{"<errorcode>0 </errorcode>", 1}, ErrorCodeCase{"<errorcode>1</errorcode>", 1},
        ErrorCodeCase{"<errorcode></errorcode>", 1}, ErrorCodeCase{"", 1},  // no element at all
        ErrorCodeCase{"<ErrorCode>0</ErrorCode>", 1},                       // names are exact
        ErrorCodeCase{"<errorcode>1</errorcode><errorcode>0</errorcode>", 0}));

TEST(LoginReply, ResetsBeforeEveryParse) {
    LoginReply reply;
    ASSERT_TRUE(ParseLoginReply(loginWith("<errorcode>0</errorcode><userid>a</userid>"), reply));
    ASSERT_TRUE(ParseLoginReply(loginWith("<userid>b</userid>"), reply));
    EXPECT_EQ(reply.error, 1u);
    EXPECT_EQ(reply.buddyNames, std::vector<std::string>{"b"});
}

TEST(LoginReply, UseridAnywhereCountsAndIsCutTo255Bytes) {
    const std::string longName(300, 'n');
    LoginReply reply;
    ASSERT_TRUE(ParseLoginReply(loginWith("<a><b><userid>deep</userid></b></a><userid>" + longName +
                                          "</userid>"
                                          "<UserId>ignored</UserId>"),
                                reply));
    ASSERT_EQ(reply.buddyNames.size(), 2u);
    EXPECT_EQ(reply.buddyNames[0], "deep");
    EXPECT_EQ(reply.buddyNames[1], std::string(255, 'n'));
}

TEST(LoginReply, ValueOfAnElementWithChildrenIsTheTextAfterTheLastChild) {
    LoginReply reply;
    ASSERT_TRUE(ParseLoginReply(
        loginWith("<err_description>before<x>inner</x>after</err_description>"), reply));
    EXPECT_EQ(reply.errDescription, "after");
}

TEST(LoginReply, LeadingBlankLineIsNotWellFormedButTrailingBlanksAre) {
    LoginReply reply;
    EXPECT_FALSE(ParseLoginReply("\r\n" + loginWith("<errorcode>0</errorcode>"), reply));
    EXPECT_TRUE(ParseLoginReply(loginWith("<errorcode>0</errorcode>") + " \r\n\t ", reply));
    EXPECT_EQ(reply.error, 0u);
}

TEST(LoginReply, IntegersReadTheirLeadingDigits) {
    LoginReply reply;
    ASSERT_TRUE(ParseLoginReply(
        loginWith("<provider><provider_id>  +42abc</provider_id></provider>"
                  "<provider><provider_id>99999999999999999999</provider_id></provider>"
                  "<provider><provider_id>x1</provider_id></provider>"),
        reply));
    ASSERT_EQ(reply.providers.size(), 3u);
    EXPECT_EQ(reply.providers[0].id, 42u);
    EXPECT_EQ(reply.providers[1].id, 2147483647u);
    EXPECT_EQ(reply.providers[2].id, 0u);
}

struct HostileCase {
    std::string label;
    std::string text;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.label;
}

class HostileXml : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileXml, FailsCleanlyForEveryReader) {
    const std::string& text = GetParam().text;
    const auto start = std::chrono::steady_clock::now();
    LoginReply login;
    OnlineUsersReply online;
    ReachabilityReply reach;
    EXPECT_FALSE(ParseLoginReply(text, login));
    EXPECT_FALSE(ParseOnlineUsersReply(text, online));
    EXPECT_FALSE(ParseReachabilityReply(text, reach));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_LT(login.errDescription.size(), 1000u);
}

std::string billionLaughs() {
    std::string text = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        text += "<!ENTITY a" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) {
            text += "&a" + std::to_string(i - 1) + ";";
        }
        text += "\">";
    }
    return text + "]><r><err_description>&a9;</err_description><errorcode>0</errorcode></r>";
}

INSTANTIATE_TEST_SUITE_P(
    Documents, HostileXml,
    ::testing::Values(
        HostileCase{"empty", ""}, HostileCase{"blanks", "   "},
        HostileCase{"plain text", "not xml at all"},
        HostileCase{"crossed tags", "<?xml version=\"1.0\"?><a><b></a>"},
        HostileCase{"unclosed", "<?xml version=\"1.0\"?><a>unclosed"},
        HostileCase{"undefined entity", "<?xml version=\"1.0\"?><a>&undefined;</a>"},
        HostileCase{"entity expansion", billionLaughs()},
        HostileCase{"external entity",
                    "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM "
                    "\"file:///etc/passwd\">]><r><errorcode>0</errorcode>"
                    "<err_description>&x;</err_description></r>"},
        HostileCase{"doctype",
                    "<?xml version=\"1.0\"?><!DOCTYPE r><r><errorcode>0</errorcode></r>"},
        // Declared Latin-1, but read as UTF-8 as the service promises: 0xE9 alone is invalid.
        HostileCase{
            "latin-1 byte",
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><userid>caf\xE9</userid></r>"},
        HostileCase{"nul byte", std::string("<?xml version=\"1.0\"?><r>\0</r>", 29)}));

TEST(LoginReply, Utf8TextKeepsItsBytes) {
    LoginReply reply;
    ASSERT_TRUE(ParseLoginReply(loginWith("<userid>caf\xC3\xA9</userid>"), reply));
    EXPECT_EQ(reply.buddyNames, std::vector<std::string>{"caf\xC3\xA9"});
}

TEST(OnlineUsersReply, ReadsBuddiesWithDefaultsAndAnyCase) {
    const std::string text =
        "\r\n  <?xml version=\"1.0\"?>\r\n<USERS><ErrCode>0</ErrCode>"
        "<BUDDY><USERID>alice</USERID><IpAddress>203.0.113.7</IpAddress>"
        "<Listening_Port>5060</Listening_Port><VERSION>6</VERSION><iptype>2</iptype></BUDDY>"
        "<Buddy><userId>bob</userId><ipaddress>LAN</ipaddress></Buddy>"
        "</USERS>\r\n";
    OnlineUsersReply reply;
    ASSERT_TRUE(OnlineUsersReplyGood(text, reply));
    ASSERT_EQ(reply.buddies.size(), 2u);
    EXPECT_EQ(reply.buddies[0].userid, "alice");
    EXPECT_EQ(reply.buddies[0].ipaddress, "203.0.113.7");
    EXPECT_EQ(reply.buddies[0].listening_port, 5060);
    EXPECT_EQ(reply.buddies[0].version, 6);
    EXPECT_EQ(reply.buddies[0].iptype, 2);
    EXPECT_EQ(reply.buddies[1].userid, "bob");
    EXPECT_EQ(reply.buddies[1].ipaddress, "LAN");
    EXPECT_EQ(reply.buddies[1].listening_port, 1720);
    EXPECT_EQ(reply.buddies[1].version, 1);
    EXPECT_EQ(reply.buddies[1].iptype, 0);
}

TEST(OnlineUsersReply, NonZeroErrcodeParsesButIsNotGood) {
    OnlineUsersReply reply;
    const std::string text =
        "<?xml version=\"1.0\"?><u><errcode>3</errcode><err_description>bad pass"
        "</err_description><buddy><userid>x</userid></buddy></u>";
    EXPECT_TRUE(ParseOnlineUsersReply(text, reply));
    EXPECT_FALSE(OnlineUsersReplyGood(text, reply));
    EXPECT_EQ(reply.errcode, 3);
    EXPECT_EQ(reply.err_description, "bad pass");
}

TEST(OnlineUsersReply, ResetsBeforeEveryParse) {
    OnlineUsersReply reply;
    ASSERT_TRUE(ParseOnlineUsersReply(
        "<?xml version=\"1.0\"?><u><errcode>2</errcode><buddy></buddy><buddy></buddy></u>", reply));
    ASSERT_TRUE(ParseOnlineUsersReply("<?xml version=\"1.0\"?><u/>", reply));
    EXPECT_EQ(reply.errcode, 0);
    EXPECT_TRUE(reply.buddies.empty());
}

TEST(OnlineUsersReply, BuddyOnlyCountsWhenItCloses) {
    OnlineUsersReply reply;
    ASSERT_TRUE(ParseOnlineUsersReply(
        "<?xml version=\"1.0\"?><u><userid>stray</userid><buddy><userid>a</userid></buddy></u>",
        reply));
    ASSERT_EQ(reply.buddies.size(), 1u);
    EXPECT_EQ(reply.buddies[0].userid, "a");
}

TEST(ReachabilityReply, ReadsItsFieldsInAnyCase) {
    ReachabilityReply reply;
    ASSERT_TRUE(ParseReachabilityReply(
        "<?xml version=\"1.0\"?><r><Error_Code>0</Error_Code><IPADDRESS>198.51.100.4"
        "</IPADDRESS><IpType>1</IpType><err_description></err_description></r>",
        reply));
    EXPECT_EQ(reply.error_code, 0);
    EXPECT_EQ(reply.ipaddress, "198.51.100.4");
    EXPECT_EQ(reply.iptype, 1);

    ASSERT_TRUE(
        ParseReachabilityReply("<?xml version=\"1.0\"?><r><error_code>5</error_code>"
                               "<err_description>Port blocked</err_description></r>",
                               reply));
    EXPECT_EQ(reply.error_code, 5);
    EXPECT_EQ(reply.err_description, "Port blocked");
    EXPECT_EQ(reply.ipaddress, "");
}

TEST(ReachabilityReply, WithoutAVerdictItIsNoSuccess) {
    ReachabilityReply reply;
    ASSERT_TRUE(ParseReachabilityReply("<?xml version=\"1.0\"?><html><body/></html>", reply));
    EXPECT_NE(reply.error_code, 0);
}

struct IntegerCase {
    std::string text;
    int32_t value;
};

void PrintTo(const IntegerCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class ReplyInteger : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ReplyInteger, BlanksSignLeadingDigits) {
    EXPECT_EQ(ReadReplyInteger(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReplyInteger,
    ::testing::Values(IntegerCase{"42", 42}, IntegerCase{"  -17x", -17}, IntegerCase{"+8", 8},
                      IntegerCase{"abc", 0}, IntegerCase{"", 0}, IntegerCase{" \t\r\n 5", 5},
                      IntegerCase{"- 5", 0}, IntegerCase{"00012", 12}, IntegerCase{"1 2", 1},
                      IntegerCase{"2147483647", std::numeric_limits<int32_t>::max()},
                      IntegerCase{"2147483648", std::numeric_limits<int32_t>::max()},
                      IntegerCase{"-2147483648", std::numeric_limits<int32_t>::min()},
                      IntegerCase{"-99999999999999999999999", std::numeric_limits<int32_t>::min()},
                      IntegerCase{std::string(60, '9'), std::numeric_limits<int32_t>::max()}));

TEST(StatusReplies, CallReportSessionNumber) {
    EXPECT_EQ(CallReportSessionId("+abc1234", 0), 1234u);
    EXPECT_EQ(CallReportSessionId("+OK 77\r\n", 0), 77u);
    EXPECT_EQ(CallReportSessionId("+abc5678", 1234), 1234u);  // only the first one counts
    EXPECT_EQ(CallReportSessionId("+abc", 0), 0u);            // four characters or fewer
    EXPECT_EQ(CallReportSessionId("+ab", 0), 0u);
    EXPECT_EQ(CallReportSessionId("-abc1234", 0), 0u);
    EXPECT_EQ(CallReportSessionId(" +abc1234", 0), 0u);
    EXPECT_EQ(CallReportSessionId("+abc-5", 0), 0u);
    EXPECT_EQ(CallReportSessionId("+abcx", 0), 0u);
}

TEST(StatusReplies, ProblemReportMessage) {
    EXPECT_EQ(ProblemReportMessage("+OKThank you"), "Thank you");
    EXPECT_EQ(ProblemReportMessage("+OK"), "");
    EXPECT_EQ(ProblemReportMessage("+"), "");
    EXPECT_EQ(ProblemReportMessage("+OK "), " ");
    EXPECT_FALSE(ProblemReportMessage("-ERR").has_value());
    EXPECT_FALSE(ProblemReportMessage("").has_value());
    EXPECT_FALSE(ProblemReportMessage(" +OK").has_value());
}

TEST(StatusReplies, KeepAliveLogoffAndCards) {
    EXPECT_EQ(JudgeKeepAliveReply("#You logged in elsewhere"),
              KeepAliveVerdict::LoggedOffByService);
    EXPECT_EQ(JudgeKeepAliveReply("-"), KeepAliveVerdict::LogOffSilently);
    EXPECT_EQ(JudgeKeepAliveReply("+OK"), KeepAliveVerdict::Accepted);
    EXPECT_EQ(JudgeKeepAliveReply(""), KeepAliveVerdict::Accepted);
    EXPECT_EQ(JudgeKeepAliveReply(" #x"), KeepAliveVerdict::Accepted);

    EXPECT_TRUE(LogoffAccepted("+"));
    EXPECT_FALSE(LogoffAccepted(" +"));
    EXPECT_FALSE(LogoffAccepted(""));

    EXPECT_TRUE(CallingCardsStored("  +OK\r\n"));
    EXPECT_FALSE(CallingCardsStored("-no"));
    EXPECT_FALSE(CallingCardsStored(" \r\n"));
}

TEST(StatusReplies, OnlineUsersFirstLook) {
    EXPECT_EQ(ClassifyOnlineUsersReply(""), OnlineUsersReplyKind::Empty);
    EXPECT_EQ(ClassifyOnlineUsersReply(" \r\n\t"), OnlineUsersReplyKind::Empty);
    EXPECT_EQ(ClassifyOnlineUsersReply("\r\n<?xml version=\"1.0\"?><u/>"),
              OnlineUsersReplyKind::Xml);
    EXPECT_EQ(ClassifyOnlineUsersReply("<?xml"), OnlineUsersReplyKind::Xml);
    EXPECT_EQ(ClassifyOnlineUsersReply("<?xm"), OnlineUsersReplyKind::NotXml);
    EXPECT_EQ(ClassifyOnlineUsersReply("<?XML version=\"1.0\"?>"), OnlineUsersReplyKind::NotXml);
    EXPECT_EQ(ClassifyOnlineUsersReply("<html>busy</html>"), OnlineUsersReplyKind::NotXml);
}

TEST(ProfileText, ReadsLikeAProfileFile) {
    const ProfileText profile(
        "; comment\r\nkey=outside\r\n[Main]\r\n  Name = \"quoted value\"  \r\nname=second\r\n"
        "Single='x'\r\nHalf=\"open\r\nno equals line\r\nEmpty=\r\n= nameless\r\n[Other]\r\n"
        "Name=other\r\n[broken\r\nName=lost\r\n");
    EXPECT_EQ(profile.GetString("main", "NAME", "d"), "quoted value");  // first one wins
    EXPECT_EQ(profile.GetString("MAIN", "single", "d"), "x");
    EXPECT_EQ(profile.GetString("Main", "Half", "d"), "\"open");
    EXPECT_EQ(profile.GetString("Main", "Empty", "d"), "");
    EXPECT_EQ(profile.GetString("Main", "key", "d"), "d");
    EXPECT_EQ(profile.GetString("Other", "Name", "d"), "other");
    EXPECT_EQ(profile.GetString("Missing", "Name", "default"), "default");
    EXPECT_EQ(profile.GetString("Main", "Name", "d", 5), "quot");
}

TEST(ProfileText, ValuesEndAtANulAndAre255CharactersAtMost) {
    std::string text = "[S]\nA=" + std::string(400, 'a') + "\nB=x";
    text += std::string(1, '\0') + "y\n";
    const ProfileText profile(text);
    EXPECT_EQ(profile.GetString("S", "A", ""), std::string(255, 'a'));
    EXPECT_EQ(profile.GetString("S", "B", ""), "x");
    EXPECT_EQ(profile.GetString("S", "C", std::string(300, 'd')), std::string(255, 'd'));
}

}  // namespace
