// The timer thread's status check, keep-alive and presence refresh against the reference
// service on loopback, with the own-address detection given by the test.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "account/LoginFlow.h"
#include "app/settings/Settings.h"
#include "app/timer/TimerThread.h"
#include "netconfig/NetworkSettings.h"
#include "tests/account/ServiceFixture.h"
#include "webservice/HttpRequester.h"

using namespace ostrel;
using namespace ostrel::app;

namespace {

class RecordingHost : public TimerHost {
public:
    void PostCommand(int command) override {
        std::lock_guard lock(mutex_);
        commands_.push_back(command);
        changed_.notify_all();
    }
    void PostStatusTimer() override {
        std::lock_guard lock(mutex_);
        ++statusTimers_;
    }
    void PostSettingsChanged() override {
        std::lock_guard lock(mutex_);
        ++settingsChanged_;
    }
    void PostAutoCloseBox(const std::string& caption, const std::string& text,
                          int seconds) override {
        std::lock_guard lock(mutex_);
        boxes_.push_back({caption, text});
        boxSeconds_ = seconds;
    }

    std::vector<int> commands() {
        std::lock_guard lock(mutex_);
        return commands_;
    }
    std::vector<std::pair<std::string, std::string>> boxes() {
        std::lock_guard lock(mutex_);
        return boxes_;
    }
    int statusTimers() {
        std::lock_guard lock(mutex_);
        return statusTimers_;
    }
    int settingsChanged() {
        std::lock_guard lock(mutex_);
        return settingsChanged_;
    }
    int boxSeconds() {
        std::lock_guard lock(mutex_);
        return boxSeconds_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        commands_.clear();
        boxes_.clear();
        statusTimers_ = 0;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> commands_;
    std::vector<std::pair<std::string, std::string>> boxes_;
    int statusTimers_ = 0;
    int settingsChanged_ = 0;
    int boxSeconds_ = 0;
};

class SilentPrompts : public account::LoginPrompts {
    void ShowAutoCloseBox(const std::string&, const std::string&, int, Icon) override {}
    bool AskYesNo(const std::string&, Icon) override { return false; }
    void OpenServicePage(const std::string&) override {}
};

class TimerThreadTest : public account::test::ServiceFixture {
protected:
    void SetUp() override {
        account::test::ServiceFixture::SetUp();
        TimerThreadOptions options;
        options.detectOwnAddress = [this](unsigned) {
            std::unique_lock lock(detectMutex_);
            ++detections_;
            detectChanged_.notify_all();
            detectChanged_.wait(lock, [this] { return !holdDetection_; });
            return detected_;
        };
        options.postPauseMs = 1;
        timer_ = std::make_unique<TimerThread>(host_, session_, online_, requester_, options);
        ASSERT_TRUE(timer_->Start());
    }

    void TearDown() override {
        release();
        timer_.reset();
        account::test::ServiceFixture::TearDown();
    }

    void setDetected(const std::string& address) {
        std::lock_guard lock(detectMutex_);
        detected_ = address;
    }
    void hold() {
        std::lock_guard lock(detectMutex_);
        holdDetection_ = true;
    }
    void release() {
        std::lock_guard lock(detectMutex_);
        holdDetection_ = false;
        detectChanged_.notify_all();
    }
    void waitForDetections(int count) {
        std::unique_lock lock(detectMutex_);
        detectChanged_.wait_for(lock, std::chrono::seconds(10),
                                [&] { return detections_ >= count; });
    }

    // One status check, run to its end.
    void check() {
        const uint32_t before = timer_->StatusChecksRun();
        ASSERT_TRUE(timer_->PostStatusCheck());
        // A second message behind it shows when the first one has finished.
        sync::CSem done(0L);
        struct Mark : CallReportTask {
            explicit Mark(sync::CSem& s) : sem(s) {}
            ~Mark() override { sem.SignalSemaphore(); }
            void Send() override {}
            sync::CSem& sem;
        };
        ASSERT_TRUE(timer_->PostCallReport(std::make_unique<Mark>(done)));
        ASSERT_EQ(done.WaitOnSemaphore(30000), 1);
        ASSERT_GT(timer_->StatusChecksRun(), before);
    }

    void login(account::AccountSession& session, const std::string& user,
               const std::string& password) {
        account::LoginEnvironment environment;
        environment.detectOwnAddress = [](unsigned) { return std::string("127.0.0.1"); };
        environment.loginPauseMs = 1;
        account::LoginFlow flow(session, prompts_, environment);
        ASSERT_EQ(flow.StartLogin(true, user, password), account::LoginFlow::Start::Started);
        flow.WaitWorker(sync::kInfinite);
        ASSERT_EQ(flow.FinishLogin(), account::kLoggedIn);
        flow.EndLogin();
    }

