#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <dirent.h>

#include <atomic>
#include <fstream>
#include <set>
#include <string>

#include "reporter/ProblemReportPoster.h"
#include "tests/reporter/ReportPageServer.h"
#include "tests/webservice/ScopedConfigDir.h"
#include "webservice/ServiceRequests.h"

using namespace ostrel::reporter;
using ostrel::reporter::test::ReportPageServer;
using ostrel::webservice::test::ScopedConfigDir;

namespace {

constexpr const char* kGuid = "0a1b2c3d-0000-4000-8000-00000000abcd";
constexpr const char* kGuidEncoded = "0a1b2c3d%2D0000%2D4000%2D8000%2D00000000abcd";

ReporterSwitches switchesFor(const std::string& server) {
    ReporterSwitches s;
    s.reportFile = "/unused.RPT";
    s.version = "6.0 beta";
    s.build = "12 (test)";
    s.server = server;
    s.serverPath = "app2/logproblem.aspx";
    s.application = "/unused/ostrel";
    s.instanceGuid = kGuid;
    return s;
}

// A loopback port on which nothing listens: the connection is refused at once.
int closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Accepts connections into its backlog and never answers.
class SilentListener {
public:
    SilentListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(fd_); }
    std::string HostText() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int fd_ = -1;
    int port_ = 0;
};

std::set<std::string> threadNames() {
    std::set<std::string> names;
    DIR* tasks = ::opendir("/proc/self/task");
    while (dirent* entry = tasks ? ::readdir(tasks) : nullptr) {
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        if (std::getline(comm, name)) {
            names.insert(name);
        }
    }
    if (tasks) {
        ::closedir(tasks);
    }
    return names;
}

class PosterTest : public ::testing::Test {
protected:
    SendOutcome postAndWait(ProblemReportPoster& poster) {
        EXPECT_TRUE(poster.Start());
        EXPECT_NE(poster.Wait(30000), ostrel::sync::WaitResult::TimedOut);
        EXPECT_FALSE(poster.IsRunning());
        return poster.Outcome();
    }

    ScopedConfigDir config_;  // no proxy from the user's own settings
    ReportPageServer page_;
};

TEST_F(PosterTest, PostsTheEncodedBodyToThePageOfTheCommandLine) {
    ProblemReportPoster poster(switchesFor(page_.HostText()), "Exception code: 0000000B\r\n");
    postAndWait(poster);
    ASSERT_EQ(page_.PostCount(), 1u);
    const auto post = page_.Posts().front();
    EXPECT_EQ(post.path, "/app2/logproblem.aspx");
    EXPECT_EQ(post.contentType, "application/x-www-form-urlencoded");
    // Written out by hand: blanks are %20, punctuation and CR LF are escaped, the GUID twice.
    EXPECT_EQ(post.body, std::string("InstanceGUID=") + kGuidEncoded +
                             "&Version=6%2E0%20beta&Build=12%20%28test%29&InstanceGUID=" +
                             kGuidEncoded + "&LogText=Exception%20code%3A%200000000B%0D%0A");
}

TEST_F(PosterTest, AReplyStartingWithPlusIsDeliveredWithTheTextFromItsFourthCharacter) {
    page_.SetReply("+OKThank you, the report is stored as 17.");
    ProblemReportPoster poster(switchesFor(page_.HostText()), "r");
    const SendOutcome outcome = postAndWait(poster);
    EXPECT_TRUE(outcome.delivered);
    EXPECT_EQ(outcome.message, "Thank you, the report is stored as 17.");
}

TEST_F(PosterTest, AShortPlusReplyIsDeliveredWithAnEmptyMessage) {
    page_.SetReply("+OK");
    ProblemReportPoster poster(switchesFor(page_.HostText()), "r");
    const SendOutcome outcome = postAndWait(poster);
    EXPECT_TRUE(outcome.delivered);
    EXPECT_EQ(outcome.message, "");
}

class RefusedReplyTest : public PosterTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(RefusedReplyTest, ShowsUnableToContactTheServer) {
    page_.SetReply(GetParam());
    ProblemReportPoster poster(switchesFor(page_.HostText()), "r");
    const SendOutcome outcome = postAndWait(poster);
    EXPECT_EQ(page_.PostCount(), 1u);
    EXPECT_FALSE(outcome.delivered);
    EXPECT_EQ(outcome.message, "Unable to contact the server. Please try again later.");
}

