// Login and logoff against the reference service on loopback (and a scripted stand-in where
// the service would never answer that way).
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "account/LoginFlow.h"
#include "app/settings/Settings.h"
#include "tests/account/ServiceFixture.h"
#include "tests/webservice/LocalHttpServer.h"
#include "tests/webservice/SilentListener.h"
#include "webservice/ServiceDirectory.h"

using namespace ostrel;
using namespace ostrel::account;

namespace {

// Records what the login thread asks to show, answering questions as told.
class RecordingPrompts : public LoginPrompts {
public:
    struct Box {
        std::string caption;
        std::string text;
        int seconds;
        Icon icon;
    };
    void ShowAutoCloseBox(const std::string& caption, const std::string& text, int seconds,
                          Icon icon) override {
        std::lock_guard lock(mutex);
        boxes.push_back({caption, text, seconds, icon});
    }
    bool AskYesNo(const std::string& text, Icon) override {
        std::lock_guard lock(mutex);
        questions.push_back(text);
        return answerYes;
    }
    void OpenServicePage(const std::string& url) override {
        std::lock_guard lock(mutex);
        pages.push_back(url);
    }

    std::mutex mutex;
    std::vector<Box> boxes;
    std::vector<std::string> questions;
    std::vector<std::string> pages;
    bool answerYes = true;
};

LoginEnvironment fastEnvironment(std::string detected = "127.0.0.1") {
    LoginEnvironment environment;
    environment.detectOwnAddress = [detected](unsigned) { return detected; };
    environment.loginPauseMs = 1;
    return environment;
}

// The window thread's part: start, wait in slices, finish.
uint32_t runLogin(LoginFlow& flow, bool interactive, const std::string& user,
                  const std::string& password) {
    if (flow.StartLogin(interactive, user, password) != LoginFlow::Start::Started) {
        return 0xFFFF;
    }
    while (!flow.WaitWorker(10)) {
    }
    const uint32_t state = flow.FinishLogin();
    flow.EndLogin();
    return state;
}

uint32_t runLogoff(LoginFlow& flow, bool quick = false) {
    if (flow.StartLogoff(true, quick) != LoginFlow::Start::Started) {
        return 0xFFFF;
    }
    while (!flow.WaitWorker(5)) {
    }
    return flow.FinishLogoff();
}

class LoginFlowTest : public account::test::ServiceFixture {
protected:
    void SetUp() override {
        account::test::ServiceFixture::SetUp();
        LoginFlow::ResetFirstLoginForTesting();
    }
    RecordingPrompts prompts_;
};

}  // namespace

TEST_F(LoginFlowTest, TwoAccountsLogInAndOff) {
    setBuddies("alice", {"bob", "Carol"});
    AccountSession aliceSession("guid-alice");
    AccountSession bobSession("guid-bob");
    LoginFlow alice(aliceSession, prompts_, fastEnvironment());
    LoginFlow bob(bobSession, prompts_, fastEnvironment());

    EXPECT_EQ(runLogin(alice, true, "  alice ", "alice-pw"), kLoggedIn);
    EXPECT_EQ(runLogin(bob, true, "bob", "bob pw"), kLoggedIn);
    EXPECT_TRUE(aliceSession.LoggedIn());
    EXPECT_TRUE(bobSession.LoggedIn());
    EXPECT_EQ(aliceSession.LoggedInCredentials().user, "alice");
    EXPECT_EQ(aliceSession.Buddies().Snapshot(), (std::vector<std::string>{"bob", "Carol"}));
    EXPECT_TRUE(aliceSession.firstRefresh.load());
    EXPECT_EQ(aliceSession.Directory().server, webHost_);
    EXPECT_TRUE(isOnline("bob"));

    EXPECT_EQ(runLogoff(bob), kLoggedOff);
    EXPECT_FALSE(bobSession.LoggedIn());
    EXPECT_FALSE(isOnline("bob"));
    EXPECT_TRUE(aliceSession.LoggedIn());
    EXPECT_EQ(runLogoff(alice), kLoggedOff);
    EXPECT_TRUE(prompts_.boxes.empty());
    // The buddy list is kept after logoff.
    EXPECT_EQ(aliceSession.Buddies().Size(), 2u);
}

TEST_F(LoginFlowTest, RefusedLoginShowsTheReasonAndStopsAutomaticLogin) {
    AccountSession session("guid-1");
    LoginFlow flow(session, prompts_, fastEnvironment());
    EXPECT_EQ(runLogin(flow, false, "alice", "wrong"), kLoginRefused);
    EXPECT_FALSE(session.LoggedIn());
    EXPECT_FALSE(session.autoLoginAllowed.load());
    ASSERT_EQ(prompts_.boxes.size(), 1u);
    EXPECT_EQ(prompts_.boxes[0].caption, kRefusedLoginCaption);
    EXPECT_EQ(prompts_.boxes[0].seconds, 25);
    EXPECT_EQ(prompts_.boxes[0].icon, LoginPrompts::Icon::Error);
    EXPECT_FALSE(prompts_.boxes[0].text.empty());
}

