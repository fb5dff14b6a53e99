// The client's main window as a user drives it, on the offscreen platform with file audio,
// against a real talvero-service on loopback and ostrel-cli buddies: log in, see a buddy
// online, call it from the online list, hear each other, record and play back the call,
// report it, and a telephone call through talvero-gateway with the card's digits.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "ToneAudio.h"
#include "account/ui/CLoginPage.h"
#include "account/ui/COnlinePage.h"
#include "app/ui/AccountParts.h"
#include "app/settings/Settings.h"
#include "app/ui/COstrelDlg.h"
#include "app/ui/ClientParts.h"
#include "app/ui/DirectCallPage.h"
#include "app/ui/IncomingCallDialog.h"
#include "app/ui/PhoneParts.h"
#include "phone/ui/CTelephonePage.h"
#include "app/ui/RecordingParts.h"
#include "app/ui/WindowNotices.h"
#include "netconfig/ui/PortForwardTestDialog.h"
#include "platform/Platform.h"
#include "recording/ui/RecordPlayGroup.h"
#include "tests/app/TestFolders.h"
#include "tests/app/WindowFixture.h"
#include "tests/e2e/EndToEnd.h"
#include "tests/phone/GatewayProcess.h"
#include "tests/recording/RecordingTestFiles.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TestService.h"
#include "tests/support/ToneMeter.h"
#include "service/AccountStore.h"

using namespace std::chrono_literals;
using namespace enginetest;
using ostrel::app::COstrelDlg;
using ostrel::test::ChildProcess;
using ostrel::test::toneLevel;
using ostrel::test::e2e::kAbsent;
using ostrel::test::e2e::kBin;
using ostrel::test::e2e::kHeard;

namespace {

constexpr double kAliceHz = 1400;
constexpr double kBobHz = 600;

// The window's audio files: read once per process, so one pair serves every test.
struct WindowAudio {
    Scratch folder;
    std::string says = folder.file("alice-says.wav");
    std::string heard = folder.file("alice-heard.wav");
    WindowAudio() {
        writeWav(says, tone(kAliceHz, 60));
        ::setenv("OSTREL_CAPTURE_FILE", says.c_str(), 1);
        ::setenv("OSTREL_PLAYBACK_FILE", heard.c_str(), 1);
    }
};

WindowAudio& windowAudio() {
    static auto* audio = new WindowAudio;
    return *audio;
}

class ClientWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        windowAudio();
        ASSERT_TRUE(service_.running()) << service_.error();
        for (const char* name : {"alice", "bob", "carol"}) {
            ASSERT_TRUE(service_.addUser(name, std::string(name) + "-pw"));
        }
        auto& accounts = service_->accounts();
        ASSERT_TRUE(accounts.setBuddies(accounts.findUser("alice")->id, {"bob", "carol"}));
        ::setenv("OSTREL_SERVICE_HOST", service_.webHost().c_str(), 1);
        recordings_ = scratch_.file("recordings");
        std::filesystem::create_directories(recordings_);
        ostrel::settings::write(ostrel::settings::value::RecordingsDirectory,
                                     recordings_);
        // Not the standard port: other programs of the suite may run at the same time.
        ostrel::settings::write(ostrel::settings::value::UseAlternateListeningPort, 1);
        ostrel::settings::write(ostrel::settings::value::ListeningPort, apptest::freeUdpPort());
    }

    void TearDown() override {
        window_.reset();
        ostrel::test::processEventsUntil([] { return false; }, 20);
        ::unsetenv("OSTREL_SERVICE_HOST");
    }

    // A buddy in its own process and settings folder, speaking `hz`, answering every call.
    std::unique_ptr<ChildProcess> buddy(const std::string& user, double hz) {
        const std::string says = scratch_.file(user + "-says.wav");
        writeWav(says, tone(hz, 60));
        std::filesystem::create_directories(scratch_.file(user + "-config"));
        const std::string command =
            "exec " + kBin + "/ostrel-cli --port 0 --user " + user + " --service " +
            service_.webHost() + " --login " + user + ":" + user +
            "-pw --answer accept --keepalive 1 2>&1";
        auto child = std::make_unique<ChildProcess>(
            "/bin/sh", std::vector<std::string>{"-c", command},
            std::map<std::string, std::string>{
                {"OSTREL_CAPTURE_FILE", says},
                {"OSTREL_PLAYBACK_FILE", scratch_.file(user + "-heard.wav")},
                {"OSTREL_CONFIG_DIR", scratch_.file(user + "-config")},
                {"TMPDIR", scratch_.file(user + "-config")}});
        const bool in =
            child
                ->waitForLine(
                    [](const std::string& l) { return l.starts_with("ostrel-cli: logged in"); },
                    20s)
                .has_value();
        EXPECT_TRUE(in) << user << " did not log in";
        return child;
    }

    void openWindow() {
        COstrelDlg::Options options;
        options.instanceGuid = ostrel::platform::newGuidText();
        options.useDesktop = false;
        options.useMixer = false;
        options.parts.detectOwnAddress = [](unsigned) { return std::string("127.0.0.1"); };
        window_ = std::make_unique<COstrelDlg>(std::move(options));
        window_->initialise(false);
    }

    ostrel::account::CLoginPage& loginPage() {
        return *window_->parts()->account().loginPage();
    }
    ostrel::account::COnlinePage& onlinePage() {
        return *window_->parts()->account().onlinePage();
    }

    void logIn(const QString& user, const QString& password) {
        loginPage().userEdit()->setText(user);
        loginPage().passwordEdit()->setText(password);
        loginPage().loginButton()->click();
    }

    QTreeWidgetItem* onlineBuddy(const QString& name) {
        QTreeWidgetItem* root = onlinePage().onlineRoot();
        for (int i = 0; i < root->childCount(); ++i) {
            if (root->child(i)->text(0).startsWith(name)) {
                return root->child(i);
            }
        }
        return nullptr;
    }

    bool waitFor(const std::function<bool()>& done, int ms = 10000) {
        return ostrel::test::processEventsUntil(done, ms);
    }

    ostrel::test::QtAppFirst app_;
    apptest::TestFolders folders_;
    apptest::BoxWatcher boxes_;
    ostrel::test::TestService service_;
    Scratch scratch_;
    std::string recordings_;
    std::unique_ptr<COstrelDlg> window_;
};

}  // namespace

