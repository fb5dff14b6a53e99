// The telephone page, the "Record/Play" group and the audio test hosted in a real window:
// telephone calls through the reference gateway, recorded calls between real engines on
// loopback, and the menu entries these parts enable.
#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>

#include <ctime>
#include <filesystem>

#include "account/AccountSession.h"
#include "app/ui/AudioTestMenu.h"
#include "app/ui/ConnectingWindow.h"
#include "app/ui/AccountParts.h"
#include "app/ui/ClientParts.h"
#include "app/ui/PhoneParts.h"
#include "app/ui/ProgramSettingsDialog.h"
#include "app/ui/RecordingParts.h"
#include "audio/test/ui/CMicTestDlg.h"
#include "phone/ui/CCallingCardSettingsDlg.h"
#include "phone/ui/CTelephonePage.h"
#include "recording/CallEndSave.h"
#include "recording/RecordingPlayer.h"
#include "tests/app/WindowFixture.h"
#include "tests/phone/GatewayProcess.h"
#include "tests/recording/RecordingTestFiles.h"
#include "webservice/HttpRequester.h"

using namespace apptest;
using ostrel::app::PhoneParts;
using ostrel::app::RecordingParts;
using phonetest::GatewayProcess;
namespace fs = std::filesystem;
namespace settings = ostrel::settings;

namespace {

ostrel::webservice::Provider gatewayProvider(uint16_t lookupPort) {
    ostrel::webservice::Provider p;
    p.id = 7;
    p.displayName = "Talvero Telephone";
    p.gatewayHosts = {{"127.0.0.1", lookupPort}};
    p.params = {{"enable_auto_dtmf", "1"},
                {"delay_for_acct_number", "50"},
                {"delay_for_pin_number", "100"},
                {"delay_for_phone_number", "150"}};
    return p;
}

class PartsTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        recordings_ = folders_.root() + "/recordings";
        fs::create_directories(recordings_);
        settings::write(settings::value::RecordingsDirectory, recordings_);
    }

    void logIn() {
        session().EnterLoggedIn({"alice", "secret"});
        window_->loggedIn("alice", "secret");
    }

    void giveCard(uint16_t lookupPort) {
        phone().takeTelephoneData({gatewayProvider(lookupPort)}, {{7, "12345678", "4321", 1}});
    }

    std::vector<fs::path> savedRecordings() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(recordings_)) {
            files.push_back(entry.path());
        }
        return files;
    }

    // While the result lives: runs `inDialog` on the first modal widget of type T that comes
    // up, then closes it.
    template <typename T>
    std::unique_ptr<QTimer> whenModal(std::function<void(T&)> inDialog) {
        auto poll = std::make_unique<QTimer>();
        poll->setInterval(5);
        QObject::connect(poll.get(), &QTimer::timeout, [timer = poll.get(), inDialog] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                timer->stop();
                inDialog(*dialog);
                dialog->reject();
            }
        });
        poll->start();
        return poll;
    }

    ostrel::account::AccountSession& session() { return window_->parts()->account().session(); }
    PhoneParts& phone() { return window_->parts()->phone(); }
    RecordingParts& recording() { return window_->parts()->recording(); }

    std::string recordings_;
};

TEST_F(PartsTest, TalkOnTheTelephonePageDialsTheGatewayWithTheCardsDigits) {
    GatewayProcess gateway({"--ring-ms", "50"});
    ASSERT_TRUE(gateway.ok());
    logIn();
    giveCard(gateway.lookupPort());
    ASSERT_NE(phone().page(), nullptr);
    EXPECT_EQ(window_->page(COstrelDlg::Page::Telephone), phone().page());

    window_->showPage(COstrelDlg::Page::Telephone);
    phone().page()->setNumberText(QStringLiteral("  (555)010-2000#  "));
    window_->talk(false);
    EXPECT_TRUE(waitFor([&] { return window_->isCurrent(); }));
    EXPECT_TRUE(gateway.waitFor("bridge-type=1 connection-string=\"\""));
    EXPECT_TRUE(gateway.waitFor("digits 12345678 at "));
    EXPECT_TRUE(gateway.waitFor("digits 4321 at "));
    EXPECT_TRUE(gateway.waitFor("digits 5550102000 at "));
    EXPECT_TRUE(boxes_.texts.isEmpty()) << boxes_.texts.join("|").toStdString();
    // The number dialled is remembered on the page.
    EXPECT_EQ(phone().page()->recentNumbers().entries(),
              std::vector<std::string>{"(555)010-2000#"});
    window_->command(COstrelDlg::kHangUpHotkey);
    EXPECT_FALSE(window_->isCallActive());
}

