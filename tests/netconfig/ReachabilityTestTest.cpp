// The reachability test's sequence against a real service on loopback, with a real engine
// ended and restarted around it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "netconfig/ReachabilityTexts.h"
#include "tests/netconfig/ReachabilityFixture.h"
#include "tests/webservice/LocalHttpServer.h"
#include "tests/webservice/SilentListener.h"

using namespace ostrel;
using namespace ostrel::netconfig;
using namespace ostrel::netconfig::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kWaiting = "Waiting to receive UDP packets ...";
constexpr const char* kCannotConnect = "Cannot connect to server. Verify the following:";

// A directory reply that names `host` for every script.
std::string directoryNaming(const std::string& host) {
    std::string text = "[OSTREL]\r\nCURRENT IP=" + host + "\r\nPATH=app2\r\n";
    for (const char* key :
         {"logmein_file", "logmeoff_file", "iamup_file", "syncblist_file", "getuserlist_file",
          "iamtalking_file", "fwtest_file", "sync_callingcards_file", "log_problem_file"}) {
        text += std::string(key) + "=" + key + ".aspx\r\n";
    }
    return text;
}

class ReachabilityTestTest : public ::testing::Test {
protected:
    ReachabilitySettings settingsFor(uint32_t ipType) {
        ReachabilitySettings settings;
        settings.ipType = ipType;
        settings.listeningPort = port_;
        settings.alternatePort = true;
        return settings;
    }

    ReachabilityOutcome run(ReachabilityTest& test, const std::function<void()>& dispatch = {}) {
        return test.run([&] {
            ++dispatches_;
            if (dispatch) {
                dispatch();
            }
        });
    }

    std::vector<std::string> lines(ReachabilityTest& test) { return test.log().linesFrom(0); }

    void expectEngineBack() {
        ASSERT_GE(host_.events.size(), 2u);
        EXPECT_EQ(host_.events[host_.events.size() - 2], "end engine");
        EXPECT_EQ(host_.events.back(), "start engine");
        EXPECT_EQ(host_.status, "Listening UDP Port: " + std::to_string(port_));
    }

    webservice::test::ScopedConfigDir config_;
    uint16_t port_ = freeUdpPort();
    EngineHost host_{port_};
    int dispatches_ = 0;
};

}  // namespace

TEST_F(ReachabilityTestTest, DirectConnectionReceivesTheServiceDatagrams) {
    TestService service;
    ASSERT_EQ(host_.status, "Listening UDP Port: " + std::to_string(port_));
    ReachabilityTest test(host_, settingsFor(0), {service.host()});
    EXPECT_FALSE(test.firewallMode());

    EXPECT_EQ(run(test), ReachabilityOutcome::Received);
    const auto log = lines(test);
    const std::string port = std::to_string(port_);
    EXPECT_TRUE(contains(log,
                         "You have overridden the default port for listening to incoming "
                         "connections"));
    EXPECT_TRUE(contains(log, "Listening port is " + port));
    EXPECT_TRUE(contains(log, "There are no HTTP proxies that are being used."));
    EXPECT_TRUE(contains(log, "127.0.0.1"));
    EXPECT_TRUE(
        contains(log, "The server has sent UDP packets to your machine.[127.0.0.1] Port:" + port));
    EXPECT_LT(indexOf(log, kWaiting), indexOf(log, "The packet was received successfully"));
    EXPECT_EQ(log.back(), "Your computer is reachable and can receive incoming calls.");
    EXPECT_EQ(host_.detectionLimit.load(), 15u);
    EXPECT_GT(dispatches_, 0);
    expectEngineBack();
}

TEST_F(ReachabilityTestTest, FirewallModesNameWhereThePacketsWent) {
    TestService service;
    ReachabilitySettings automatic = settingsFor(1);
    automatic.alternatePort = false;
    ReachabilityTest first(host_, automatic, {service.host()});
    EXPECT_EQ(run(first), ReachabilityOutcome::Received);
    auto log = lines(first);
    EXPECT_TRUE(contains(log,
                         "The software is listening at the default UDP port (1720) for "
                         "incoming connection requests."));
    EXPECT_TRUE(contains(log, "Detect firewall IP address automatically."));
    EXPECT_TRUE(contains(log, "The server has sent UDP packets to your firewall-127.0.0.1 Port:" +
                                  std::to_string(port_)));
    EXPECT_EQ(log.back(), "Your port forward settings are working correctly.");
    EXPECT_EQ(host_.detectionLimit.load(), 0u);  // the service sees the firewall's address

    ReachabilitySettings fixed = settingsFor(2);
    fixed.configuredIp = "127.0.0.1";
    ReachabilityTest second(host_, fixed, {service.host()});
    EXPECT_EQ(run(second), ReachabilityOutcome::Received);
    log = lines(second);
    EXPECT_TRUE(contains(log, "Firewall:127.0.0.1"));
    expectEngineBack();
}