TEST_F(ClientWindowTest, LogsInCallsAnOnlineBuddyRecordsPlaysBackAndReportsTheCall) {
    auto bob = buddy("bob", kBobHz);
    openWindow();
    EXPECT_EQ(window_->windowTitle(), "Talvero-Please Login");

    logIn("alice", "alice-pw");
    ASSERT_TRUE(waitFor([&] { return window_->isLoggedIn(); })) << boxes_.texts.join("|").toStdString();
    EXPECT_EQ(window_->windowTitle(), "Talvero-alice");
    EXPECT_EQ(window_->statusText(0).toStdString(), service_.webHost());

    // The login's first presence refresh shows bob online and carol offline.
    ASSERT_TRUE(waitFor([&] { return onlineBuddy("bob") != nullptr; }));
    EXPECT_EQ(onlineBuddy("carol"), nullptr);
    EXPECT_TRUE(onlinePage().onlineRoot()->text(0).startsWith("Online (1/2)"))
        << onlinePage().onlineRoot()->text(0).toStdString();

    // A double click on bob calls him; he answers and both hear the other.
    QTreeWidget* tree = onlinePage().tree();
    emit tree->itemDoubleClicked(onlineBuddy("bob"), 0);
    ASSERT_TRUE(waitFor([&] { return window_->isCurrent(); }))
        << boxes_.texts.join("|").toStdString();
    ASSERT_EQ(window_->partyList()->topLevelItemCount(), 1);
    EXPECT_EQ(window_->partyList()->topLevelItem(0)->text(0), "bob");

    // The join was reported: the service holds the call with bob in it.
    ASSERT_TRUE(waitFor([&] {
        const auto call = service_->reports().call(1);
        return call && call->parties.size() == 1;
    }));
    const auto call = service_->reports().call(1);
    EXPECT_EQ(call->userName, "alice");
    EXPECT_EQ(call->parties[0].remoteUser, "bob");
    EXPECT_FALSE(call->conferenceGuid.empty());

    // Alice records the conversation; ending the call saves it in her recordings folder.
    ostrel::recording::ui::RecordPlayGroup* group = window_->parts()->recording().group();
    ASSERT_TRUE(group->recButton()->isEnabled());
    group->recButton()->click();
    ostrel::test::processEventsUntil([] { return false; }, 3000);
    window_->command(COstrelDlg::kHangUpHotkey);
    EXPECT_FALSE(window_->isCallActive());
    std::vector<std::string> saved;
    for (const auto& entry : std::filesystem::directory_iterator(recordings_)) {
        saved.push_back(entry.path().string());
    }
    ASSERT_EQ(saved.size(), 1u);
    const auto recorded = ostrel::recording::testing::decodeRecording(saved[0]);
    ASSERT_GE(recorded.size(), 8u * 1600) << "at least two seconds were recorded";
    EXPECT_GT(toneLevel(recorded, kAliceHz), kHeard);
    EXPECT_GT(toneLevel(recorded, kBobHz), kHeard);
    ASSERT_TRUE(bob->waitForLine([](const std::string& l) { return l.starts_with("26 "); }, 10s))
        << "bob saw the call end";

    const auto aliceHeard = audiblePart(readWav(windowAudio().heard));
    const auto bobHeard = audiblePart(readWav(scratch_.file("bob-heard.wav")));
    EXPECT_GT(toneLevel(aliceHeard, kBobHz), kHeard);
    EXPECT_LT(toneLevel(aliceHeard, kAliceHz), kAbsent);
    EXPECT_GT(toneLevel(bobHeard, kAliceHz), kHeard);
    EXPECT_LT(toneLevel(bobHeard, kBobHz), kAbsent);

    // The saved call plays back in the window, the slider moving to its end.
    group->loadRecording(QString::fromStdString(saved[0]));
    group->playButton()->click();
    ASSERT_TRUE(waitFor([&] { return group->slider()->value() > 0; }));
    ASSERT_TRUE(waitFor([&] { return group->slider()->value() == 100; }, 15000));
    EXPECT_TRUE(waitFor([&] { return !group->player().isPlaying(); }));

    // Log Off from the menu goes back to the login page.
    window_->menuAction("&Log Off")->trigger();
    ASSERT_TRUE(waitFor([&] { return !window_->isLoggedIn(); }));
    EXPECT_EQ(window_->windowTitle(), "Talvero-Please Login");
}

