// Call reports, calling-card uploads, problem reports and the reachability test, over HTTP.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/service/ServiceFixture.h"
#include "tests/service/XmlTree.h"

namespace ostrel::service::test {
namespace {

// The session number as the client reads it: "+" first, at least five characters, and the
// decimal number from the fifth character on.
int64_t sessionNumberOf(const std::string& reply) {
    if (reply.size() < 5 || reply[0] != '+') {
        return 0;
    }
    return std::atoll(reply.c_str() + 4);
}

std::string callBody(const std::string& user, int64_t sessionId, const std::string& parties,
                     int recorded = 0) {
    return "User=" + encode(user) + parties + "&SessionID=" + std::to_string(sessionId) +
           "&Version=6&ClientType=0&IsRecorded=" + std::to_string(recorded) +
           "&VoiceConferenceGUID=" + encode("0f8fad5b-d9cb-469f-a165-70867728950e");
}

TEST_F(ServiceFixture, CallReportNumbersTheCallOnceAndKeepsItsParties) {
    addUser("alice", "pw");
    login("alice", "pw", "g1");
    const std::string first =
        post(target("iamtalking_file"),
             callBody("alice", 0,
                      "&RemUser=bob&Minutes=0&AvgDelay=1&RemUser=carol&Minutes=3&AvgDelay=87"));
    const int64_t id = sessionNumberOf(first);
    ASSERT_GT(id, 0) << first;

    auto stored = service_->reports().call(id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->userName, "alice");
    EXPECT_EQ(stored->conferenceGuid, "0f8fad5b-d9cb-469f-a165-70867728950e");
    ASSERT_EQ(stored->parties.size(), 2u);
    EXPECT_EQ(stored->parties[1].remoteUser, "carol");
    EXPECT_EQ(stored->parties[1].minutes, 3);
    EXPECT_EQ(stored->parties[1].averageDelay, 87);

    // Five minutes on, the report carries the number; the parties are replaced.
    const std::string later =
        post(target("iamtalking_file"),
             callBody("alice", id, "&RemUser=carol&Minutes=8&AvgDelay=90", 1));
    EXPECT_EQ(later[0], '+') << later;
    stored = service_->reports().call(id);
    ASSERT_EQ(stored->parties.size(), 1u);
    EXPECT_EQ(stored->parties[0].minutes, 8);
    EXPECT_EQ(stored->recorded, 1);

    // A new call starts from 0 and gets another number.
    const int64_t next = sessionNumberOf(post(
        target("iamtalking_file"), callBody("alice", 0, "&RemUser=dave&Minutes=0&AvgDelay=1")));
    EXPECT_GT(next, 0);
    EXPECT_NE(next, id);
}

TEST_F(ServiceFixture, CallReportRefusals) {
    addUser("alice", "pw");
    addUser("bob", "pw");
    const std::string parties = "&RemUser=bob&Minutes=1&AvgDelay=5";
    // Not logged in.
    EXPECT_EQ(post(target("iamtalking_file"), callBody("alice", 0, parties))[0], '-');
    login("alice", "pw", "g-alice");
    login("bob", "pw", "g-bob");
    const int64_t id =
        sessionNumberOf(post(target("iamtalking_file"), callBody("alice", 0, parties)));
    ASSERT_GT(id, 0);
    // Another user's call, or one that does not exist.
    EXPECT_EQ(post(target("iamtalking_file"), callBody("bob", id, parties))[0], '-');
    EXPECT_EQ(post(target("iamtalking_file"), callBody("alice", id + 100, parties))[0], '-');
    // Fields out of turn, missing, or not numbers.
    EXPECT_EQ(post(target("iamtalking_file"),
                   callBody("alice", 0, "&Minutes=1&RemUser=bob&AvgDelay=5"))[0],
              '-');
    EXPECT_EQ(post(target("iamtalking_file"), callBody("alice", 0, "&RemUser=bob&Minutes=1"))[0],
              '-');
    EXPECT_EQ(post(target("iamtalking_file"),
                   callBody("alice", 0, "&RemUser=bob&Minutes=x&AvgDelay=5"))[0],
              '-');
    EXPECT_EQ(post(target("iamtalking_file"), "User=alice&RemUser=bob&Minutes=1&AvgDelay=5")[0],
              '-');
    EXPECT_EQ(service_->reports().call(id)->parties.size(), 1u);
}

TEST_F(ServiceFixture, CallingCardUploadReplacesTheCards) {
    addUser("alice", "pw");
    addProvider(1, "One");
    addProvider(2, "Two");
    const std::string base = "User=alice&Pass=pw&Version=6&ClientType=0";
    EXPECT_EQ(post(target("sync_callingcards_file"),
                   base + "&provider=2&account_number=555%2D1&pin_number=12&isdefault=1"
                          "&provider=1&account_number=77&pin_number=&isdefault=0"),
              "+");
    const int64_t id = service_->accounts().findUser("alice")->id;
    auto cards = service_->accounts().cards(id);
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0].providerId, 2);
    EXPECT_EQ(cards[0].accountNumber, "555-1");
    EXPECT_EQ(cards[0].isDefault, 1);
    EXPECT_EQ(cards[1].pinNumber, "");

    // Refused uploads keep the stored cards.
    for (const std::string& bad : {base + "&provider=9&account_number=1&pin_number=2&isdefault=1",
                                   base + "&provider=1&account_number=1&pin_number=2",
                                   base + "&account_number=1&provider=1&pin_number=2&isdefault=1",
                                   base + "&provider=1&account_number=1&pin_number=2&isdefault=2",
                                   std::string("User=alice&Pass=bad&Version=6&provider=1&account_"
                                               "number=1&pin_number=2&isdefault=1")}) {
        EXPECT_EQ(post(target("sync_callingcards_file"), bad)[0], '-') << bad;
    }
    EXPECT_EQ(service_->accounts().cards(id).size(), 2u);

