// Every request the client sends, built by the client's own builders and posted through its
// request layer, answered by the reference service, and read back by the client's readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/settings/Settings.h"
#include "platform/Platform.h"
#include "platform/UdpSocket.h"
#include "service/TalveroService.h"
#include "tests/support/TestService.h"
#include "tests/webservice/ScopedConfigDir.h"
#include "webservice/HttpRequester.h"
#include "webservice/LoginReply.h"
#include "webservice/OnlineUsersReply.h"
#include "webservice/ReachabilityReply.h"
#include "webservice/ServiceDirectory.h"
#include "webservice/ServiceRequests.h"
#include "webservice/StatusReplies.h"

using namespace ostrel;
using namespace ostrel::webservice;

namespace {

class ClientServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.running()) << service_.error();
        webHost_ = service_.webHost();
        ASSERT_TRUE(LoadServiceDirectory(requester_, directory_, webHost_));

        addUser("alice", "alice-pw");
        addUser("bob", "bob pw");
        service::Provider provider{
            7, "Test Telephone", {{"127.0.0.1", 1730}}, {{"enable_auto_dtmf", "1"}}};
        ASSERT_EQ(service_->accounts().addProvider(provider), service::AddResult::Added);
    }

    void addUser(const std::string& name, const std::string& password) {
        ASSERT_TRUE(service_.addUser(name, password));
    }

    std::string post(const std::string& script, const std::string& body) {
        std::string reply;
        EXPECT_TRUE(requester_.Post(directory_.server, directory_.Target(script), body, reply))
            << script;
        return reply;
    }

    AccountRequest account(const std::string& user, const std::string& password,
                           const std::string& guid, uint32_t port = 1720) {
        AccountRequest request;
        request.user = user;
        request.password = password;
        request.instanceGuid = guid;
        request.listeningPort = port;
        request.address.ipType = 0;
        request.address.ownAddress = "127.0.0.1";
        return request;
    }

    LoginReply login(const AccountRequest& request) {
        LoginReply reply;
        EXPECT_TRUE(
            ParseLoginReply(post(directory_.loginScript, BuildLoginRequest(request)), reply));
        return reply;
    }

    OnlineUsersReply online(const std::string& user, const std::string& password,
                            const std::vector<std::string>& buddies) {
        const std::string text =
            post(directory_.onlineUsersScript, BuildOnlineUsersRequest(user, password, buddies));
        EXPECT_EQ(ClassifyOnlineUsersReply(text), OnlineUsersReplyKind::Xml) << text;
        OnlineUsersReply reply;
        EXPECT_TRUE(OnlineUsersReplyGood(text, reply)) << text;
        return reply;
    }

    webservice::test::ScopedConfigDir config_;
    ostrel::test::TestService service_;
    std::string webHost_;
    HttpRequester requester_{20};
    ServiceDirectory directory_;
};

}  // namespace

TEST_F(ClientServiceTest, DirectoryNamesEveryScriptAndIsRemembered) {
    EXPECT_EQ(directory_.server, webHost_);
    for (const std::string* script :
         {&directory_.loginScript, &directory_.logoffScript, &directory_.keepAliveScript,
          &directory_.buddyListScript, &directory_.onlineUsersScript, &directory_.callReportScript,
          &directory_.reachabilityScript, &directory_.callingCardScript,
          &directory_.problemReportScript}) {
        EXPECT_FALSE(script->empty());
    }
    EXPECT_EQ(settings::read(settings::value::LastKnownServer), webHost_);
    EXPECT_EQ(settings::read(settings::value::LastKnownCrashFileServerPath),
              directory_.problemReportScript);
}

TEST_F(ClientServiceTest, LoginPresenceKeepAliveAndLogoff) {
    LoginReply refused = login(account("alice", "wrong", "g-0"));
    EXPECT_NE(refused.error, 0u);
    EXPECT_FALSE(refused.errDescription.empty());

    // Buddy lists go up with the client's upload request and come back with the next login.
    const std::string upload =
        post(directory_.buddyListScript, BuildBuddyListRequest("alice", "alice-pw", {"bob"}));
    EXPECT_FALSE(upload.empty());
    const AccountRequest alice = account("alice", "alice-pw", "guid-alice-1", 1720);
    LoginReply aliceReply = login(alice);
    ASSERT_EQ(aliceReply.error, 0u) << aliceReply.errDescription;
    EXPECT_EQ(aliceReply.buddyNames, std::vector<std::string>{"bob"});
    ASSERT_EQ(aliceReply.providers.size(), 1u);
    EXPECT_EQ(aliceReply.providers[0].id, 7u);
    ASSERT_EQ(aliceReply.providers[0].gatewayHosts.size(), 1u);
    EXPECT_EQ(aliceReply.providers[0].gatewayHosts[0].port, 1730u);

    EXPECT_TRUE(online("alice", "alice-pw", {"bob"}).buddies.empty());  // bob is offline

    const AccountRequest bob = account("bob", "bob pw", "guid-bob-1", 1721);
    ASSERT_EQ(login(bob).error, 0u);
    const OnlineUsersReply seen = online("alice", "alice-pw", {"bob"});
    ASSERT_EQ(seen.buddies.size(), 1u);
    EXPECT_EQ(seen.buddies[0].userid, "bob");
    EXPECT_EQ(seen.buddies[0].ipaddress, "127.0.0.1");
    EXPECT_EQ(seen.buddies[0].listening_port, 1721);
    EXPECT_EQ(seen.buddies[0].version, 6);
    EXPECT_EQ(seen.buddies[0].iptype, 0);

    EXPECT_EQ(JudgeKeepAliveReply(post(directory_.keepAliveScript, BuildKeepAliveRequest(bob))),
              KeepAliveVerdict::Accepted);
    // Bob logs in again from another instance: the first one is told so by its keep-alive.
    ASSERT_EQ(login(account("bob", "bob pw", "guid-bob-2", 1722)).error, 0u);
    EXPECT_EQ(JudgeKeepAliveReply(post(directory_.keepAliveScript, BuildKeepAliveRequest(bob))),
              KeepAliveVerdict::LoggedOffByService);
    EXPECT_EQ(online("alice", "alice-pw", {"bob"}).buddies.at(0).listening_port, 1722);

    AccountRequest bob2 = account("bob", "bob pw", "guid-bob-2", 1722);
    EXPECT_TRUE(LogoffAccepted(post(directory_.logoffScript, BuildLogoffRequest(bob2))));
    EXPECT_TRUE(online("alice", "alice-pw", {"bob"}).buddies.empty());
}