TEST_F(ClientWindowTest, AWrongPasswordLeavesTheWindowLoggedOff) {
    openWindow();
    logIn("alice", "not-her-password");
    ASSERT_TRUE(waitFor([&] { return !boxes_.texts.isEmpty(); }));
    EXPECT_FALSE(window_->isLoggedIn());
    EXPECT_EQ(window_->windowTitle(), "Talvero-Please Login");
}

TEST_F(ClientWindowTest, AConferenceOfThreeIsReportedWithBothParties) {
    auto bob = buddy("bob", kBobHz);
    auto carol = buddy("carol", 900);
    openWindow();
    logIn("alice", "alice-pw");
    ASSERT_TRUE(waitFor([&] { return onlineBuddy("bob") && onlineBuddy("carol"); }));

    onlinePage().tree()->setCurrentItem(onlineBuddy("bob"));
    window_->showPage(COstrelDlg::Page::Online);
    window_->talkButton()->click();
    ASSERT_TRUE(waitFor([&] { return window_->isCurrent(); }));

    // Conference with carol selected adds her to the same call.
    onlinePage().tree()->setCurrentItem(onlineBuddy("carol"));
    window_->conferenceButton()->click();
    ASSERT_TRUE(waitFor([&] { return window_->partyList()->topLevelItemCount() == 2; }));
    ASSERT_TRUE(waitFor([&] {
        const auto call = service_->reports().call(1);
        return call && call->parties.size() == 2;
    }));
    EXPECT_FALSE(service_->reports().call(2)) << "one conversation, one report";

    // Carol ends her program, which hangs up: her row goes, bob stays, and the call goes on.
    ASSERT_TRUE(
        carol->waitForLine([](const std::string& l) { return l.starts_with("23 "); }, 10s));
    carol->stop();
    ASSERT_TRUE(waitFor([&] { return window_->partyList()->topLevelItemCount() == 1; }, 20000));
    EXPECT_EQ(window_->partyList()->topLevelItem(0)->text(0), "bob");
    EXPECT_TRUE(window_->isCallActive());
    window_->command(COstrelDlg::kHangUpHotkey);
}