TEST_F(LoginFlowTest, EmptyUserNameIsRefusedBeforeAnythingHappens) {
    AccountSession session("guid-1");
    LoginFlow flow(session, prompts_, fastEnvironment());
    EXPECT_EQ(flow.StartLogin(true, "   ", "pw"), LoginFlow::Start::EmptyUserName);
    EXPECT_FALSE(flow.InProgress());
    // The lock was not taken.
    ASSERT_EQ(session.Lock().WaitOnSemaphore(10), 1);
    session.Lock().SignalSemaphore();
}

TEST_F(LoginFlowTest, LoginWhileTheLockIsHeldIsIgnored) {
    AccountSession session("guid-1");
    LoginFlow flow(session, prompts_, fastEnvironment());
    ASSERT_EQ(session.Lock().WaitOnSemaphore(10), 1);  // as the exit sequence would
    EXPECT_EQ(flow.StartLogin(true, "alice", "alice-pw"), LoginFlow::Start::Busy);
    EXPECT_EQ(flow.StartLogoff(true, false), LoginFlow::Start::Busy);
    session.Lock().SignalSemaphore();
    EXPECT_EQ(runLogin(flow, true, "alice", "alice-pw"), kLoggedIn);
}

TEST_F(LoginFlowTest, StoredCredentialsFollowAutoLogin) {
    AccountSession session("guid-1");
    LoginFlow flow(session, prompts_, fastEnvironment());
    settings::write(settings::value::User, "old");
    settings::write(settings::value::Pass, "old");
    settings::write(settings::value::AutoLogin, 0);
    ASSERT_EQ(runLogin(flow, true, "alice", "alice-pw"), kLoggedIn);
    EXPECT_EQ(settings::read(settings::value::User), "");
    EXPECT_EQ(settings::read(settings::value::Pass), "");

    settings::write(settings::value::AutoLogin, 1);
    ASSERT_EQ(runLogin(flow, true, "alice", "alice-pw"), kLoggedIn);
    EXPECT_EQ(settings::read(settings::value::User), "alice");
    EXPECT_EQ(settings::read(settings::value::Pass), "alice-pw");

    // A refused login stores nothing.
    ASSERT_EQ(runLogin(flow, true, "bob", "nope"), kLoginRefused);
    EXPECT_EQ(settings::read(settings::value::User), "alice");
}

TEST_F(LoginFlowTest, NoConnectionOrNoServerEndsWithTheirStates) {
    AccountSession session("guid-1");
    LoginFlow noRoute(session, prompts_, fastEnvironment(""));
    EXPECT_EQ(runLogin(noRoute, true, "alice", "alice-pw"), kLoginNoConnection);

    webservice::test::SilentListener silent;  // accepts, never answers
    LoginEnvironment environment = fastEnvironment();
    environment.webHost = "127.0.0.1:1";
    LoginFlow noServer(session, prompts_, environment);
    EXPECT_EQ(runLogin(noServer, true, "alice", "alice-pw"), kLoginServerUnreachable);
    EXPECT_FALSE(session.LoggedIn());
    // Neither stops the automatic login.
    EXPECT_TRUE(session.autoLoginAllowed.load());
    EXPECT_TRUE(prompts_.boxes.empty());
}

TEST_F(LoginFlowTest, LogoffDuringExitGivesUpAfterFiveSeconds) {
    AccountSession session("guid-1");
    LoginFlow flow(session, prompts_, fastEnvironment());
    ASSERT_EQ(runLogin(flow, true, "alice", "alice-pw"), kLoggedIn);

    // The service stops answering; the exit holds the lock itself.
    webservice::test::SilentListener silent;
    webservice::ServiceDirectory directory = session.Directory();
    directory.server = silent.HostText();
    session.SetDirectory(directory);
    ASSERT_EQ(session.Lock().WaitOnSemaphore(5), 1);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(flow.StartLogoff(true, true, true), LoginFlow::Start::Started);
    while (!flow.WaitWorker(5)) {
    }
    EXPECT_EQ(flow.FinishLogoff(), kLogoffFailed);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::seconds(4));
    EXPECT_LT(took, std::chrono::seconds(8));
    EXPECT_FALSE(session.LoggedIn());
    // The exit still holds the lock: no login can start behind it.
    EXPECT_EQ(flow.StartLogin(true, "alice", "alice-pw"), LoginFlow::Start::Busy);
    session.Lock().SignalSemaphore();
}