TEST_F(ClientServiceTest, CallReportsCarryTheNumberTheServiceGave) {
    ASSERT_EQ(login(account("alice", "alice-pw", "guid-a")).error, 0u);
    CallReportRequest report;
    report.user = "alice";
    report.parties = {{"bob", 5000, 41, 2}};
    report.conferenceGuid = platform::newGuidText();
    const uint32_t session =
        CallReportSessionId(post(directory_.callReportScript, BuildCallReportRequest(report)), 0);
    EXPECT_NE(session, 0u);
    report.sessionId = session;
    report.recorded = true;
    const std::string again = post(directory_.callReportScript, BuildCallReportRequest(report));
    EXPECT_EQ(again.substr(0, 1), "+") << again;
    EXPECT_EQ(CallReportSessionId(again, session), session);
}

TEST_F(ClientServiceTest, CallingCardsGoUpAndComeBackWithTheLogin) {
    ASSERT_EQ(login(account("alice", "alice-pw", "guid-a")).error, 0u);
    const std::vector<CallingCard> cards = {{7, "12345678", "4321", 1}, {7, "999", "", 0}};
    EXPECT_TRUE(CallingCardsStored(
        post(directory_.callingCardScript, BuildCallingCardRequest("alice", "alice-pw", cards))));
    const LoginReply reply = login(account("alice", "alice-pw", "guid-b"));
    ASSERT_EQ(reply.callingCards.size(), 2u);
    EXPECT_EQ(reply.callingCards[0].accountNumber, "12345678");
    EXPECT_EQ(reply.callingCards[0].pin, "4321");
    EXPECT_EQ(reply.callingCards[0].isDefault, 1u);
    EXPECT_EQ(reply.callingCards[1].providerId, 7u);

    EXPECT_TRUE(CallingCardsStored(
        post(directory_.callingCardScript, BuildCallingCardRequest("alice", "alice-pw", {}))));
    EXPECT_TRUE(login(account("alice", "alice-pw", "guid-c")).callingCards.empty());
}

TEST_F(ClientServiceTest, ProblemReportIsThankedFor) {
    ProblemReportRequest report{platform::newGuidText(), "6.0", "1234",
                                std::string(20000, 'x') + "\r\nend of report & more"};
    std::string reply;
    // The reporter posts to the path the directory named, on the server that named it.
    ASSERT_TRUE(requester_.Post(directory_.server, "/" + directory_.problemReportScript,
                                BuildProblemReportRequest(report), reply));
    const auto message = ProblemReportMessage(reply);
    ASSERT_TRUE(message) << reply;
    EXPECT_FALSE(message->empty());
}

TEST_F(ClientServiceTest, ReachabilityTestSendsDatagramsToTheListeningPort) {
    platform::UdpSocket listening;
    ASSERT_TRUE(listening.bind(platform::SocketAddress::loopback(0)));
    const uint16_t port = listening.localAddress()->port;
    ASSERT_EQ(login(account("alice", "alice-pw", "guid-a", port)).error, 0u);

    ReachabilityRequest request;
    request.listeningPort = port;
    request.address.ipType = 0;
    request.address.ownAddress = "127.0.0.1";
    const auto body = BuildReachabilityRequest(request);
    ASSERT_TRUE(body);
    ReachabilityReply reply;
    ASSERT_TRUE(ParseReachabilityReply(post(directory_.reachabilityScript, *body), reply));
    EXPECT_EQ(reply.error_code, 0) << reply.err_description;
    EXPECT_EQ(reply.ipaddress, "127.0.0.1");

    uint8_t buffer[4096];
    const auto got = listening.receive(buffer, sizeof buffer, 5000);
    EXPECT_EQ(got.result, platform::UdpSocket::Result::Ok);
}