    std::mutex detectMutex_;
    std::condition_variable detectChanged_;
    std::string detected_ = "127.0.0.1";
    bool holdDetection_ = false;
    int detections_ = 0;

    RecordingHost host_;
    SilentPrompts prompts_;
    account::AccountSession session_{"guid-timer"};
    account::OnlineList online_;
    webservice::HttpRequester requester_{20};
    std::unique_ptr<TimerThread> timer_;
};

}  // namespace

TEST_F(TimerThreadTest, FirstReachableCheckTriggersTheAutomaticLoginOnce) {
    settings::write(settings::value::AutoLogin, 1);
    setDetected("127.0.0.2");
    check();
    EXPECT_EQ(host_.commands(), std::vector<int>{kCommandLogin});
    EXPECT_EQ(timer_->NetworkStatusText(), "Your IP:127.0.0.2");
    EXPECT_FALSE(timer_->BehindFirewall());
    check();
    EXPECT_EQ(host_.commands(), std::vector<int>{kCommandLogin});

    // Unreachable, then reachable again: the automatic login comes back.
    setDetected("");
    check();
    EXPECT_EQ(timer_->NetworkStatusText(), "The server cannot be reached");
    setDetected("127.0.0.2");
    check();
    EXPECT_EQ(host_.commands(), (std::vector<int>{kCommandLogin, kCommandLogin}));
}

TEST_F(TimerThreadTest, NoAutomaticLoginWhenItIsOffOrNotAllowed) {
    settings::write(settings::value::AutoLogin, 0);
    check();
    EXPECT_TRUE(host_.commands().empty());

    TimerThreadOptions options;
    options.detectOwnAddress = [](unsigned) { return std::string("127.0.0.1"); };
    RecordingHost other;
    account::AccountSession refused("g");
    refused.autoLoginAllowed.store(false);
    settings::write(settings::value::AutoLogin, 1);
    TimerThread second(other, refused, online_, requester_, options);
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(second.PostStatusCheck());
    second.Quit();
    EXPECT_TRUE(other.commands().empty());
}

TEST_F(TimerThreadTest, UnreachableServiceLogsOffLocallyAndNamesTheProxy) {
    login(session_, "alice", "alice-pw");
    settings::write(settings::value::UseHttpProxy, 1);
    settings::write(settings::value::HttpProxyName, "proxy.invalid");
    setDetected("");
    check();
    EXPECT_EQ(timer_->NetworkStatusText(), "HTTP proxy not reachable");
    EXPECT_EQ(host_.commands(), std::vector<int>{kCommandLocalLogoff});
}

TEST_F(TimerThreadTest, StatusTextFollowsTheNetworkMode) {
    netconfig::NetworkSettings s;
    s.ipType = 2;
    s.configuredIp = "fw.example";
    netconfig::SaveNetworkSettings(s);
    check();
    EXPECT_EQ(timer_->NetworkStatusText(), "Configured IP:fw.example");
    const int changesBefore = host_.settingsChanged();
    s.ipType = 3;
    s.configuredIp = "192.168.1.5";
    netconfig::SaveNetworkSettings(s);
    check();
    EXPECT_EQ(timer_->NetworkStatusText(), "Internal IP:192.168.1.5");
    EXPECT_EQ(host_.settingsChanged(), changesBefore + 1);
    check();
    EXPECT_EQ(host_.settingsChanged(), changesBefore + 1);  // unchanged: no new message
    s.ipType = 1;
    netconfig::SaveNetworkSettings(s);
    check();
    EXPECT_EQ(timer_->NetworkStatusText(), "Firewall IP: Auto");
}

TEST_F(TimerThreadTest, PrivateOnlyMachineIsBehindFirewallAndReportedAsLan) {
    login(session_, "alice", "alice-pw");
    setDetected("LAN");
    check();
    EXPECT_EQ(timer_->NetworkStatusText(), "Behind firewall");
    EXPECT_TRUE(timer_->BehindFirewall());
    EXPECT_EQ(timer_->DetectedAddress(), "LAN");
    const auto presence = service_->presence().online("alice", service_->now());
    ASSERT_TRUE(presence);
    EXPECT_EQ(presence->address, "LAN");
    EXPECT_EQ(presence->ipType, 0);
}

TEST_F(TimerThreadTest, PresenceOfBuddiesReachesTheOnlineList) {
    setBuddies("alice", {"bob"});
    login(session_, "alice", "alice-pw");
    account::AccountSession bob("guid-bob");
    login(bob, "bob", "bob pw");
    check();
    EXPECT_EQ(host_.commands(), std::vector<int>{kCommandRefreshOnline});
    webservice::BuddyPresence found;
    ASSERT_TRUE(online_.FindOnlineBuddy("BOB", found));
    EXPECT_EQ(found.ipaddress, "127.0.0.1");
    EXPECT_EQ(found.version, 6);
}

TEST_F(TimerThreadTest, ServiceEndingTheLoginLogsOffAndShowsItsReply) {
    login(session_, "bob", "bob pw");
    account::AccountSession elsewhere("guid-elsewhere");
    login(elsewhere, "bob", "bob pw");
    check();
    EXPECT_EQ(host_.commands(), std::vector<int>{kCommandLogoff});
    EXPECT_EQ(host_.statusTimers(), 1);
    const auto boxes = host_.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, kLoggedOffCaption);
    EXPECT_EQ(boxes[0].second.substr(0, 1), "#");
    EXPECT_EQ(host_.boxSeconds(), 25);
}

