// Party records, the report list and the reporter: the body as the service expects it, the
// session number the service gives, and the reports of a three-party call kept by a real
// talvero-service.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/callreport/CallBook.h"
#include "app/callreport/CallParties.h"
#include "app/callreport/CallReporter.h"
#include "app/callreport/CallStatistics.h"
#include "app/callreport/MissedCalls.h"
#include "platform/Platform.h"
#include "service/TalveroService.h"
#include "tests/support/TestService.h"
#include "tests/webservice/LocalHttpServer.h"
#include "tests/webservice/ScopedConfigDir.h"
#include "webservice/HttpRequester.h"
#include "webservice/LoginReply.h"
#include "webservice/ServiceDirectory.h"
#include "webservice/ServiceRequests.h"

using namespace ostrel;
using namespace ostrel::callreport;

namespace {

engine::PeerJoinedRecord joinReport(const std::string& name, uint64_t session) {
    return {name, engine::SessionId{session}, 6};
}

// The window as the timer thread sees it.
class WindowStandIn : public CallReportHost {
public:
    bool isLoggedIn() override { return loggedIn; }
    std::string userName() override { return user; }
    std::optional<std::string> activeCallConference() override {
        if (!callActive) {
            return std::nullopt;
        }
        return conference;
    }
    bool isRecording() override { return recording; }
    bool callReportTarget(std::string& server, std::string& target) override {
        server = this->server;
        target = this->target;
        return !server.empty();
    }

    bool loggedIn = true;
    bool callActive = true;
    bool recording = false;
    std::string user = "alice";
    std::string conference = "conf-1";
    std::string server;
    std::string target = "/app2/iamtalking.aspx";
};

}  // namespace

TEST(PartyRecord, DelaySamplesInsideTheLimitsMakeTheAverage) {
    PartyRecord party = PartyRecord::joined(joinReport("bob", 3), 1000);
    EXPECT_EQ(party.name, "bob");
    EXPECT_EQ(party.peerVersion, 6u);
    EXPECT_EQ(party.averageDelay(), 1u);  // nothing reported yet
    EXPECT_EQ(party.lastDelayReportTick, 1000u);

    party.addDelaySample(0, 2000);
    party.addDelaySample(10000, 3000);
    party.addDelaySample(25000, 4000);
    EXPECT_EQ(party.averageDelay(), 1u);
    EXPECT_EQ(party.delayCount, 1u);
    EXPECT_EQ(party.smallestDelay, 10000u);
    // ... but each one was a sign of life.
    EXPECT_EQ(party.lastDelayReportTick, 4000u);
    EXPECT_FALSE(party.congested(14000));
    EXPECT_TRUE(party.congested(14001));

    party.addDelaySample(1, 5000);
    party.addDelaySample(9999, 6000);
    EXPECT_EQ(party.delaySum, 1u + 1 + 9999);
    EXPECT_EQ(party.delayCount, 3u);
    EXPECT_EQ(party.averageDelay(), 3333u);
    EXPECT_EQ(party.largestDelay, 9999u);
    EXPECT_EQ(party.smallestDelay, 1u);
    EXPECT_EQ(party.lastDelay, 9999u);
}

TEST(CallParties, RowsFollowJoinsLeavesAndReports) {
    CallParties parties;
    parties.join(joinReport("bob", 1), 0xFFFFF000u);  // just before the tick count wraps
    parties.join(joinReport("carol", 2), 100);
    EXPECT_TRUE(parties.addDelaySample(engine::SessionId{2}, 80, 15000));
    EXPECT_FALSE(parties.addDelaySample(engine::SessionId{9}, 80, 9000));
    EXPECT_TRUE(parties.addLostPackets(engine::SessionId{1}, 4));
    EXPECT_TRUE(parties.addLostPackets(engine::SessionId{1}, 3));
    EXPECT_EQ(parties.find(engine::SessionId{1})->lostPackets, 7u);

    // 0xFFFFF000 to 20000 is 24096 ms across the wrap.
    EXPECT_EQ(parties.congestedNames(20000), std::vector<std::string>{"bob"});
    const CallReportList list = parties.reportList(5);
    EXPECT_EQ(list.call, 5u);
    ASSERT_EQ(list.parties.size(), 2u);
    EXPECT_EQ(list.parties[1].delaySum, 81u);

    EXPECT_TRUE(parties.leave(engine::SessionId{1}));
    EXPECT_FALSE(parties.leave(engine::SessionId{1}));
    ASSERT_EQ(parties.parties().size(), 1u);
    EXPECT_EQ(parties.parties()[0].name, "carol");
    EXPECT_EQ(list.parties.size(), 2u);  // the copy is the timer thread's own
}

class CallReporterTest : public ::testing::Test {
protected:
    void SetUp() override { host_.server = server_.HostText(); }

    webservice::test::LocalHttpServer server_{
        [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(reply_, "text/plain");
        }};
    std::string reply_ = "+ID:77";
    WindowStandIn host_;
    webservice::HttpRequester requester_{20};
    CallReporter reporter_{host_, requester_};
};