TEST_F(PartsTest, QuietTalkTakesTheTelephonePathWhateverPageIsInFront) {
    GatewayProcess gateway({"--ring-ms", "50"});
    ASSERT_TRUE(gateway.ok());
    logIn();
    giveCard(gateway.lookupPort());
    phone().page()->setNumberText(QStringLiteral("5550102000"));
    dial(QStringLiteral("127.0.0.1:1"));  // the direct-call page in front, with an address

    window_->command(COstrelDlg::kTalkHotkey);
    EXPECT_TRUE(waitFor([&] { return window_->isCurrent(); }));
    EXPECT_TRUE(gateway.waitFor("bridge-type=1"));
    EXPECT_TRUE(gateway.waitFor("digits 4321 at "));
    // The card's digits only: the user keys the number once the gateway answers.
    waitFor([] { return false; }, 400);
    EXPECT_EQ(gateway.linesWith("digits ").size(), 2u);
    EXPECT_TRUE(boxes_.texts.isEmpty()) << boxes_.texts.join("|").toStdString();
    EXPECT_TRUE(phone().page()->recentNumbers().entries().empty());
    window_->command(COstrelDlg::kHangUpHotkey);
}

TEST_F(PartsTest, CancelDuringTheGatewayLookupEndsTheAttemptWithoutTheFailureDialog) {
    // A lookup host that never answers: only a cancel ends the lookup early.
    ostrel::platform::UdpSocket silent;
    ASSERT_TRUE(silent.open() && silent.bind(ostrel::platform::SocketAddress::loopback(0)));
    logIn();
    giveCard(silent.localAddress()->port);
    window_->showPage(COstrelDlg::Page::Telephone);
    phone().page()->setNumberText(QStringLiteral("5551234"));

    QStringList texts;
    QStringList dialogs;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (ostrel::app::ConnectingWindow* connecting = window_->connectingWindow()) {
            if (texts.isEmpty() || texts.back() != connecting->text()) {
                texts << connecting->text();
                if (texts.back() == "Resolving telephone gateway....") {
                    connecting->cancelButton()->click();
                }
            }
        }
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && qobject_cast<QMessageBox*>(dialog) == nullptr) {
            dialogs << dialog->metaObject()->className();
            dialog->reject();
        }
    });
    poll.start();
    QElapsedTimer took;
    took.start();
    window_->talk(false);
    // Three unanswered requests would take 9 s.
    EXPECT_LT(took.elapsed(), 4000);
    EXPECT_TRUE(texts.contains("Resolving telephone gateway....")) << texts.join("|").toStdString();
    EXPECT_TRUE(dialogs.isEmpty()) << dialogs.join("|").toStdString();
    EXPECT_FALSE(window_->isCallActive());
    EXPECT_TRUE(window_->talkButton()->isEnabled());
}

TEST_F(PartsTest, CallingCardSettingsRefusesWhenLoggedOffAndShowsTheCardsOtherwise) {
    QAction* entry = window_->menuAction(QStringLiteral("&Calling Card Settings"));
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->isEnabled());
    entry->trigger();
    EXPECT_TRUE(boxes_.sawText(
        QString::fromLatin1(ostrel::phone::kNotLoggedInCards.data(),
                            static_cast<qsizetype>(ostrel::phone::kNotLoggedInCards.size()))));

    logIn();
    giveCard(9);
    QString account;
    QString provider;
    const auto watch = whenModal<ostrel::phone::CCallingCardSettingsDlg>(
        [&](ostrel::phone::CCallingCardSettingsDlg& dialog) {
            account = dialog.row(0).account->text();
            provider = dialog.row(0).provider->currentText();
        });
    entry->trigger();
    EXPECT_EQ(account, "12345678");
    EXPECT_EQ(provider, "Talvero Telephone");
}

TEST_F(PartsTest, ARecordedCallIsSavedAtItsEndAndTheNextCallRecordsAfresh) {
    Peer bob("bob");
    logIn();
    ostrel::recording::ui::RecordPlayGroup* group = recording().group();
    ASSERT_NE(group, nullptr);
    EXPECT_FALSE(group->recButton()->isEnabled());

    // A recording being played when Talk is pressed is stopped and closed.
    const std::string played = folders_.root() + "/old.vrec";
    ASSERT_TRUE(ostrel::recording::testing::writeToneRecording(played, 40));
    group->loadRecording(QString::fromStdString(played));
    group->startPlayback();
    ASSERT_TRUE(group->player().isPlaying());

    for (int call = 1; call <= 2; ++call) {
        const std::time_t before = std::time(nullptr);
        dial(bob.address());
        window_->talk(false);
        ASSERT_TRUE(waitFor([&] { return window_->isCurrent(); })) << "call " << call;
        EXPECT_FALSE(group->player().isPlaying());
        EXPECT_FALSE(group->player().isPlayable());
        EXPECT_TRUE(group->recButton()->isEnabled());
        EXPECT_FALSE(group->openButton()->isEnabled());

        group->recButton()->click();
        EXPECT_TRUE(recording().isRecording());
        ASSERT_TRUE(waitFor([&] {
            const auto recorder = recording().recorder();
            return recorder && recorder->isStarted();
        })) << "call "
            << call;
        // Two calls ending in the same second would want the same file name.
        waitFor([&] { return std::time(nullptr) > before; }, 1500);
        window_->command(COstrelDlg::kHangUpHotkey);

        EXPECT_FALSE(recording().isRecording());
        EXPECT_FALSE(group->recButton()->isEnabled());
        EXPECT_TRUE(group->openButton()->isEnabled());
        const auto files = savedRecordings();
        ASSERT_EQ(files.size(), static_cast<size_t>(call)) << "call " << call;
        for (const auto& file : files) {
            EXPECT_EQ(file.extension(), ".vrec");
            EXPECT_GT(fs::file_size(file), 0u);
            EXPECT_EQ(fs::file_size(file) % 330, 0u);
        }
    }
    EXPECT_TRUE(boxes_.texts.isEmpty()) << boxes_.texts.join("|").toStdString();

    // What was saved plays.
    group->loadRecording(QString::fromStdString(savedRecordings().front().string()));
    EXPECT_TRUE(group->player().isPlayable());
}

