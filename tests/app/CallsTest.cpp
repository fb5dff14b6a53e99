#include <QPushButton>
#include <QTreeWidget>

#include <atomic>
#include <ctime>
#include <thread>

#include "app/callreport/MissedCalls.h"
#include "app/callreport/ui/CMissedCallsDlg.h"
#include "app/ui/ConnectingWindow.h"
#include "app/ui/DirectCallPage.h"
#include "app/ui/IncomingCallDialog.h"
#include "app/ui/WindowEngineSink.h"
#include "tests/app/WindowFixture.h"

using namespace apptest;
using enginetest::RecordingSink;
using ostrel::app::IncomingCallDialog;
using ostrel::engine::ConnectionRequest;
using ostrel::engine::NotificationCode;
namespace settings = ostrel::settings;

namespace {

class CallTest : public WindowTest {
protected:
    // Places a call from the window to `peer` through the direct-call page.
    void callFromWindow(Peer& peer) {
        window_->loggedIn("alice", "secret");
        dial(peer.address());
        window_->talk(false);
    }

    // The peer calls the window; the connect runs on its own thread, as it blocks.
    std::thread callWindow(Peer& peer, std::atomic<bool>& connected) {
        return std::thread([&peer, &connected, port = port_] {
            ConnectionRequest request;
            request.address = "127.0.0.1";
            request.port = port;
            connected = static_cast<bool>(peer.engine->connect(request));
        });
    }
};

TEST_F(CallTest, ACallPlacedByAddressBecomesActiveAndTheButtonAsksBeforeHangingUp) {
    Peer bob("bob");
    callFromWindow(bob);
    ASSERT_TRUE(waitFor([&] { return window_->partyList()->topLevelItemCount() == 1; }));
    EXPECT_EQ(window_->partyList()->topLevelItem(0)->text(0), "bob");
    EXPECT_TRUE(waitFor([&] { return window_->isCurrent(); }));
    EXPECT_TRUE(window_->hangUpButton()->isEnabled());
    EXPECT_FALSE(window_->talkButton()->isEnabled());
    EXPECT_TRUE(window_->conferenceButton()->isEnabled());
    EXPECT_EQ(window_->statusText(2), "Active 00:00:00");
    EXPECT_FALSE(window_->isConnecting());
    // The peer saw the window's user.
    ASSERT_TRUE(bob.sink.waitFor(NotificationCode::PeerJoined).has_value());
    EXPECT_EQ(std::get<ostrel::engine::PeerJoinedRecord>(
                  bob.sink.waitFor(NotificationCode::PeerJoined)->parameter)
                  .description,
              "alice");
    // The typed address went into the history.
    EXPECT_EQ(settings::read(settings::value::IPList), bob.address().toStdString());
    EXPECT_EQ(window_->directCallPage()->addressField()->count(), 1);

    // The button asks; No keeps the call.
    boxes_.answer = QMessageBox::No;
    window_->hangUpButton()->click();
    EXPECT_TRUE(boxes_.sawText("Do you want to disconnect the current connection?"));
    EXPECT_TRUE(window_->isCallActive());

    // The hot key's command ends it without a question.
    const int asked = boxes_.texts.size();
    window_->command(COstrelDlg::kHangUpHotkey);
    EXPECT_EQ(boxes_.texts.size(), asked);
    EXPECT_FALSE(window_->isCallActive());
    EXPECT_TRUE(window_->hasEngine());  // a fresh one listens again
    EXPECT_EQ(window_->partyList()->topLevelItemCount(), 0);
    EXPECT_TRUE(window_->talkButton()->isEnabled());
    EXPECT_EQ(window_->statusText(2), QString("Listening UDP Port: %1").arg(port_));
}

TEST_F(CallTest, TalkTwiceQuicklyShowsTheOneAttemptMessage) {
    Peer silent("quiet", RecordingSink::Answer::Leave);  // rings and never answers
    bool secondTried = false;
    // Once the first attempt is under way (however loaded the machine), press Talk again.
    QTimer second;
    second.setInterval(10);
    QObject::connect(&second, &QTimer::timeout, [&] {
        if (!window_->isConnecting()) {
            return;
        }
        second.stop();
        window_->talk(false);
        secondTried = true;
        // Now give up the first attempt.
        if (auto* connecting = window_->connectingWindow()) {
            connecting->cancelButton()->click();
        }
    });
    second.start();
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (!secondTried) {
            return;
        }
        if (auto* question = silent.sink.waitForQuestion(0)) {
            answer.stop();
            question->respond(ostrel::engine::IncomingCallRequest::kReject);
        }
    });
    answer.start();
    callFromWindow(silent);
    EXPECT_TRUE(secondTried);
    EXPECT_TRUE(boxes_.sawText(
        "A connection attempt is already in progress. You can attempt only one connection at "
        "time."));
    EXPECT_FALSE(window_->isConnecting());
    EXPECT_FALSE(window_->isCallActive());
    EXPECT_TRUE(window_->talkButton()->isEnabled());
}

TEST_F(CallTest, AnIncomingCallAcceptedInTheDialogJoinsThePeer) {
    Peer carol("carol", RecordingSink::Answer::Leave);
    QObject::connect(window_.get(), &COstrelDlg::incomingCallShown, [](IncomingCallDialog* d) {
        QTimer::singleShot(50, d, [d] { d->acceptButton()->click(); });
    });
    std::atomic<bool> connected{false};
    std::thread caller = callWindow(carol, connected);
    EXPECT_TRUE(waitFor([&] { return window_->partyList()->topLevelItemCount() == 1; }, 8000));
    caller.join();
    EXPECT_TRUE(connected);
    EXPECT_EQ(window_->partyList()->topLevelItem(0)->text(0), "carol");
    EXPECT_TRUE(waitFor([&] { return window_->isCurrent(); }));
    EXPECT_TRUE(window_->missedCalls()->calls().entries().empty());
}