TEST_F(CallReporterTest, BodyFieldsInTheServiceOrder) {
    CallParties parties;
    parties.join(joinReport("bob", 1), 0xFFFFF000u);
    parties.join(joinReport("carol m", 2), 62000);
    parties.addDelaySample(engine::SessionId{1}, 40, 70000);
    parties.addDelaySample(engine::SessionId{1}, 60, 71000);
    host_.user = "al.ice";
    host_.conference = "ab-cd";
    host_.recording = true;
    const uint32_t call = reporter_.newCall();
    // bob: 4096 ms before the wrap + 186000 = 190096 ms, 3 minutes; carol 124000 ms, 2.
    ASSERT_EQ(reporter_.send(parties.reportList(call), 186000), CallReporter::Result::Sent);
    const auto request = server_.LastRequest();
    EXPECT_EQ(request.path, "/app2/iamtalking.aspx");
    EXPECT_EQ(request.body,
              "User=al%2Eice&RemUser=bob&Minutes=3&AvgDelay=33&RemUser=carol%20m&Minutes=2"
              "&AvgDelay=1&SessionID=0&Version=6&ClientType=0&IsRecorded=1"
              "&VoiceConferenceGUID=ab%2Dcd");
}

TEST_F(CallReporterTest, TheFirstNumberHoldsForTheCallAndANewCallStartsAtZero) {
    CallParties parties;
    parties.join(joinReport("bob", 1), 0);
    uint32_t call = reporter_.newCall();
    ASSERT_EQ(reporter_.send(parties.reportList(call), 1000), CallReporter::Result::Sent);
    EXPECT_EQ(reporter_.sessionId(), 77u);

    reply_ = "+ID:99";
    ASSERT_EQ(reporter_.send(parties.reportList(call), 2000), CallReporter::Result::Sent);
    EXPECT_NE(server_.LastRequest().body.find("&SessionID=77&"), std::string::npos);
    EXPECT_EQ(reporter_.sessionId(), 77u);

    // A list built during the first call but sent after the next began is not reported.
    const CallReportList stale = parties.reportList(call);
    call = reporter_.newCall();
    EXPECT_EQ(reporter_.sessionId(), 0u);
    const size_t before = server_.Requests().size();
    EXPECT_EQ(reporter_.send(stale, 3000), CallReporter::Result::Dropped);
    EXPECT_EQ(server_.Requests().size(), before);

    reply_ = "+ID";  // too short to carry a number
    ASSERT_EQ(reporter_.send(parties.reportList(call), 4000), CallReporter::Result::Sent);
    EXPECT_NE(server_.LastRequest().body.find("&SessionID=0&"), std::string::npos);
    EXPECT_EQ(reporter_.sessionId(), 0u);
    reply_ = "-refused 12";
    reporter_.send(parties.reportList(call), 5000);
    EXPECT_EQ(reporter_.sessionId(), 0u);
    reply_ = "+ID:12";
    reporter_.send(parties.reportList(call), 6000);
    EXPECT_EQ(reporter_.sessionId(), 12u);
}

TEST_F(CallReporterTest, NothingIsSentLoggedOffOrWithoutACall) {
    CallParties parties;
    parties.join(joinReport("bob", 1), 0);
    const uint32_t call = reporter_.newCall();
    host_.loggedIn = false;
    EXPECT_EQ(reporter_.send(parties.reportList(call), 1000), CallReporter::Result::Dropped);
    host_.loggedIn = true;
    host_.callActive = false;
    EXPECT_EQ(reporter_.send(parties.reportList(call), 1000), CallReporter::Result::Dropped);
    EXPECT_TRUE(server_.Requests().empty());

    host_.callActive = true;
    host_.server = "127.0.0.1:1";  // nobody listens there
    EXPECT_EQ(reporter_.send(parties.reportList(call), 1000), CallReporter::Result::NoReply);
    EXPECT_EQ(reporter_.sessionId(), 0u);
}

TEST_F(CallReporterTest, TheBookHandsOverListsOnJoinLeaveAndEveryFiveMinutes) {
    CallBook book(reporter_);
    book.callStarted();
    const CallReportList joined = book.partyJoined(joinReport("bob", 1), 0);
    ASSERT_EQ(joined.parties.size(), 1u);
    ASSERT_EQ(reporter_.send(joined, 1000), CallReporter::Result::Sent);
    EXPECT_EQ(reporter_.sessionId(), 77u);
    book.partyJoined(joinReport("carol", 2), 500);
    EXPECT_TRUE(book.delayMeasured(engine::SessionId{2}, 30, 9000));
    EXPECT_FALSE(book.packetsLost(engine::SessionId{7}, 1));

    EXPECT_FALSE(book.partyLeft(engine::SessionId{7}));  // unknown: no report either
    const auto left = book.partyLeft(engine::SessionId{1});
    ASSERT_TRUE(left);
    ASSERT_EQ(left->parties.size(), 1u);
    EXPECT_EQ(left->parties[0].name, "carol");

    const CallReportList fiveMinutes = book.currentReport();
    EXPECT_EQ(reporter_.send(fiveMinutes, 20000), CallReporter::Result::Sent);
    EXPECT_NE(server_.LastRequest().body.find("&RemUser=carol&Minutes=0&AvgDelay=15&SessionID=77&"),
              std::string::npos);

    book.callStarted();
    EXPECT_TRUE(book.parties().parties().empty());
    EXPECT_EQ(reporter_.sessionId(), 0u);
    EXPECT_EQ(reporter_.send(fiveMinutes, 21000), CallReporter::Result::Dropped);
}