TEST_F(ReachabilityTestTest, NoDatagramWithinFiveSecondsIsATimeOut) {
    TestService silent(0);
    ReachabilityTest test(host_, settingsFor(1), {silent.host()});
    const auto started = Clock::now();
    EXPECT_EQ(run(test), ReachabilityOutcome::TimedOut);
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(ReachabilityTest::kPacketWaitMs));
    const auto log = lines(test);
    const size_t timedOut = indexOf(log, "Response timed out.. Please try again.");
    ASSERT_LT(timedOut + 2, log.size());
    EXPECT_EQ(log[timedOut + 1],
              "If this fails consistently please check the firewall port forward settings.");
    EXPECT_EQ(test.step(), ReachabilityStep::WaitingForPackets);
    expectEngineBack();
}

TEST_F(ReachabilityTestTest, ADatagramLateInTheWaitStillCounts) {
    TestService silent(0);
    ReachabilityTest test(host_, settingsFor(0), {silent.host()});
    // Sends one datagram 4.9 s after the wait began, as a slow path would deliver it.
    std::atomic<bool> done{false};
    std::thread late([&] {
        while (!done.load() && !contains(test.log().linesFrom(0), kWaiting)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (done.load()) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(4900));
        platform::UdpSocket sender;
        sender.open();
        const char text[] = "late";
        sender.sendTo(platform::SocketAddress::loopback(port_), text, sizeof text);
    });
    const ReachabilityOutcome outcome = run(test);
    done.store(true);
    late.join();
    EXPECT_EQ(outcome, ReachabilityOutcome::Received);
    expectEngineBack();
}

TEST_F(ReachabilityTestTest, AbortWhileTheRequestIsInFlight) {
    // The directory answers; the host it names takes the test request and never answers.
    webservice::test::SilentListener hanging;
    const std::string directoryText = directoryNaming(hanging.HostText());
    webservice::test::LocalHttpServer directory(
        [&](const httplib::Request&, httplib::Response& response) {
            response.set_content(directoryText, "text/plain");
        });

    ReachabilityTest test(host_, settingsFor(1), {directory.HostText()});
    bool aborted = false;
    const auto started = Clock::now();
    const ReachabilityOutcome outcome = run(test, [&] {
        if (!aborted && hanging.Accepted() > 0 && test.step() == ReachabilityStep::RequestSent) {
            aborted = true;
            test.abort();
        }
    });
    EXPECT_TRUE(aborted);
    EXPECT_EQ(outcome, ReachabilityOutcome::Cancelled);
    // Well inside the request's own 60-second limit.
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(30));
    const auto log = lines(test);
    const size_t attempting = indexOf(log, "Attempting to cancel...");
    ASSERT_LT(attempting, log.size());
    EXPECT_EQ(log.back(), "Cancelled by the user");
    EXPECT_FALSE(contains(log, kCannotConnect));
    EXPECT_FALSE(contains(log, kWaiting));
    expectEngineBack();
}

TEST_F(ReachabilityTestTest, AbortEndsTheWaitForTheDatagram) {
    TestService silent(0);
    ReachabilityTest test(host_, settingsFor(0), {silent.host()});
    const ReachabilityOutcome outcome = run(test, [&] {
        if (test.step() == ReachabilityStep::WaitingForPackets && !test.cancelled()) {
            test.abort();
        }
    });
    EXPECT_EQ(outcome, ReachabilityOutcome::Cancelled);
    const auto log = lines(test);
    EXPECT_LT(indexOf(log, kWaiting), indexOf(log, "Attempting to cancel..."));
    EXPECT_EQ(log.back(), "Cancelled by the user");
    EXPECT_FALSE(contains(log, "Response timed out.. Please try again."));
    expectEngineBack();
}

