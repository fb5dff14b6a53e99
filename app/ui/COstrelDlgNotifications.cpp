// Every engine notification turned into buttons, texts, sounds and pop-ups. Reports about
// statistics, loss, delay and call end count only for the current call of the current engine;
// anything an engine says after it was replaced changes nothing.
#include <QDateTime>
#include <QPointer>

#include <ctime>

#include "app/callreport/ui/CMissedCallsDlg.h"
#include "app/callreport/ui/CStatisticsDlg.h"
#include "app/settings/Settings.h"
#include "app/ui/ConnectingWindow.h"
#include "app/ui/COstrelDlg.h"
#include "app/ui/IncomingCallDialog.h"
#include "app/ui/WindowEngineSink.h"
#include "app/ui/WindowNotices.h"
#include "audio/mixer/VolumeControl.h"
#include "audio/widgets/VolumeSliderLink.h"
#include "audio/widgets/WaveformDisplay.h"
#include "platform/Platform.h"

namespace ostrel::app {

namespace {

using engine::IncomingCallRequest;
using engine::NotificationCode;

constexpr long kQuietMicrophone = 16;
constexpr long kRaisedMicrophone = 128;
constexpr unsigned kBusyBeepHz = 700;
constexpr unsigned kBusyBeepMs = 100;

const QString kMultimediaError = QStringLiteral(
    "Multimedia Error\r\n\r\nPlease Check the Following.\r\n1. Sound card is properly installed "
    "in your computer.\r\n2. No other program is currently using the sound card.\r\n3. Sound "
    "card is full duplex. ie, it can play and record simultaneously.\r\n");

const QString kNotLoggedInThere = QStringLiteral(
    "Connection failed since the remote user has manually configured his IP address and have "
    "not logged in from that computer\r\n. For security reasons, if a user manually configures "
    "his IP address, connection will be made only if he is logged in from that computer");

const QString kCannotResolve = QStringLiteral(
    "Cannot resolve the IP address of the computer to connect.\r\n\r\n1. Are you connected to "
    "the internet now?\r\n2. If you are trying to connect by computer name, please check if you "
    "typed the name incorrectly.\r\n3. If you are trying to connect using buddylist, your "
    "buddy has configured an invalid computer name.");

int ringSeconds() {
    return static_cast<int>(settings::read(settings::value::RingTime));
}

bool popupsOn(const settings::DwordSetting& setting) {
    return settings::read(setting) == 1;
}

}  // namespace

void COstrelDlg::handleNotification(WindowEngineSink& sink, engine::Notification n) {
    const bool ofCurrentEngine = sink.generation() == generation_;
    const bool current = ofCurrentEngine && isCurrent();
    switch (n.code) {
        case NotificationCode::BytesSent:
        case NotificationCode::BytesReceived:
            if (current) {
                const auto& count = std::get<engine::SessionCount>(n.parameter);
                (void)count;
                if (statistics_.count(n) && statisticsWindow_) {
                    statisticsWindow_->refresh(statistics_);
                }
            }
            break;
        case NotificationCode::VoiceSent:
        case NotificationCode::VoicePlayed:
            if (current) {
                const auto& block = std::get<engine::PcmBlock>(n.parameter);
                display_->showSamples(block.samples, n.code == NotificationCode::VoiceSent);
            }
            break;
        case NotificationCode::ConnectionLost:
            if (ofCurrentEngine && callMarker_ == generation_) {
                endCall(true);
                notices_->playSound(QStringLiteral("hangup.wav"));
            }
            break;
        case NotificationCode::CallActive:
            if (ofCurrentEngine) {
                onCallActive(sink.generation());
            }
            break;
        case NotificationCode::ListenerBindFailed:
            if (ofCurrentEngine) {
                setIdleButtons();
                setStatusText(2, QStringLiteral("Error on port bind"));
            }
            break;
        case NotificationCode::IncomingCall:
            onIncomingCall(sink, std::get<IncomingCallRequest*>(n.parameter));
            break;
        case NotificationCode::IncomingCallInCall:
            onIncomingCallInCall(sink, std::get<IncomingCallRequest*>(n.parameter));
            break;
        case NotificationCode::ConnectFailed:
            onConnectFailed(std::get<engine::ConnectionRequest>(n.parameter));
            break;
        case NotificationCode::Ringing:
            if (connecting_) {
                if (connectState_ != kCancelling) {
                    connectState_ = kRinging;
                }
                setConnectingText(QStringLiteral("Ringing at the other end"));
            }
            break;
        case NotificationCode::PacketsLost:
            if (current) {
                const auto& lost = std::get<engine::SessionCount>(n.parameter);
                if (statistics_.count(n) && statisticsWindow_) {
                    statisticsWindow_->refresh(statistics_);
                }
                if (auto it = parties_.find(lost.session.value); it != parties_.end()) {
                    it->second.lostPackets += lost.count;
                }
                if (popupsOn(settings::value::PopupNetworkCongestion)) {
                    notices_->popup(QStringLiteral("Network lost some packets"));
                }
            }
            break;
        case NotificationCode::NotLoggedInThere:
            connectState_ = kFailed;
            notices_->stopSounds();
            if (!cancelled_) {
                notices_->box(kNotLoggedInThere, QMessageBox::Warning);
            }
            break;
        case NotificationCode::ResolveFailed:
            connectState_ = kFailed;
            notices_->stopSounds();
            notices_->error(kCannotResolve);
            break;
        case NotificationCode::CaptureFailed:
        case NotificationCode::PlaybackFailed:
            if (current) {
                notices_->error(kMultimediaError);
                endCall(true);
                notices_->playSound(QStringLiteral("hangup.wav"));
            }
            break;
        case NotificationCode::PeerDisconnected:
            if (ofCurrentEngine) {
                onPeerDisconnected(std::get<engine::SessionEvent>(n.parameter));
            }
            break;
        case NotificationCode::PeerJoined:
            if (ofCurrentEngine) {
                onPeerJoined(std::get<engine::PeerJoinedRecord>(n.parameter));
            }
            break;
        case NotificationCode::DelayMeasured:
            notices_->playSound(QStringLiteral("click.wav"));
            if (current) {
                onDelay(std::get<engine::DelayRecord>(n.parameter));
            }
            break;
        case NotificationCode::AlreadyConnected:
            notices_->popup(QStringLiteral("User is already connected"));
            break;
        case NotificationCode::CalleeBusy:
            notices_->popup(QStringLiteral("Your buddy busy with another call"));
            notices_->beep(kBusyBeepHz, kBusyBeepMs);
            break;
        case NotificationCode::OtherConference:
            notices_->stopSounds();
            notices_->box(QStringLiteral("Cannot connect to a different voice conference session"),
                          QMessageBox::Warning);
            break;
        case NotificationCode::DigitsSent:
            break;  // the record is freed with the notification
    }
    // Judged again: handling may have made the call current (7) or replaced the engine.
    const bool nowCurrent = sink.generation() == generation_ && isCurrent();
    for (const auto& listener : notificationListeners_) {
        listener(n, nowCurrent);
    }
}

void COstrelDlg::setConnectingText(const QString& text) {
    if (connecting_) {
        connecting_->setText(text);
    }
}

void COstrelDlg::onCallActive(uint64_t generation) {
    if (microphoneControl_ && microphoneControl_->isAvailable()) {
        const long value = microphoneControl_->getValue();
        if (value >= 0 && value / 256 < kQuietMicrophone) {
            microphoneControl_->setValue(kRaisedMicrophone * 256);
            if (microphoneLink_ != nullptr) {
                microphoneLink_->refresh();
            }
        }
    }
    for (const auto& step : stopPlaybackSteps_) {
        step();
    }
    setActiveButtons();
    callStart_ = QDateTime::currentDateTime();
    callMarker_ = generation;
    setStatusText(2, QStringLiteral("Active 00:00:00"));
    emit callBecameActive();
}

void COstrelDlg::onIncomingCall(WindowEngineSink& sink, IncomingCallRequest* question) {
    if (!sink.isOpen(question)) {
        return;  // answered already: its engine was stopped meanwhile
    }
    const QString caller = QString::fromStdString(question->peerUserName);
    bringToFront();
    for (const auto& step : stopPlaybackSteps_) {
        step();
    }
    notices_->playSound(QStringLiteral("phonering.wav"), true);
    const auto keep = sink.shared_from_this();
    IncomingCallDialog dialog(IncomingCallDialog::Kind::NewCall, caller, ringSeconds(), this);
    emit incomingCallShown(&dialog);
    dialog.exec();
    const IncomingCallDialog::Outcome outcome = dialog.outcome();
    keep->answer(question, outcome == IncomingCallDialog::Outcome::Accepted
                               ? IncomingCallRequest::kAccept
                               : IncomingCallRequest::kReject);
    if (outcome == IncomingCallDialog::Outcome::TimedOut) {
        missedCalls_->addMissedCall(caller.toStdString(), std::time(nullptr));
    }
    notices_->stopSounds();
}

void COstrelDlg::onIncomingCallInCall(WindowEngineSink& sink, IncomingCallRequest* question) {
    const bool current = sink.generation() == generation_ && isCurrent();
    if (!current) {
        // Nobody would ever answer it, and its request thread would wait for ever.
        sink.answer(question, IncomingCallRequest::kReject);
        return;
    }
    const QString caller = QString::fromStdString(question->peerUserName);
    auto* dialog = new IncomingCallDialog(IncomingCallDialog::Kind::AddToConference, caller,
                                          ringSeconds(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    connect(dialog, &IncomingCallDialog::answered, this,
            [keep = sink.shared_from_this(), question](IncomingCallDialog::Outcome outcome) {
                keep->answer(question, outcome == IncomingCallDialog::Outcome::Accepted
                                           ? IncomingCallRequest::kAccept
                                           : IncomingCallRequest::kReject);
            });
    dialog->show();
    emit incomingCallShown(dialog);
    notices_->beep(kBusyBeepHz, kBusyBeepMs);
}

void COstrelDlg::onConnectFailed(const engine::ConnectionRequest& request) {
    connectState_ = kFailed;
    notices_->stopSounds();
    if (request.cancelled() || cancelled_) {
        return;
    }
    if (attemptQuiet_) {
        notices_->playSound(QStringLiteral("hangup.wav"));
        return;
    }
    if (request.viaBridge && request.bridgeType == 1) {
        notices_->box(
            QStringLiteral("Call cannot be completed now. Please try again momentarily\n\n"
                           "Possible causes:\n1. Your internet connection is down.\n2. A "
                           "firewall blocks UDP packets.\n3. The telephone gateway is down."),
            QMessageBox::Warning, QStringLiteral("Connect Failed"));
        return;
    }
    notices_->box(
        QStringLiteral(
            "Either your buddy is away from his computer or the connection timed out\n\n"
            "If you heard the ringing tone, your buddy did not pickup the call or is away from "
            "his computer.\n\nIf you or your buddy are behind a firewall, the firewall has to "
            "let the UDP listening port through, or the one behind it has to make the call."),
        QMessageBox::Warning, QStringLiteral("Connect Failed"),
        QMessageBox::Ok | QMessageBox::Help);
}

QTreeWidgetItem* COstrelDlg::partyRow(engine::SessionId session) const {
    for (int row = 0; row < partyList_->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = partyList_->topLevelItem(row);
        if (item->data(0, Qt::UserRole).toULongLong() == session.value) {
            return item;
        }
    }
    return nullptr;
}

void COstrelDlg::onPeerJoined(const engine::PeerJoinedRecord& record) {
    Party party;
    party.name = QString::fromStdString(record.description);
    party.session = record.session;
    party.peerVersion = record.peerVersion;
    party.lastDelayTick = platform::tickCount();
    parties_[record.session.value] = party;
    if (popupsOn(settings::value::PopupBuddyJoinLeave)) {
        notices_->popup(QStringLiteral("User Connected -> ") + party.name);
    }
    auto* item = partyRow(record.session);
    if (item == nullptr) {
        item = new QTreeWidgetItem(partyList_);
    }
    item->setText(0, party.name);
    item->setData(0, Qt::UserRole, QVariant::fromValue<qulonglong>(record.session.value));
}

void COstrelDlg::onPeerDisconnected(const engine::SessionEvent& event) {
    auto it = parties_.find(event.session.value);
    if (it == parties_.end()) {
        return;
    }
    const QString name = it->second.name;
    parties_.erase(it);
    if (popupsOn(settings::value::PopupBuddyJoinLeave)) {
        notices_->popup(QStringLiteral("User Disconnected -> ") + name);
    }
    delete partyRow(event.session);
}

void COstrelDlg::onDelay(const engine::DelayRecord& record) {
    auto it = parties_.find(record.session.value);
    if (it == parties_.end()) {
        return;
    }
    it->second.lastDelayTick = platform::tickCount();
    if (QTreeWidgetItem* item = partyRow(record.session)) {
        item->setText(1, QString::asprintf("%d", static_cast<int>(record.delayMs / 2)));
    }
}

}  // namespace ostrel::app