INSTANTIATE_TEST_SUITE_P(Replies, RefusedReplyTest,
                         ::testing::Values("", "-ERR not stored", " +OK late plus",
                                           "<html>Server Error</html>", "OK"));

TEST_F(PosterTest, AHostThatRefusesTheConnectionIsUnableToContact) {
    ProblemReportPoster poster(switchesFor("127.0.0.1:" + std::to_string(closedPort())), "r");
    const SendOutcome outcome = postAndWait(poster);
    EXPECT_FALSE(outcome.delivered);
    EXPECT_EQ(outcome.message, kUnableToContactServer);
}

TEST_F(PosterTest, AHostThatNeverAnswersIsGivenUpAfterTheTimeOut) {
    SilentListener silent;
    ostrel::webservice::HttpRequesterOptions shortSlices;
    shortSlices.waitSliceMs = 20;  // the product waits 20 slices of a second
    ProblemReportPoster poster(switchesFor(silent.HostText()), "r", 2, shortSlices);
    const SendOutcome outcome = postAndWait(poster);
    EXPECT_FALSE(outcome.delivered);
    EXPECT_EQ(outcome.message, kUnableToContactServer);
}

TEST_F(PosterTest, NoServerOnTheCommandLineSendsNothing) {
    ProblemReportPoster poster(switchesFor(""), "r");
    const SendOutcome outcome = postAndWait(poster);
    EXPECT_FALSE(outcome.delivered);
    EXPECT_EQ(outcome.message, kUnableToContactServer);
    EXPECT_EQ(page_.PostCount(), 0u);
}

TEST_F(PosterTest, TheReportIsPostedFromThePostCrashInformationThread) {
    std::set<std::string> namesDuringRequest;
    page_.SetOnRequest([&] { namesDuringRequest = threadNames(); });
    ProblemReportPoster poster(switchesFor(page_.HostText()), "r");
    postAndWait(poster);
    // Linux keeps the first 15 characters of a thread's name.
    EXPECT_EQ(namesDuringRequest.count("Post Crash Info"), 1u);
    EXPECT_EQ(namesDuringRequest.count("Http Thread"), 1u);
}

TEST_F(PosterTest, IsRunningUntilTheReplyHasArrived) {
    page_.HoldReplies();
    ProblemReportPoster poster(switchesFor(page_.HostText()), "r");
    ASSERT_TRUE(poster.Start());
    ASSERT_TRUE(page_.WaitForPosts(1, 10000));
    EXPECT_TRUE(poster.IsRunning());
    EXPECT_EQ(poster.Wait(50), ostrel::sync::WaitResult::TimedOut);
    page_.Release();
    EXPECT_EQ(poster.Wait(30000), ostrel::sync::WaitResult::Signaled);
    EXPECT_FALSE(poster.IsRunning());
    EXPECT_TRUE(poster.Outcome().delivered);
}

TEST_F(PosterTest, AReportFarOverTheFormLimitOfSmallServersArrivesWhole) {
    std::string report;
    for (int i = 0; report.size() < 40000; ++i) {
        report += "0804" + std::to_string(1000 + i) + "  BFFFF" + std::to_string(i) +
                  "  0001:00001234 /opt/talvero/ostrel\r\n";
    }
    ProblemReportPoster poster(switchesFor(page_.HostText()), report);
    ASSERT_TRUE(postAndWait(poster).delivered);
    ostrel::webservice::ProblemReportRequest request{kGuid, "6.0 beta", "12 (test)", report};
    ASSERT_EQ(page_.PostCount(), 1u);
    EXPECT_EQ(page_.Posts().front().body, ostrel::webservice::BuildProblemReportRequest(request));
}

TEST(SendProblemReport, TheSendStepAloneReturnsTheOutcome) {
    ScopedConfigDir config;
    ReportPageServer page;
    page.SetReply("+OKnoted");
    ostrel::webservice::HttpRequester requester(kReportTimeoutSeconds);
    const SendOutcome outcome = sendProblemReport(requester, switchesFor(page.HostText()), "r");
    EXPECT_TRUE(outcome.delivered);
    EXPECT_EQ(outcome.message, "noted");
    EXPECT_EQ(page.PostCount(), 1u);
}

}  // namespace