TEST_F(TimerThreadTest, KeepAliveMinusLogsOffSilentlyAndFailureLogsOffLocally) {
    login(session_, "alice", "alice-pw");
    webservice::ServiceDirectory directory = session_.Directory();
    directory.keepAliveScript = "missing.aspx";  // the service answers "-No such script."
    session_.SetDirectory(directory);
    check();
    EXPECT_EQ(host_.commands(), std::vector<int>{kCommandLogoff});
    EXPECT_TRUE(host_.boxes().empty());

    host_.clear();
    directory.server = "127.0.0.1:1";
    session_.SetDirectory(directory);
    check();
    EXPECT_EQ(host_.commands(), std::vector<int>{kCommandLocalLogoff});
}

TEST_F(TimerThreadTest, ThreeRepliesThatAreNotXmlLogOffWithTheBusyBox) {
    login(session_, "alice", "alice-pw");
    webservice::ServiceDirectory directory = session_.Directory();
    directory.onlineUsersScript = "missing.aspx";
    session_.SetDirectory(directory);
    check();
    check();
    EXPECT_TRUE(host_.commands().empty());
    EXPECT_EQ(timer_->BusyCount(), 2u);
    check();
    EXPECT_EQ(host_.commands(), std::vector<int>{kCommandLogoff});
    EXPECT_FALSE(session_.autoLoginAllowed.load());
    const auto boxes = host_.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, kBusyCaption);
    EXPECT_EQ(boxes[0].second.rfind("Server is too busy now.\r\nYou will be logged off.", 0), 0u);

    // A good reply resets the count.
    directory.onlineUsersScript = service::scripts::kOnlineUsers;
    session_.SetDirectory(directory);
    check();
    EXPECT_EQ(timer_->BusyCount(), 0u);
}

TEST_F(TimerThreadTest, RequestsQueuedWhileBusyCollapseIntoOneCheck) {
    hold();
    ASSERT_TRUE(timer_->PostStatusCheck());
    waitForDetections(1);  // the first check now waits in its detection
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(timer_->PostStatusCheck());
    }
    release();
    check();  // its own request joins the five queued ones
    EXPECT_EQ(timer_->StatusChecksRun(), 2u);
    check();
    EXPECT_EQ(timer_->StatusChecksRun(), 3u);
}

TEST_F(TimerThreadTest, ExitStopsChecksAndReportsNeedALogin) {
    int sent = 0;
    int deleted = 0;
    struct Report : CallReportTask {
        Report(int& s, int& d) : sent(s), deleted(d) {}
        ~Report() override { ++deleted; }
        void Send() override { ++sent; }
        int& sent;
        int& deleted;
    };
    ASSERT_TRUE(timer_->PostCallReport(std::make_unique<Report>(sent, deleted)));
    check();
    login(session_, "alice", "alice-pw");
    ASSERT_TRUE(timer_->PostCallReport(std::make_unique<Report>(sent, deleted)));
    session_.exiting.store(true);
    const uint32_t before = timer_->StatusChecksRun();
    ASSERT_TRUE(timer_->PostStatusCheck());
    timer_->Quit();
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(deleted, 2);
    EXPECT_EQ(timer_->StatusChecksRun(), before);
    EXPECT_FALSE(timer_->PostStatusCheck());
}
