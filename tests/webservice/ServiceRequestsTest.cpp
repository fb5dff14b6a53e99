#include <gtest/gtest.h>

#include <memory>
#include <ostream>

#include "tests/webservice/LocalHttpServer.h"
#include "tests/webservice/ScopedConfigDir.h"
#include "webservice/FormEncode.h"
#include "webservice/HttpRequester.h"
#include "webservice/ServiceRequests.h"

using namespace ostrel::webservice;
using namespace ostrel::webservice::test;

namespace {

// Every expected body below is written out by hand from the request layouts.
constexpr const char* kGuid = "0a1b2c3d-0000-4000-8000-00000000abcd";
constexpr const char* kGuidEncoded = "0a1b2c3d%2D0000%2D4000%2D8000%2D00000000abcd";

// Builds each body, posts it to a loopback service and returns what arrived there.
class WireTest : public ::testing::Test {
protected:
    std::string sent(const std::string& body) {
        std::string reply;
        EXPECT_TRUE(requester_.Post(server_.HostText(), "ostrel\\script.asp", body, reply));
        return server_.LastRequest().body;
    }

    ScopedConfigDir config_;
    LocalHttpServer server_;
    HttpRequester requester_{60};
};

struct EncodeCase {
    std::string value;
    std::string encoded;
};

void PrintTo(const EncodeCase& c, std::ostream* os) {
    *os << '"' << c.encoded << '"';
}

class FormEncodeTest : public WireTest, public ::testing::WithParamInterface<EncodeCase> {};

TEST_P(FormEncodeTest, EncodesEveryByteButLettersAndDigits) {
    EXPECT_EQ(FormEncode(GetParam().value), GetParam().encoded);
    EXPECT_EQ(sent("v=" + FormEncode(GetParam().value)), "v=" + GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(Values, FormEncodeTest,
                         ::testing::Values(EncodeCase{"a b", "a%20b"},
                                           EncodeCase{"x-y.z", "x%2Dy%2Ez"},
                                           EncodeCase{"AZaz09", "AZaz09"}, EncodeCase{"", ""},
                                           EncodeCase{"\xE9", "%E9"},
                                           EncodeCase{"_*~+%&=", "%5F%2A%7E%2B%25%26%3D"},
                                           EncodeCase{std::string("\0\x7f\xff", 3), "%00%7F%FF"}));

AccountRequest account(uint32_t ipType) {
    AccountRequest request;
    request.user = "bob";
    request.password = "p w-1";
    request.instanceGuid = kGuid;
    request.listeningPort = 1720;
    request.address.ipType = ipType;
    request.address.ownAddress = "203.0.113.7";
    request.address.configuredIp = "10.0.0.5";
    return request;
}

struct ModeCase {
    uint32_t ipType;
    std::string addressPart;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << "mode " << c.ipType;
}

class NetworkModeTest : public WireTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(NetworkModeTest, LoginBody) {
    EXPECT_EQ(sent(BuildLoginRequest(account(GetParam().ipType))),
              std::string("user=bob&Pass=p%20w%2D1&ListeningPort=1720&InstanceGUID=") +
                  kGuidEncoded + GetParam().addressPart + "&Version=6&ClientType=0");
}

TEST_P(NetworkModeTest, LogoffBodyHasNoListeningPort) {
    EXPECT_EQ(sent(BuildLogoffRequest(account(GetParam().ipType))),
              std::string("User=bob&Pass=p%20w%2D1&InstanceGUID=") + kGuidEncoded +
                  GetParam().addressPart + "&Version=6&ClientType=0");
}

TEST_P(NetworkModeTest, KeepAliveBody) {
    EXPECT_EQ(sent(BuildKeepAliveRequest(account(GetParam().ipType))),
              std::string("User=bob&Pass=p%20w%2D1&ListeningPort=1720&InstanceGUID=") +
                  kGuidEncoded + GetParam().addressPart + "&Version=6&ClientType=0");
}

INSTANTIATE_TEST_SUITE_P(Modes, NetworkModeTest,
                         ::testing::Values(ModeCase{0, "&IPAddr=203%2E0%2E113%2E7&IPType=0"},
                                           ModeCase{1, "&IPAddr=&IPType=1"},
                                           ModeCase{2, "&IPAddr=10%2E0%2E0%2E5&IPType=2"},
                                           ModeCase{3, "&IPAddr=10%2E0%2E0%2E5&IPType=3"},
                                           ModeCase{4, "&IPAddr=203%2E0%2E113%2E7&IPType=0"},
                                           ModeCase{9, "&IPAddr=203%2E0%2E113%2E7&IPType=0"}));

TEST_F(WireTest, KeepAliveFromBehindAFirewallSendsLan) {
    AccountRequest request = account(0);
    request.address.ownAddress = "LAN";
    request.listeningPort = 5060;
    EXPECT_EQ(sent(BuildKeepAliveRequest(request)),
              std::string("User=bob&Pass=p%20w%2D1&ListeningPort=5060&InstanceGUID=") +
                  kGuidEncoded + "&IPAddr=LAN&IPType=0&Version=6&ClientType=0");
}

TEST_F(WireTest, OnlineUsersWithAndWithoutBuddies) {
    EXPECT_EQ(sent(BuildOnlineUsersRequest("bob", "p w-1", {"alice", "bob.smith", "Dave"})),
              "User=bob&Pass=p%20w%2D1&buddy=alice&buddy=bob%2Esmith&buddy=Dave"
              "&Version=6&ClientType=0");
    EXPECT_EQ(sent(BuildOnlineUsersRequest("bob", "p w-1", {})),
              "User=bob&Pass=p%20w%2D1&Version=6&ClientType=0");
}

TEST_F(WireTest, BuddyListUpload) {
    EXPECT_EQ(sent(BuildBuddyListRequest("Bob Smith", "", {"carol", "carol"})),
              "User=Bob%20Smith&Pass=&buddy=carol&buddy=carol&Version=6&ClientType=0");
}

TEST_F(WireTest, CallReportBody) {
    CallReportRequest report;
    report.user = "bob";
    report.parties = {{"alice", 125000, 301, 3}, {"carol_x", 59999, 1, 1}};
    report.conferenceGuid = kGuid;
    EXPECT_EQ(sent(BuildCallReportRequest(report)),
              std::string("User=bob&RemUser=alice&Minutes=2&AvgDelay=100"
                          "&RemUser=carol%5Fx&Minutes=0&AvgDelay=1"
                          "&SessionID=0&Version=6&ClientType=0&IsRecorded=0"
                          "&VoiceConferenceGUID=") +
                  kGuidEncoded);

    report.sessionId = 1234;
    report.recorded = true;
    report.parties = {{"alice", 0xFFFFFFFFu, 10, 0}};  // a count of 0 never divides
    EXPECT_EQ(sent(BuildCallReportRequest(report)),
              std::string("User=bob&RemUser=alice&Minutes=71582&AvgDelay=10"
                          "&SessionID=1234&Version=6&ClientType=0&IsRecorded=1"
                          "&VoiceConferenceGUID=") +
                  kGuidEncoded);
}

TEST_F(WireTest, ReachabilityBodyPerMode) {
    ReachabilityRequest request;
    request.listeningPort = 1720;
    request.address.ownAddress = "203.0.113.7";
    request.address.configuredIp = "fw.example.net";
    const std::string start = "Version=6&ClientType=0&Message=Congratulations&Port=1720";

    request.address.ipType = 0;
    EXPECT_EQ(sent(BuildReachabilityRequest(request).value()),
              start + "&IPAddr=203.0.113.7&IPType=0");
    request.address.ipType = 1;
    EXPECT_EQ(sent(BuildReachabilityRequest(request).value()), start + "&IPAddr=&IPType=1");
    request.address.ipType = 2;
    EXPECT_EQ(sent(BuildReachabilityRequest(request).value()),
              start + "&IPAddr=fw%2Eexample%2Enet&IPType=2");
    for (const uint32_t mode : {3u, 4u}) {
        request.address.ipType = mode;
        EXPECT_FALSE(BuildReachabilityRequest(request).has_value()) << mode;
    }
}

TEST_F(WireTest, CallingCardUpload) {
    EXPECT_EQ(sent(BuildCallingCardRequest("bob", "p w-1", {})),
              "User=bob&Pass=p%20w%2D1&Version=6&ClientType=0");
    const std::vector<CallingCard> cards = {{7, "12 34", "0042", 1}, {12, "", "x", 0}};
    EXPECT_EQ(sent(BuildCallingCardRequest("bob", "p w-1", cards)),
              "User=bob&Pass=p%20w%2D1&Version=6&ClientType=0"
              "&provider=7&account_number=12%2034&pin_number=0042&isdefault=1"
              "&provider=12&account_number=&pin_number=x&isdefault=0");
}

TEST_F(WireTest, ProblemReportSendsTheGuidTwice) {
    ProblemReportRequest report{kGuid, "6.0", "123", "line 1\r\nx=y&z"};
    EXPECT_EQ(sent(BuildProblemReportRequest(report)),
              std::string("InstanceGUID=") + kGuidEncoded + "&Version=6%2E0&Build=123" +
                  "&InstanceGUID=" + kGuidEncoded + "&LogText=line%201%0D%0Ax%3Dy%26z");
}

}  // namespace