TEST_F(ReachabilityTestTest, ServiceRefusalsAndBusyRepliesEndWithoutWaiting) {
    TestService service;
    // The service cannot send to "LAN" and says why.
    ReachabilitySettings lan = settingsFor(2);
    lan.configuredIp = "LAN";
    ReachabilityTest refused(host_, lan, {service.host()});
    EXPECT_EQ(run(refused), ReachabilityOutcome::Failed);
    auto log = lines(refused);
    const size_t error = indexOf(log, "The following error occured");
    ASSERT_LT(error + 1, log.size());
    EXPECT_FALSE(log[error + 1].empty());
    EXPECT_EQ(refused.step(), ReachabilityStep::ServiceError);
    EXPECT_FALSE(contains(log, kWaiting));

    // A reply that is no XML at all.
    std::string directoryText;
    webservice::test::LocalHttpServer busy(
        [&](const httplib::Request& request, httplib::Response& response) {
            response.set_content(request.path == "/OstrelServer.asp" ? directoryText : "<html>busy",
                                 "text/plain");
        });
    directoryText = directoryNaming(busy.HostText());
    ReachabilityTest garbled(host_, settingsFor(1), {busy.HostText()});
    EXPECT_EQ(run(garbled), ReachabilityOutcome::Failed);
    log = lines(garbled);
    EXPECT_EQ(log.back(), "The server is busy now. Please try after some time.");
    EXPECT_EQ(garbled.step(), ReachabilityStep::ServiceBusy);
    expectEngineBack();
}

TEST_F(ReachabilityTestTest, NoServiceOrNoPublicAddress) {
    // Nothing listens on the web host.
    const uint16_t closed = freeUdpPort();
    ReachabilityTest unreachable(host_, settingsFor(1), {"127.0.0.1:" + std::to_string(closed)});
    EXPECT_EQ(run(unreachable), ReachabilityOutcome::Failed);
    auto log = lines(unreachable);
    EXPECT_TRUE(contains(log, kCannotConnect));
    EXPECT_EQ(unreachable.step(), ReachabilityStep::ServiceUnreachable);

    TestService service;
    host_.ownAddress = "";
    ReachabilityTest offline(host_, settingsFor(0), {service.host()});
    EXPECT_EQ(run(offline), ReachabilityOutcome::Failed);
    log = lines(offline);
    EXPECT_TRUE(contains(log, kCannotConnect));
    EXPECT_FALSE(contains(log, "Retrieving server information"));
    EXPECT_EQ(offline.step(), ReachabilityStep::ServiceUnreachable);

    host_.ownAddress = "LAN";
    ReachabilityTest behind(host_, settingsFor(0), {service.host()});
    EXPECT_EQ(run(behind), ReachabilityOutcome::Failed);
    log = lines(behind);
    EXPECT_EQ(log.back(),
              "Please use the option in the Network Settings for a computer behind firewall if "
              "appropriate.");
    EXPECT_FALSE(contains(log, "Retrieving server information"));
    expectEngineBack();
}

TEST_F(ReachabilityTestTest, APortHeldByAnotherProgramStopsTheTest) {
    TestService service;
    host_.endEngine();
    platform::UdpSocket other;
    ASSERT_TRUE(other.bind(platform::SocketAddress{platform::SocketAddress::kAny, port_}));
    ReachabilityTest test(host_, settingsFor(0), {service.host()});
    EXPECT_EQ(run(test), ReachabilityOutcome::SocketFailed);
    EXPECT_EQ(lines(test).back(),
              "Failed to bind socket. Please restart the software and try again");
    EXPECT_EQ(host_.events.back(), "end engine");  // the program ends; no engine comes back
}

TEST(ReachabilityTexts, ConfigurationProxyAndBoxes) {
    ReachabilitySettings settings;
    settings.ipType = 2;
    settings.configuredIp = "fw.example.org";
    settings.listeningPort = 4000;
    EXPECT_EQ(configurationLine(settings), "Using the firewall - fw.example.org");
    EXPECT_EQ(dialogTitle(settings), "Firewall/Router Hardware/NAT  Port Forward Test");
    EXPECT_NE(explanationText(settings).find("listening port [4000]"), std::string::npos);
    const std::string box = timeoutBoxText(settings);
    EXPECT_NE(box.find("forward UDP packets on port 4000 to your computer?\r\n"),
              std::string::npos);
    EXPECT_NE(box.find("blocking the UDP port 4000? If so"), std::string::npos);
    EXPECT_EQ(proxyLine(settings),
              "You are set to connect directly without any proxies for HTTP requests.");
    settings.proxyOn = true;
    settings.proxyHost = "proxy";
    settings.proxyPort = 3128;
    EXPECT_EQ(proxyLine(settings), "Using HTTP proxy:proxy port:3128");

    settings.ipType = 0;
    EXPECT_EQ(dialogTitle(settings), "Test if your computer is reachable by others");
    EXPECT_EQ(timeoutBoxText(settings).rfind("The Test Failed. Please try again.\r\n\r\n1. Are you "
                                             "sure that your connection",
                                             0),
              0u);
    EXPECT_TRUE(testableMode(2));
    EXPECT_FALSE(testableMode(3));
    EXPECT_FALSE(testableMode(4));
}