    // No cards at all: only the user, password and version fields.
    EXPECT_EQ(post(target("sync_callingcards_file"), base), "+");
    EXPECT_TRUE(service_->accounts().cards(id).empty());
}

TEST_F(ServiceFixture, ProblemReportIsStoredAndThanked) {
    const std::string head = "InstanceGUID=" + encode("a-b") + "&Version=" + encode("6.0") +
                             "&Build=" + encode("112") + "&InstanceGUID=" + encode("a-b") +
                             "&LogText=";
    // A crash log that, percent-encoded, comes close to the 64 KiB limit (far over the 8 KiB
    // that a form body may have by the HTTP library's default).
    std::string log;
    for (int i = 0; head.size() + encode(log).size() < 63'000; ++i) {
        log += "Exception code: C0000005 ACCESS_VIOLATION line " + std::to_string(i) + "\r\n";
    }
    const std::string body = head + encode(log);
    ASSERT_LT(body.size(), 64u * 1024);
    const std::string reply = post("/" + directory_["log_problem_file"], body);
    ASSERT_GE(reply.size(), 4u) << reply;
    EXPECT_EQ(reply[0], '+');
    // The client shows the reply from its fourth character on.
    EXPECT_EQ(reply.substr(3, 9), "Thank you");

    const auto reports = service_->reports().problemReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].instanceGuid, "a-b");
    EXPECT_EQ(reports[0].version, "6.0");
    EXPECT_EQ(reports[0].build, "112");
    EXPECT_EQ(reports[0].logText, log);
    EXPECT_EQ(reports[0].sourceAddress, "127.0.0.1");
}

// A UDP socket on a loopback port, standing in for the client's listening port.
class UdpListener {
public:
    UdpListener() {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~UdpListener() { close(fd_); }
    int port() const { return port_; }

    // Datagrams that arrive within `waitMs` of the last one.
    std::vector<std::string> receive(int waitMs) {
        std::vector<std::string> out;
        pollfd p{fd_, POLLIN, 0};
        while (poll(&p, 1, waitMs) == 1) {
            char buffer[1024];
            const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n < 0) {
                break;
            }
            out.emplace_back(buffer, static_cast<std::size_t>(n));
        }
        return out;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

std::string probeBody(int port, const std::string& address, int mode) {
    return "Version=6&ClientType=0&Message=" + encode("Congratulations") +
           "&Port=" + std::to_string(port) + "&IPAddr=" + encode(address) +
           "&IPType=" + std::to_string(mode);
}

struct ProbeCase {
    const char* label;
    std::string address;
    int mode;
};

void PrintTo(const ProbeCase& c, std::ostream* os) {
    *os << c.label;
}

class ReachabilityTest : public ServiceFixture, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ReachabilityTest, SendsThreeDatagramsToTheTestedPort) {
    UdpListener listener;
    const std::string reply = post(target("fwtest_file"),
                                   probeBody(listener.port(), GetParam().address, GetParam().mode));
    const auto root = parseXml(reply);
    ASSERT_TRUE(root) << reply;
    EXPECT_EQ(root->value("error_code"), "0") << reply;
    EXPECT_EQ(root->value("ipaddress"), "127.0.0.1");
    EXPECT_EQ(root->value("iptype"), std::to_string(GetParam().mode));
    const auto datagrams = listener.receive(500);
    ASSERT_EQ(datagrams.size(), 3u);
    for (const std::string& datagram : datagrams) {
        EXPECT_EQ(datagram, "Congratulations");
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, ReachabilityTest,
                         ::testing::Values(ProbeCase{"Direct", "127.0.0.1", 0},
                                           // Mode 1: the request's own address is tested.
                                           ProbeCase{"FirewallDetected", "", 1},
                                           ProbeCase{"FirewallByName", "localhost", 2}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(ServiceFixture, ReachabilityRefusalsSendNothing) {
    UdpListener listener;
    for (const std::string& body :
         {probeBody(listener.port(), "LAN", 0), probeBody(listener.port(), "", 0),
          probeBody(listener.port(), "127.0.0.1", 3), probeBody(0, "127.0.0.1", 0),
          probeBody(70000, "127.0.0.1", 0), probeBody(listener.port(), "224.0.0.1", 0),
          probeBody(listener.port(), "no-such-host.invalid", 2),
          "Version=6&Message=" + std::string(100, 'x') +
              "&Port=" + std::to_string(listener.port()) + "&IPAddr=127.0.0.1&IPType=0"}) {
        const auto root = parseXml(post(target("fwtest_file"), body));
        ASSERT_TRUE(root) << body;
        EXPECT_NE(root->value("error_code"), "0") << body;
        EXPECT_FALSE(root->value("err_description").value_or("").empty()) << body;
    }
    EXPECT_TRUE(listener.receive(100).empty());
}

TEST_F(ServiceFixture, ReachabilityTestsAreLimitedPerSourceAndMinute) {
    UdpListener listener;
    const auto code = [&] {
        const auto root =
            parseXml(post(target("fwtest_file"), probeBody(listener.port(), "127.0.0.1", 0)));
        return root ? root->value("error_code").value_or("?") : "?";
    };
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(code(), "0") << i;
    }
    EXPECT_EQ(code(), "2");
    advance(60'000);
    EXPECT_EQ(code(), "0");
    EXPECT_EQ(listener.receive(300).size(), 18u);
}

}  // namespace
}  // namespace ostrel::service::test
