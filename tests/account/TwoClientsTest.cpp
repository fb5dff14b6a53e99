// Two clients on one reference service: each logs in, its timer thread's cycle brings the
// other's presence, and one calls the other at the address and port of its online entry.
#include <gtest/gtest.h>

#include "account/LoginFlow.h"
#include "account/OnlineList.h"
#include "app/settings/Settings.h"
#include "app/timer/TimerThread.h"
#include "engine/NetCore.h"
#include "tests/account/ServiceFixture.h"
#include "tests/engine/RecordingSink.h"
#include "webservice/HttpRequester.h"

using namespace ostrel;
using namespace ostrel::account;

namespace {

struct NoPrompts : LoginPrompts {
    void ShowAutoCloseBox(const std::string&, const std::string&, int, Icon) override {}
    bool AskYesNo(const std::string&, Icon) override { return false; }
    void OpenServicePage(const std::string&) override {}
};

struct CommandLog : app::TimerHost {
    void PostCommand(int command) override {
        std::lock_guard lock(mutex);
        commands.push_back(command);
    }
    void PostStatusTimer() override {}
    void PostSettingsChanged() override {}
    void PostAutoCloseBox(const std::string&, const std::string&, int) override {}
    std::mutex mutex;
    std::vector<int> commands;
};

// One client without windows: its session, online list, engine and timer thread.
struct Client {
    Client(const std::string& name, enginetest::RecordingSink::Answer answer)
        : session("guid-" + name),
          sink(answer),
          engine("guid-" + name, 0, sink, name, 6, enginetest::fastTimings()) {}

    void login(const std::string& user, const std::string& password) {
        // Both clients share one settings store here; each announces its own port.
        settings::write(settings::value::ListeningPort, engine.listeningPort());
        LoginEnvironment environment;
        environment.detectOwnAddress = [](unsigned) { return std::string("127.0.0.1"); };
        environment.loginPauseMs = 1;
        LoginFlow flow(session, prompts, environment);
        ASSERT_EQ(flow.StartLogin(true, user, password), LoginFlow::Start::Started);
        flow.WaitWorker(sync::kInfinite);
        ASSERT_EQ(flow.FinishLogin(), kLoggedIn);
        flow.EndLogin();
    }

    // One periodic cycle, run to its end (the quit waits for the thread).
    void cycle() {
        settings::write(settings::value::ListeningPort, engine.listeningPort());
        auto thread = std::make_unique<app::TimerThread>(
            host, session, online, requester,
            app::TimerThreadOptions{[](unsigned) { return std::string("127.0.0.1"); }, 1});
        ASSERT_TRUE(thread->Start());
        ASSERT_TRUE(thread->PostStatusCheck());
        thread->Quit();
    }

    AccountSession session;
    OnlineList online;
    NoPrompts prompts;
    CommandLog host;
    webservice::HttpRequester requester{20};
    enginetest::RecordingSink sink;
    engine::NetCore engine;
};

class TwoClientsTest : public account::test::ServiceFixture {};

}  // namespace

TEST_F(TwoClientsTest, BuddiesSeeEachOtherAndOneCallsTheOtherFromTheOnlineList) {
    setBuddies("alice", {"Bob"});
    setBuddies("bob", {"alice"});
    Client alice("alice", enginetest::RecordingSink::Answer::Leave);
    Client bob("bob", enginetest::RecordingSink::Answer::Accept);
    ASSERT_TRUE(alice.engine.isListening());
    ASSERT_TRUE(bob.engine.isListening());

    alice.login("alice", "alice-pw");
    bob.login("bob", "bob pw");
    bob.cycle();
    alice.cycle();

    webservice::BuddyPresence seen;
    ASSERT_TRUE(bob.online.FindOnlineBuddy("alice", seen));
    EXPECT_EQ(seen.listening_port, alice.engine.listeningPort());
    ASSERT_TRUE(alice.online.FindOnlineBuddy("Bob", seen));
    EXPECT_EQ(seen.listening_port, bob.engine.listeningPort());
    Reachability look;
    ASSERT_TRUE(ReachabilityOf(seen, look));
    EXPECT_EQ(look.icon, PresenceIcon::ReadyForCalls);
    EXPECT_EQ(alice.host.commands, std::vector<int>{app::kCommandRefreshOnline});

    // Talk from the online list: the call goes where the presence entry says.
    engine::ConnectionRequest request;
    request.address = seen.ipaddress;
    request.port = static_cast<uint16_t>(seen.listening_port);
    request.expectedUser = seen.userid;
    request.confirmUser = true;
    ASSERT_TRUE(alice.engine.connect(request));
    EXPECT_TRUE(alice.sink.waitFor(engine::NotificationCode::CallActive, 2000));
    EXPECT_TRUE(bob.sink.waitFor(engine::NotificationCode::CallActive, 2000));
    ASSERT_EQ(bob.engine.connectedPeers().size(), 1u);
    EXPECT_EQ(bob.engine.connectedPeers()[0].description, "alice");
    alice.engine.stop();
    bob.engine.stop();
}