TEST_F(ClientWindowTest, ALoginElsewhereLogsTheWindowOffAtItsNextKeepAlive) {
    openWindow();
    logIn("alice", "alice-pw");
    ASSERT_TRUE(waitFor([&] { return window_->isLoggedIn(); }));

    // The same account logs in from another computer; the service answers our keep-alive "#".
    auto elsewhere = buddy("alice", kAliceHz);
    window_->parts()->account().timerThread()->PostStatusCheck();
    ASSERT_TRUE(waitFor([&] { return !window_->isLoggedIn(); }, 20000));
    EXPECT_EQ(window_->windowTitle(), "Talvero-Please Login");
    EXPECT_TRUE(waitFor([&] {
        return std::any_of(boxes_.captions.begin(), boxes_.captions.end(), [](const QString& c) {
            return c.startsWith("You are logged off from Talvero.");
        });
    })) << boxes_.captions.join("|").toStdString();
}

TEST_F(ClientWindowTest, ThePortForwardTestFromTheMenuProvesTheListeningPortReachable) {
    openWindow();
    const QString listening = window_->statusText(2);
    ASSERT_TRUE(listening.startsWith("Listening UDP Port: "));

    // The dialog comes up modal: start the test, and close it once the result box was read.
    bool started = false;
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<ostrel::netconfig::PortForwardTestDialog*>(
            QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        if (!started) {
            started = true;
            dialog->startButton()->click();  // returns when the test is over
            return;
        }
        if (!dialog->isTestRunning()) {
            dialog->closeButton()->click();
        }
    });
    driver.start();
    window_->menuAction("&Test Network Settings")->trigger();
    driver.stop();

    EXPECT_TRUE(started);
    EXPECT_TRUE(boxes_.sawText("Your computer is reachable and can receive incoming calls.")) << boxes_.texts.join("|").toStdString();
    EXPECT_EQ(window_->statusText(2), listening);
    EXPECT_TRUE(window_->hasEngine());
}

TEST_F(ClientWindowTest, ATelephoneCallGoesThroughTheGatewayWithTheLoginsCardDigits) {
    phonetest::GatewayProcess gateway({"--ring-ms", "50"});
    ASSERT_TRUE(gateway.ok());
    // The service knows the gateway as a provider and alice's default card for it.
    ostrel::service::Provider provider;
    provider.id = 3;
    provider.displayName = "Loopback Telephone";
    provider.hosts = {{"127.0.0.1", gateway.lookupPort()}};
    provider.params = {{"enable_auto_dtmf", "1"},
                       {"delay_for_acct_number", "50"},
                       {"delay_for_pin_number", "100"},
                       {"delay_for_phone_number", "150"}};
    auto& accounts = service_->accounts();
    ASSERT_EQ(accounts.addProvider(provider), ostrel::service::AddResult::Added);
    ASSERT_TRUE(accounts.setCards(accounts.findUser("alice")->id, {{3, "987654", "1234", 1}}));

    openWindow();
    logIn("alice", "alice-pw");
    ASSERT_TRUE(waitFor([&] { return window_->isLoggedIn(); }));
    window_->showPage(COstrelDlg::Page::Telephone);
    window_->parts()->phone().page()->setNumberText(QStringLiteral("+1 (555) 010-7788"));
    window_->talkButton()->click();

    ASSERT_TRUE(waitFor([&] { return window_->isCurrent(); }))
        << boxes_.texts.join("|").toStdString();
    EXPECT_TRUE(gateway.waitFor("bridge-type=1"));
    EXPECT_TRUE(gateway.waitFor("digits 987654 at "));
    EXPECT_TRUE(gateway.waitFor("digits 1234 at "));
    EXPECT_TRUE(gateway.waitFor("digits 15550107788 at "));
    ASSERT_EQ(window_->partyList()->topLevelItemCount(), 1);
    // The gateway names itself after the number it bridges to.
    const std::string party = window_->partyList()->topLevelItem(0)->text(0).toStdString();
    EXPECT_NE(party.find("15550107788"), std::string::npos) << party;

    // The dial pad sends a key to the gateway during the call.
    window_->parts()->phone().page()->pressDialKey('5');
    EXPECT_TRUE(gateway.waitFor("digits 5 at "));

    window_->hangUpButton()->click();  // asks first; the watcher answers Yes
    EXPECT_TRUE(waitFor([&] { return !window_->isCallActive(); }));
    EXPECT_TRUE(gateway.waitFor("hangup "));
}