TEST(CallReporterService, TheServiceKeepsTheReportsOfAThreePartyCall) {
    webservice::test::ScopedConfigDir config;
    ostrel::test::TestService service(
        [](service::ServiceOptions& options) { options.workerThreads = 2; });
    ASSERT_TRUE(service.running()) << service.error();
    ASSERT_TRUE(service.addUser("alice", "pw"));

    webservice::HttpRequester requester(20);
    webservice::ServiceDirectory directory;
    ASSERT_TRUE(webservice::LoadServiceDirectory(requester, directory, service.webHost()));
    WindowStandIn host;
    host.server = directory.server;
    host.target = directory.Target(directory.callReportScript);
    host.conference = platform::newGuidText();
    CallReporter reporter(host, requester);
    CallParties parties;
    parties.join(joinReport("bob", 1), 0);
    const uint32_t call = reporter.newCall();

    // Not logged in at the service: it refuses, and no number is taken.
    ASSERT_EQ(reporter.send(parties.reportList(call), 1000), CallReporter::Result::Sent);
    EXPECT_EQ(reporter.sessionId(), 0u);

    webservice::AccountRequest login;
    login.user = "alice";
    login.password = "pw";
    login.instanceGuid = platform::newGuidText();
    login.address.ownAddress = "127.0.0.1";
    std::string replyText;
    ASSERT_TRUE(requester.Post(directory.server, directory.Target(directory.loginScript),
                               webservice::BuildLoginRequest(login), replyText));
    webservice::LoginReply loginReply;
    ASSERT_TRUE(webservice::ParseLoginReply(replyText, loginReply));
    ASSERT_EQ(loginReply.error, 0u) << loginReply.errDescription;

    parties.addDelaySample(engine::SessionId{1}, 120, 5000);
    ASSERT_EQ(reporter.send(parties.reportList(call), 60000), CallReporter::Result::Sent);
    const uint32_t session = reporter.sessionId();
    ASSERT_NE(session, 0u);

    parties.join(joinReport("carol", 2), 70000);
    host.recording = true;
    ASSERT_EQ(reporter.send(parties.reportList(call), 250000), CallReporter::Result::Sent);
    EXPECT_EQ(reporter.sessionId(), session);

    const auto stored = service->reports().call(session);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->conferenceGuid, host.conference);
    EXPECT_EQ(stored->recorded, 1);
    ASSERT_EQ(stored->parties.size(), 2u);
    EXPECT_EQ(stored->parties[0].remoteUser, "bob");
    EXPECT_EQ(stored->parties[0].minutes, 4);
    EXPECT_EQ(stored->parties[0].averageDelay, 60);
    EXPECT_EQ(stored->parties[1].remoteUser, "carol");
    EXPECT_EQ(stored->parties[1].minutes, 3);
    EXPECT_EQ(stored->parties[1].averageDelay, 1);
}

TEST(CallStatistics, CountsTrafficNotificationsOnly) {
    CallStatistics statistics;
    using engine::NotificationCode;
    EXPECT_TRUE(statistics.count({NotificationCode::BytesReceived, engine::SessionCount{{}, 330}}));
    EXPECT_TRUE(statistics.count({NotificationCode::BytesReceived, engine::SessionCount{{}, 10}}));
    EXPECT_TRUE(statistics.count({NotificationCode::BytesSent, engine::SessionCount{{}, 660}}));
    EXPECT_TRUE(statistics.count({NotificationCode::PacketsLost, engine::SessionCount{{}, 2}}));
    EXPECT_FALSE(statistics.count({NotificationCode::CallActive, {}}));
    EXPECT_FALSE(statistics.count({NotificationCode::BytesSent, {}}));
    EXPECT_EQ(statistics.bytesReceived, 340u);
    EXPECT_EQ(statistics.bytesSent, 660u);
    EXPECT_EQ(statistics.lostPackets, 2u);
}

TEST(MissedCalls, NewestFirstWithTheLocalTime) {
    setenv("TZ", "UTC", 1);
    tzset();
    MissedCalls calls;
    calls.add("bob", 1733666590);  // 2024-12-08 14:03:10 UTC
    calls.add("carol", 1704067199);
    ASSERT_EQ(calls.entries().size(), 2u);
    EXPECT_EQ(calls.entries()[0].caller, "carol");
    EXPECT_EQ(calls.entries()[0].time, "December 31, 23:59:59");
    EXPECT_EQ(calls.entries()[1].caller, "bob");
    EXPECT_EQ(calls.entries()[1].time, "December 08, 14:03:10");
}