TEST_F(LoginFlowTest, LogoffWithoutConnectionOrWithoutContactIsLocal) {
    AccountSession session("guid-1");
    std::string detected = "127.0.0.1";
    LoginEnvironment environment;
    environment.detectOwnAddress = [&detected](unsigned) { return detected; };
    environment.loginPauseMs = 1;
    LoginFlow flow(session, prompts_, environment);
    ASSERT_EQ(runLogin(flow, true, "alice", "alice-pw"), kLoggedIn);
    detected.clear();
    EXPECT_EQ(runLogoff(flow), kLogoffNoConnection);
    EXPECT_FALSE(session.LoggedIn());
    EXPECT_TRUE(isOnline("alice"));  // nothing was sent

    detected = "127.0.0.1";
    ASSERT_EQ(runLogin(flow, true, "alice", "alice-pw"), kLoggedIn);
    ASSERT_EQ(flow.StartLogoff(false, false), LoginFlow::Start::Started);
    EXPECT_FALSE(session.LoggedIn());
    EXPECT_FALSE(flow.WorkerRunning());
}

// The service's messages, from a stand-in that answers the directory and the login.
class ServiceMessagesTest : public ::testing::Test {
protected:
    void SetUp() override { LoginFlow::ResetFirstLoginForTesting(); }

    void serve(std::string loginReply) {
        loginReply_ = std::move(loginReply);
        server_ = std::make_unique<webservice::test::LocalHttpServer>(
            [this](const httplib::Request& request, httplib::Response& response) {
                if (request.path.find("OstrelServer.asp") != std::string::npos) {
                    response.set_content(directory(), "text/plain");
                } else {
                    response.set_content(loginReply_, "text/xml");
                }
            });
        environment_ = fastEnvironment();
        environment_.webHost = server_->HostText();
    }

    std::string directory() const {
        std::string text = "[OSTREL]\nCURRENT IP=" + server_->HostText() + "\nPATH=app\n";
        for (const char* key :
             {"logmein_file", "logmeoff_file", "iamup_file", "syncblist_file", "getuserlist_file",
              "iamtalking_file", "fwtest_file", "sync_callingcards_file", "log_problem_file"}) {
            text += std::string(key) + "=" + key + ".aspx\n";
        }
        return text;
    }

    webservice::test::ScopedConfigDir config_;
    std::string loginReply_;
    std::unique_ptr<webservice::test::LocalHttpServer> server_;
    LoginEnvironment environment_;
    RecordingPrompts prompts_;
};

TEST_F(ServiceMessagesTest, PopupPageAloneOpensOnlyThePopup) {
    serve(
        "<?xml version=\"1.0\"?><login><errorcode>0</errorcode><show_user_message/>"
        "<url_to_navigate>http://x/nav</url_to_navigate><popup_url>http://x/pop</popup_url>"
        "<userid>bob</userid></login>");
    AccountSession session("g");
    LoginFlow flow(session, prompts_, environment_);
    ASSERT_EQ(runLogin(flow, false, "alice", "pw"), kLoggedIn);  // first login of the run
    EXPECT_TRUE(prompts_.questions.empty());
    EXPECT_EQ(prompts_.pages, std::vector<std::string>{"http://x/pop"});
}

TEST_F(ServiceMessagesTest, AutomaticLoginAfterTheFirstKeepsMessagesButNotRefusals) {
    serve(
        "<?xml version=\"1.0\"?><login><errorcode>0</errorcode>"
        "<show_user_message>News?</show_user_message><url_to_navigate>http://x/nav"
        "</url_to_navigate><popup_url>http://x/pop</popup_url></login>");
    AccountSession session("g");
    LoginFlow flow(session, prompts_, environment_);
    ASSERT_EQ(runLogin(flow, true, "alice", "pw"), kLoggedIn);
    EXPECT_EQ(prompts_.questions, std::vector<std::string>{"News?"});
    EXPECT_EQ(prompts_.pages, (std::vector<std::string>{"http://x/nav", "http://x/pop"}));

    prompts_.questions.clear();
    prompts_.pages.clear();
    ASSERT_EQ(runLogin(flow, false, "alice", "pw"), kLoggedIn);
    EXPECT_TRUE(prompts_.questions.empty());
    EXPECT_TRUE(prompts_.pages.empty());

    loginReply_ =
        "<?xml version=\"1.0\"?><login><errorcode>00</errorcode>"
        "<err_description>Bad password</err_description>"
        "<show_user_message>Reset?</show_user_message></login>";
    ASSERT_EQ(runLogin(flow, false, "alice", "pw"), kLoginRefused);
    ASSERT_EQ(prompts_.boxes.size(), 1u);
    EXPECT_EQ(prompts_.boxes[0].text, "Bad password");
    EXPECT_TRUE(prompts_.questions.empty());
}

TEST_F(ServiceMessagesTest, ReplyThatIsNotXmlIsTheBusyServer) {
    serve("Server Too Busy");
    AccountSession session("g");
    LoginFlow flow(session, prompts_, environment_);
    EXPECT_EQ(runLogin(flow, true, "alice", "pw"), kLoginServerBusy);
    EXPECT_FALSE(session.autoLoginAllowed.load());
    ASSERT_EQ(prompts_.boxes.size(), 1u);
    EXPECT_EQ(prompts_.boxes[0].caption, kBusyLoginCaption);
    EXPECT_EQ(prompts_.boxes[0].text, kBusyLoginText);
    EXPECT_EQ(prompts_.boxes[0].seconds, 10);
}
