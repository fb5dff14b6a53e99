#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>

#include "app/ui/ProgramSettingsDialog.h"
#include "app/ui/WindowEngineSink.h"
#include "audio/widgets/WaveformDisplay.h"
#include "desktop/CNotifierPopup.h"
#include "tests/app/WindowFixture.h"

using namespace apptest;
using ostrel::app::ProgramSettingsDialog;
using ostrel::engine::Notification;
using ostrel::engine::NotificationCode;
namespace settings = ostrel::settings;

namespace {

TEST_F(WindowTest, StartsListeningWithItsTextsAndEveryMenuEntry) {
    EXPECT_EQ(window_->windowTitle(), "Talvero-Please Login");
    EXPECT_EQ(window_->statusText(0), "Please Login");
    EXPECT_EQ(window_->statusText(1), "Starting up.. please wait");
    EXPECT_EQ(window_->statusText(2), QString("Listening UDP Port: %1").arg(port_));
    EXPECT_FALSE(window_->isVisible());  // made hidden in the fixture

    // The engine holds the port.
    ostrel::platform::UdpSocket probe;
    ASSERT_TRUE(probe.open());
    EXPECT_FALSE(probe.bind(ostrel::platform::SocketAddress{0, port_}));

    EXPECT_TRUE(window_->talkButton()->isEnabled());
    EXPECT_FALSE(window_->hangUpButton()->isEnabled());
    EXPECT_FALSE(window_->conferenceButton()->isEnabled());
    EXPECT_EQ(window_->talkButton()->toolTip(), "Click here to talk with your buddy");
    EXPECT_EQ(window_->partyList()->headerItem()->text(0), "Connected To");
    EXPECT_EQ(window_->partyList()->headerItem()->text(1), "Delay [ms]");
    ASSERT_NE(window_->recordPlayGroup(), nullptr);
    EXPECT_EQ(window_->recordPlayGroup()->title(), "Record/Play");

    for (const char* entry : {"Upgrade Software",
                              "&Change Password",
                              "&Update Your Account",
                              "Submit Feeback",
                              "&Log Off",
                              "E&xit",
                              "&Add/Delete Buddy",
                              "&Refresh",
                              "&Invite Friend",
                              "Register a &User",
                              "&Search for a Buddy",
                              "&Program Settings",
                              "&Calling Card Settings",
                              "&Network Settings",
                              "&Test Network Settings",
                              "&Test Audio Settings",
                              "System Volume Control - &Recording",
                              "System Volume Control - &Playback",
                              "View &Missed Calls",
                              "View &Statistics",
                              "Online &Help",
                              "&Talvero Home",
                              "&About Talvero Client"}) {
        EXPECT_NE(window_->menuAction(entry), nullptr) << entry;
    }
    // The hosted parts take over every entry whose work they do.
    for (const char* entry : {"&Log Off", "&Add/Delete Buddy", "&Refresh", "&Network Settings",
                              "&Test Network Settings", "View &Statistics"}) {
        EXPECT_TRUE(window_->menuAction(entry)->isEnabled()) << entry;
    }
    EXPECT_TRUE(window_->menuAction("&Program Settings")->isEnabled());
}

TEST_F(WindowTest, APortInUseIsToldWithItsNumber) {
    window_.reset();
    ostrel::platform::UdpSocket holder;
    ASSERT_TRUE(holder.open());
    ASSERT_TRUE(holder.bind(ostrel::platform::SocketAddress{0, port_}));
    window_ = makeWindow();
    EXPECT_TRUE(waitFor([&] { return window_->statusText(2) == "Error on port bind"; }));
    ASSERT_FALSE(boxes_.texts.isEmpty());
    EXPECT_TRUE(boxes_.texts.first().startsWith(
        QString("Another software is currently using the port %1.").arg(port_)));
    EXPECT_EQ(boxes_.captions.first(), "Talvero client cannot listen for incoming calls");
    EXPECT_TRUE(window_->talkButton()->isEnabled());
}

TEST_F(WindowTest, CloseBoxHidesWithTheNoticeUntilItIsTicked) {
    const QString notice = QString(
        "The program will continue to run in the system tray!\nYou will be able to receive "
        "calls as usual. \nIf you want to exit the program completely, select 'Exit' from the "
        "tray menu");
    window_->show();
    window_->close();
    EXPECT_FALSE(window_->isVisible());
    EXPECT_TRUE(window_->hasEngine());
    EXPECT_EQ(boxes_.texts.count(notice), 1);
    EXPECT_EQ(settings::read(settings::value::DontShowDlgOnMinimize), 0u);

    window_->show();
    window_->close();
    EXPECT_EQ(boxes_.texts.count(notice), 2);

    boxes_.onBox = [](QMessageBox* box) {
        ASSERT_NE(box->checkBox(), nullptr);
        EXPECT_EQ(box->checkBox()->text(), "Dont show this anymore");
        box->checkBox()->setChecked(true);
    };
    window_->show();
    window_->close();
    EXPECT_EQ(boxes_.texts.count(notice), 3);
    EXPECT_EQ(settings::read(settings::value::DontShowDlgOnMinimize), 1u);

    boxes_.onBox = nullptr;
    window_->show();
    window_->close();
    EXPECT_EQ(boxes_.texts.count(notice), 3);
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(WindowTest, NotificationsBecomeTheirTextsAndPopups) {
    auto sink = window_->currentSink();
    ASSERT_NE(sink, nullptr);
    auto deliver = [&](Notification n) {
        sink->notify(std::move(n));
        ostrel::test::processEventsUntil([] { return false; }, 30);
    };
    const int onScreen = ostrel::desktop::CNotifierPopup::onScreenCount();

    deliver({NotificationCode::AlreadyConnected, {}});
    deliver({NotificationCode::CalleeBusy, {}});
    ostrel::engine::PeerJoinedRecord joined{"carol", ostrel::engine::SessionId{77}, 6};
    deliver({NotificationCode::PeerJoined, joined});
    EXPECT_TRUE(popups_.contains("User is already connected"));
    EXPECT_TRUE(popups_.contains("Your buddy busy with another call"));
    EXPECT_TRUE(popups_.contains("User Connected -> carol"));
    // Three notices in quick succession stack three pop-ups.
    EXPECT_EQ(ostrel::desktop::CNotifierPopup::onScreenCount(), onScreen + 3);
    ASSERT_EQ(window_->partyList()->topLevelItemCount(), 1);
    EXPECT_EQ(window_->partyList()->topLevelItem(0)->text(0), "carol");

    deliver({NotificationCode::PeerDisconnected,
             ostrel::engine::SessionEvent{ostrel::engine::SessionId{77}, "carol"}});
    EXPECT_TRUE(popups_.contains("User Disconnected -> carol"));
    EXPECT_EQ(window_->partyList()->topLevelItemCount(), 0);

    deliver({NotificationCode::OtherConference, {}});
    EXPECT_TRUE(boxes_.sawText("Cannot connect to a different voice conference session"));
    deliver({NotificationCode::ResolveFailed, ostrel::engine::SessionEvent{}});
    EXPECT_TRUE(
        boxes_.sawTextStarting("Cannot resolve the IP address of the computer to connect."));
    deliver({NotificationCode::NotLoggedInThere, {}});
    EXPECT_TRUE(boxes_.sawTextStarting(
        "Connection failed since the remote user has manually configured his IP address"));
    EXPECT_EQ(window_->connectState(), COstrelDlg::kFailed);

    ostrel::engine::ConnectionRequest failed;
    failed.address = "127.0.0.1";
    deliver({NotificationCode::ConnectFailed, failed});
    EXPECT_TRUE(boxes_.sawTextStarting("Either your buddy is away from his computer"));
    ostrel::engine::ConnectionRequest telephone;
    telephone.viaBridge = true;
    telephone.bridgeType = 1;
    deliver({NotificationCode::ConnectFailed, telephone});
    EXPECT_TRUE(
        boxes_.sawTextStarting("Call cannot be completed now. Please try again momentarily"));
    // A cancelled attempt fails without a word.
    const int before = boxes_.texts.size();
    ostrel::engine::ConnectionRequest cancelled;
    cancelled.requestCancel();
    deliver({NotificationCode::ConnectFailed, cancelled});
    EXPECT_EQ(boxes_.texts.size(), before);

    deliver({NotificationCode::ListenerBindFailed, {}});
    EXPECT_EQ(window_->statusText(2), "Error on port bind");

    // Without a current call, losses and delays count for nothing.
    deliver({NotificationCode::PacketsLost,
             ostrel::engine::SessionCount{ostrel::engine::SessionId{77}, 4}});
    EXPECT_EQ(window_->statistics().lostPackets, 0u);
    EXPECT_FALSE(popups_.contains("Network lost some packets"));
}

TEST_F(WindowTest, JoinAndLeavePopupsFollowTheirSetting) {
    settings::write(settings::value::PopupBuddyJoinLeave, 0);
    auto sink = window_->currentSink();
    sink->notify({NotificationCode::PeerJoined,
                  ostrel::engine::PeerJoinedRecord{"dave", ostrel::engine::SessionId{5}, 6}});
    EXPECT_TRUE(waitFor([&] { return window_->partyList()->topLevelItemCount() == 1; }));
    EXPECT_FALSE(popups_.contains("User Connected -> dave"));
}

TEST_F(WindowTest, ProgramSettingsRaisesRingTimeAndChecksTheFolder) {
    settings::write(settings::value::RingTime, 3);
    ProgramSettingsDialog dialog(window_.get());
    EXPECT_EQ(dialog.ringTime()->text(), "5");
    EXPECT_EQ(settings::read(settings::value::RingTime), 5u);
    EXPECT_TRUE(dialog.popupBuddyOnline()->isChecked());
    EXPECT_TRUE(dialog.autoMMSettings()->isChecked());

    QStringList refused;
    QObject::connect(&dialog, &ProgramSettingsDialog::refused,
                     [&](const QString& text) { refused << text; });
    dialog.recordingsDirectory()->setText(" C ");
    dialog.accept();
    EXPECT_EQ(refused.value(0), ProgramSettingsDialog::kInvalidFolder);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    dialog.setFreeSpaceProbe([](std::string_view) { return std::optional<uint64_t>(50u << 20); });
    dialog.recordingsDirectory()->setText(QString::fromStdString(folders_.root() + "/rec"));
    dialog.accept();
    EXPECT_EQ(refused.value(1), ProgramSettingsDialog::kNotEnoughSpace);

    dialog.ringTime()->setText("31");
    dialog.accept();
    EXPECT_EQ(refused.value(2), ProgramSettingsDialog::kRingTimeRange);
    EXPECT_FALSE(settings::readOptional(settings::value::RecordingsDirectory).has_value());

    // More than 4 GB free: 6 GiB.
    dialog.setFreeSpaceProbe([](std::string_view) { return std::optional<uint64_t>(6ull << 30); });
    dialog.ringTime()->setText("12");
    dialog.popupNetworkCongestion()->setChecked(false);
    dialog.accept();
    EXPECT_EQ(refused.size(), 3);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings::read(settings::value::RingTime), 12u);
    EXPECT_EQ(settings::read(settings::value::PopupNetworkCongestion), 0u);
    EXPECT_EQ(settings::readOptional(settings::value::RecordingsDirectory).value_or(""),
              folders_.root() + "/rec");
}

TEST_F(WindowTest, TalkNeedsALoginAndTheQuietTalkSaysNothing) {
    const auto sinkBefore = window_->currentSink();
    window_->talk(true);
    EXPECT_TRUE(boxes_.texts.isEmpty());
    window_->talk(false);
    EXPECT_TRUE(
        boxes_.sawText("You have to login to make a call. Please login and then try again"));
    // No engine restart happened.
    EXPECT_EQ(window_->currentSink(), sinkBefore);

    window_->loggedIn("alice", "secret");
    EXPECT_EQ(window_->windowTitle(), "Talvero-alice");
    EXPECT_EQ(window_->statusText(0), "Logged in");
    window_->loggedOut();
    EXPECT_EQ(window_->windowTitle(), "Talvero-Please Login");
    EXPECT_EQ(window_->statusText(0), "Please Login");
}

TEST_F(WindowTest, DirectCallPageRefusesBadAddressesAndKeepsTheHistory) {
    window_->loggedIn("alice", "secret");
    dial("h323://@gw:1721");
    window_->talk(false);
    EXPECT_TRUE(
        boxes_.sawTextStarting("While specifying h323:// , specify in the following format"));
    EXPECT_FALSE(window_->isConnecting());
    EXPECT_TRUE(window_->talkButton()->isEnabled());
    EXPECT_TRUE(settings::read(settings::value::IPList).empty());
}

}  // namespace