TEST_F(ClientWindowTest, ExitWhileLoggedInLogsOffAtTheServiceFirst) {
    openWindow();
    logIn("alice", "alice-pw");
    ASSERT_TRUE(waitFor([&] { return window_->isLoggedIn(); }));
    const auto nowMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    ASSERT_TRUE(service_->presence().online("alice", nowMs()));

    bool exitRequested = false;
    QObject::connect(window_.get(), &COstrelDlg::exitRequested, [&] { exitRequested = true; });
    window_->menuAction("E&xit")->trigger();
    ASSERT_TRUE(waitFor([&] { return exitRequested; }));
    EXPECT_TRUE(window_->exitFlag());
    EXPECT_FALSE(window_->isLoggedIn());
    EXPECT_FALSE(service_->presence().online("alice", nowMs()));
}

TEST_F(ClientWindowTest, TwoClientsOnTwoPortsCallEachOtherByAddress) {
    // Two windows, each with its own listening port, logged in as alice and bob.
    const uint16_t bobPort = apptest::freeUdpPort();
    auto bob = [&] {
        ostrel::settings::write(ostrel::settings::value::ListeningPort, bobPort);
        COstrelDlg::Options options;
        options.instanceGuid = ostrel::platform::newGuidText();
        options.useDesktop = false;
        options.useMixer = false;
        options.parts.timerThread = false;
        auto window = std::make_unique<COstrelDlg>(std::move(options));
        window->initialise(true);
        return window;
    }();
    ASSERT_EQ(bob->statusText(2), QString("Listening UDP Port: %1").arg(bobPort));
    ostrel::settings::write(ostrel::settings::value::ListeningPort, apptest::freeUdpPort());
    openWindow();
    ASSERT_NE(window_->listeningPort(), bobPort);
    bob->loggedIn("bob", "bob-pw");
    logIn("alice", "alice-pw");
    ASSERT_TRUE(waitFor([&] { return window_->isLoggedIn(); }));

    // Bob accepts the call that rings in his window.
    QObject::connect(bob.get(), &COstrelDlg::incomingCallShown,
                     [](ostrel::app::IncomingCallDialog* d) {
                         QTimer::singleShot(50, d, [d] { d->acceptButton()->click(); });
                     });
    window_->showPage(COstrelDlg::Page::DirectCall);
    window_->directCallPage()->addressField()->setCurrentText(
        QString("127.0.0.1:%1").arg(bobPort));
    window_->talkButton()->click();
    ASSERT_TRUE(waitFor([&] { return window_->isCurrent() && bob->isCurrent(); }))
        << boxes_.texts.join("|").toStdString();
    EXPECT_EQ(window_->partyList()->topLevelItem(0)->text(0), "bob");
    EXPECT_EQ(bob->partyList()->topLevelItem(0)->text(0), "alice");

    // Bob hangs up; alice's window is idle again with a fresh engine.
    bob->command(COstrelDlg::kHangUpHotkey);
    EXPECT_TRUE(waitFor([&] { return !window_->isCallActive(); }));
    EXPECT_TRUE(window_->talkButton()->isEnabled());
    EXPECT_TRUE(window_->hasEngine());
    bob.reset();
}