TEST_F(PartsTest, WithoutAFolderRecAsksForOneAndASaveThatFailsOpensTheSettings) {
    Peer bob("bob");
    logIn();
    ostrel::recording::ui::RecordPlayGroup* group = recording().group();
    dial(bob.address());
    window_->talk(false);
    ASSERT_TRUE(waitFor([&] { return window_->isCurrent(); }));

    // No folder: the settings open, and leaving them with Cancel records nothing.
    settings::write(settings::value::RecordingsDirectory, "");
    int settingsShown = 0;
    auto watch = whenModal<ostrel::app::ProgramSettingsDialog>(
        [&](ostrel::app::ProgramSettingsDialog&) { ++settingsShown; });
    group->recButton()->click();
    EXPECT_EQ(settingsShown, 1);
    EXPECT_TRUE(boxes_.sawText(QString::fromLatin1(ostrel::recording::ui::kChooseFolderText)));
    EXPECT_FALSE(recording().isRecording());
    EXPECT_EQ(recording().recorder(), nullptr);

    // A folder that is gone by the end of the call: the recording cannot be saved there.
    settings::write(settings::value::RecordingsDirectory, recordings_ + "/gone");
    group->recButton()->click();
    ASSERT_TRUE(recording().isRecording());
    ASSERT_TRUE(waitFor([&] {
        const auto recorder = recording().recorder();
        return recorder && recorder->isStarted();
    }));
    watch = whenModal<ostrel::app::ProgramSettingsDialog>(
        [&](ostrel::app::ProgramSettingsDialog&) { ++settingsShown; });
    window_->command(COstrelDlg::kHangUpHotkey);
    EXPECT_EQ(settingsShown, 2);
    EXPECT_TRUE(boxes_.sawText(
        QString::fromLatin1(ostrel::recording::kSaveFailedText.data(),
                            static_cast<qsizetype>(ostrel::recording::kSaveFailedText.size()))));
    EXPECT_TRUE(savedRecordings().empty());
    EXPECT_FALSE(window_->isCallActive());
    // The failed save kept the temporary file for the user; the test does not.
    std::error_code ignored;
    fs::remove(recording().recorder()->temporaryPath(), ignored);
}

TEST_F(PartsTest, ACallThatWasNotRecordedLeavesNoFile) {
    Peer bob("bob");
    logIn();
    dial(bob.address());
    window_->talk(false);
    ASSERT_TRUE(waitFor([&] { return window_->isCurrent(); }));
    waitFor([] { return false; }, 300);
    window_->command(COstrelDlg::kHangUpHotkey);
    EXPECT_TRUE(savedRecordings().empty());
    EXPECT_TRUE(boxes_.texts.isEmpty()) << boxes_.texts.join("|").toStdString();
}

TEST_F(PartsTest, TestAudioSettingsIsRefusedDuringACallAndOpensTheTestOtherwise) {
    QAction* entry = window_->menuAction(QStringLiteral("&Test Audio Settings"));
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->isEnabled());

    QString title;
    auto watch = whenModal<ostrel::audio::CMicTestDlg>(
        [&](ostrel::audio::CMicTestDlg& dialog) { title = dialog.windowTitle(); });
    entry->trigger();
    EXPECT_EQ(title, ostrel::audio::CMicTestDlg::kTitle);
    EXPECT_TRUE(boxes_.texts.isEmpty());

    Peer bob("bob");
    logIn();
    dial(bob.address());
    window_->talk(false);
    ASSERT_TRUE(waitFor([&] { return window_->isCurrent(); }));
    title.clear();
    watch = whenModal<ostrel::audio::CMicTestDlg>(
        [&](ostrel::audio::CMicTestDlg& dialog) { title = dialog.windowTitle(); });
    entry->trigger();
    EXPECT_TRUE(boxes_.sawText(QString::fromLatin1(ostrel::app::kNoTestInCall)));
    EXPECT_TRUE(title.isEmpty());
    EXPECT_TRUE(window_->isCallActive());
    window_->command(COstrelDlg::kHangUpHotkey);
}

}  // namespace