TEST_F(CallTest, AnIncomingCallLeftRingingIsRejectedAndListedAsMissed) {
    settings::write(settings::value::RingTime, 1);
    Peer dave("dave", RecordingSink::Answer::Leave);
    QString shownFrom;
    QObject::connect(window_.get(), &COstrelDlg::incomingCallShown,
                     [&](IncomingCallDialog* d) { shownFrom = d->windowTitle(); });
    const std::time_t before = std::time(nullptr);
    std::atomic<bool> connected{true};
    std::thread caller = callWindow(dave, connected);
    const auto& missed = window_->missedCalls()->calls().entries();
    EXPECT_TRUE(waitFor([&] { return missed.size() == 1; }, 8000));
    caller.join();
    EXPECT_FALSE(connected);
    EXPECT_EQ(shownFrom, "Incoming Call");
    ASSERT_EQ(missed.size(), 1u);
    EXPECT_EQ(missed[0].caller, "dave");
    // Listed with the time it rang out, somewhere within the ringing.
    bool timeSeen = false;
    for (std::time_t t = before; t <= std::time(nullptr); ++t) {
        timeSeen = timeSeen || missed[0].time == ostrel::callreport::missedCallTime(t);
    }
    EXPECT_TRUE(timeSeen) << missed[0].time;
    EXPECT_EQ(window_->missedCalls()->list()->topLevelItemCount(), 1);
    EXPECT_TRUE(window_->missedCalls()->isVisible());
    EXPECT_EQ(window_->partyList()->topLevelItemCount(), 0);
}

TEST_F(CallTest, ReportsOfAReplacedEngineChangeNothing) {
    Peer erin("erin");
    callFromWindow(erin);
    ASSERT_TRUE(waitFor([&] { return window_->isCurrent(); }));
    const auto session = window_->parties().at(0).session;
    const auto oldSink = window_->currentSink();

    // The current call counts a loss and shows the delay.
    oldSink->notify({NotificationCode::PacketsLost, ostrel::engine::SessionCount{session, 4}});
    oldSink->notify(
        {NotificationCode::DelayMeasured, ostrel::engine::DelayRecord{session, 1, 80, 0}});
    ASSERT_TRUE(waitFor([&] { return window_->statistics().lostPackets == 4; }));
    EXPECT_TRUE(waitFor([&] { return window_->partyList()->topLevelItem(0)->text(1) == "40"; }));
    EXPECT_TRUE(popups_.contains("Network lost some packets"));
    EXPECT_EQ(window_->parties().at(0).lostPackets, 4u);

    // After the call the old engine's reports go nowhere.
    window_->command(COstrelDlg::kHangUpHotkey);
    ASSERT_NE(window_->currentSink(), oldSink);
    popups_.clear();
    oldSink->notify({NotificationCode::PacketsLost, ostrel::engine::SessionCount{session, 9}});
    oldSink->notify(
        {NotificationCode::DelayMeasured, ostrel::engine::DelayRecord{session, 1, 90, 0}});
    oldSink->notify({NotificationCode::ConnectionLost, {}});
    oldSink->notify({NotificationCode::PeerJoined,
                     ostrel::engine::PeerJoinedRecord{"ghost", ostrel::engine::SessionId{99}, 6}});
    ostrel::test::processEventsUntil([] { return false; }, 100);
    EXPECT_EQ(window_->statistics().lostPackets, 4u);
    EXPECT_FALSE(popups_.contains("Network lost some packets"));
    EXPECT_EQ(window_->partyList()->topLevelItemCount(), 0);
    EXPECT_TRUE(window_->hasEngine());
}

TEST_F(CallTest, DisconnectUserOnOneRowOfAThreePartyCallEndsOnlyThatParty) {
    Peer frank("frank");
    Peer grace("grace");
    callFromWindow(frank);
    ASSERT_TRUE(waitFor([&] { return window_->isCurrent(); }));
    dial(grace.address());
    window_->conferenceButton()->click();
    ASSERT_TRUE(waitFor([&] { return window_->partyList()->topLevelItemCount() == 2; }));

    ostrel::engine::SessionId frankSession;
    for (const auto& party : window_->parties()) {
        if (party.name == "frank") {
            frankSession = party.session;
        }
    }
    ASSERT_TRUE(frankSession);
    window_->disconnectParty(frankSession);
    EXPECT_TRUE(waitFor([&] { return window_->partyList()->topLevelItemCount() == 1; }));
    EXPECT_EQ(window_->partyList()->topLevelItem(0)->text(0), "grace");
    EXPECT_TRUE(popups_.contains("User Disconnected -> frank"));
    EXPECT_TRUE(window_->isCallActive());
    EXPECT_TRUE(window_->isCurrent());
}

TEST_F(CallTest, ExitDuringAnIncomingQuestionAnswersItAndEndsCleanly) {
    Peer heidi("heidi", RecordingSink::Answer::Leave);
    bool exited = false;
    QObject::connect(window_.get(), &COstrelDlg::exitRequested, [&] { exited = true; });
    QObject::connect(window_.get(), &COstrelDlg::incomingCallShown, [&](IncomingCallDialog*) {
        QTimer::singleShot(50, window_.get(), [&] { window_->exitProgram(); });
    });
    std::atomic<bool> connected{true};
    std::thread caller = callWindow(heidi, connected);
    ASSERT_TRUE(waitFor([&] { return exited; }, 8000));
    // Destroying the window stops the engine, which must not wait for the open question.
    window_.reset();
    caller.join();
    EXPECT_FALSE(connected);
}

}  // namespace
