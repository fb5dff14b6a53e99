// The main window's engine and calls: starting and stopping the engine under its guard,
// placing a call on the connect thread while the GUI thread keeps dispatching, conferences,
// hanging up and ending calls.
#include <QApplication>
#include <QMenu>
#include <QMessageBox>

#include <chrono>
#include <thread>

#include "app/DirectCallTarget.h"
#include "app/settings/Settings.h"
#include "app/ui/BrowserWindow.h"
#include "app/ui/COstrelDlg.h"
#include "app/ui/CallTargetPage.h"
#include "app/ui/ConnectingWindow.h"
#include "app/ui/WindowEngineSink.h"
#include "app/ui/WindowNotices.h"
#include "audio/widgets/WaveformDisplay.h"
#include "engine/NetCore.h"
#include "platform/Platform.h"
#include "sync/CWorkerThread.h"

namespace ostrel::app {

namespace {

constexpr uint16_t kStandardListeningPort = 1720;
constexpr int kPopupUrlWidth = 350;
constexpr int kPopupUrlHeight = 500;
// How often the ring-back sound is asked for while the far end rings: it is only started
// when it is not playing, and loading it every millisecond would be waste.
constexpr uint32_t kRingBackRetryMs = 200;

const QString kOneAttempt = QStringLiteral(
    "A connection attempt is already in progress. You can attempt only one connection at "
    "time.");

// Holds the engine guard for one scope. It is a CSem of count 1, so it is never held while a
// nested event loop may run: a handler inside would wait on it for ever.
class GuardHold {
public:
    explicit GuardHold(sync::CSem& guard) : guard_(guard) {
        guard_.WaitOnSemaphore(sync::kInfinite);
    }
    ~GuardHold() { guard_.SignalSemaphore(); }
    GuardHold(const GuardHold&) = delete;
    GuardHold& operator=(const GuardHold&) = delete;

private:
    sync::CSem& guard_;
};

uint16_t configuredListeningPort() {
    if (settings::read(settings::value::UseAlternateListeningPort) == 1) {
        return static_cast<uint16_t>(settings::read(settings::value::ListeningPort));
    }
    return kStandardListeningPort;
}

}  // namespace

bool COstrelDlg::hasEngine() const {
    return engine_ != nullptr;
}

bool COstrelDlg::isCallActive() const {
    return engine_ != nullptr && engine_->isCallActive();
}

bool COstrelDlg::isCurrent() const {
    return callMarker_ != 0 && callMarker_ == generation_ && isCallActive();
}

std::shared_ptr<WindowEngineSink> COstrelDlg::currentSink() const {
    return sink_;
}

ConnectingWindow* COstrelDlg::connectingWindow() const {
    return connecting_.data();
}

void COstrelDlg::startEngine() {
    bool already = false;
    bool listening = true;
    {
        GuardHold hold(engineGuard_);
        already = engine_ != nullptr;
        if (!already) {
            sink_ = std::make_shared<WindowEngineSink>(
                this, ++generation_, [this](WindowEngineSink& sink, engine::Notification n) {
                    handleNotification(sink, std::move(n));
                },
                blockRecorder_);
            port_ = configuredListeningPort();
            const std::string user = loggedIn_ ? user_.toStdString() : std::string("UNKNOWN");
            std::unique_ptr<engine::Engine> made =
                options_.engineFactory
                    ? options_.engineFactory(options_.instanceGuid, port_, *sink_, user)
                    : std::make_unique<engine::NetCore>(options_.instanceGuid, port_, *sink_, user);
            // The engine holds its sink by reference, so the sink lives as long as the engine,
            // wherever the engine's last holder lets go of it.
            engine_ = std::shared_ptr<engine::Engine>(
                made.release(), [sink = sink_](engine::Engine* e) { delete e; });
            callMarker_ = 0;
            listening = engine_->isListening();
        }
    }
    if (already) {
        notices_->box(QStringLiteral("NetCore Already started"));
        return;
    }
    // Shown after the guard is let go: the box runs a nested loop.
    if (!listening) {
        notices_->box(
            QString::asprintf("Another software is currently using the port %d.\r\nPlease exit "
                              "that software and try again or configure a different listening "
                              "port in the network settings dialog.",
                              static_cast<int>(port_)),
            QMessageBox::Warning,
            QStringLiteral("Talvero client cannot listen for incoming calls"));
    }
    setIdleButtons();
    // The bind failure's own report may have been handled inside the box; the pane keeps
    // saying so rather than claiming a port that is not held.
    setStatusText(2, listening
                         ? QString::asprintf("Listening UDP Port: %d", static_cast<int>(port_))
                         : QStringLiteral("Error on port bind"));
}

void COstrelDlg::stopEngine() {
    std::shared_ptr<engine::Engine> engine;
    std::shared_ptr<WindowEngineSink> sink;
    GuardHold hold(engineGuard_);
    engine.swap(engine_);
    sink.swap(sink_);
    if (!engine) {
        return;
    }
    if (attempt_) {
        attempt_->requestCancel();  // a connect thread still holds the engine
    }
    // Questions still waiting are answered first: Stop waits for their request threads.
    sink->close();
    engine->stop();
    // The engine is destroyed here, or by the connect thread when it lets go of it.
}

bool COstrelDlg::withEngine(const std::function<void(engine::Engine&)>& use) {
    GuardHold hold(engineGuard_);
    if (!engine_) {
        return false;
    }
    use(*engine_);
    return true;
}

void COstrelDlg::setEngineUserName(const std::string& name) {
    GuardHold hold(engineGuard_);
    if (engine_) {
        engine_->setUserName(name);
    }
}

void COstrelDlg::setIdleButtons() {
    if (talk_ == nullptr) {
        return;
    }
    hangUp_->setEnabled(false);
    talk_->setEnabled(true);
    conference_->setEnabled(false);
}

void COstrelDlg::setActiveButtons() {
    hangUp_->setEnabled(true);
    talk_->setEnabled(false);
    conference_->setEnabled(true);
}

void COstrelDlg::talk(bool quiet) {
    if (!loggedIn_) {
        if (!quiet) {
            notices_->box(QStringLiteral(
                "You have to login to make a call. Please login and then try again"));
        }
        return;
    }
    if (isConnecting()) {
        if (!quiet) {
            notices_->box(kOneAttempt);
        }
        return;
    }
    for (const auto& step : stopPlaybackSteps_) {
        step();
    }
    endCall(false);
    startEngine();
    cancelled_ = false;
    showConnecting();
    runConnect(quiet);
    closeConnecting();

    std::vector<engine::ConnectedPeer> peers;
    {
        GuardHold hold(engineGuard_);
        if (engine_) {
            peers = engine_->connectedPeers();
        }
    }
    if (peers.empty()) {
        endCall(true);
    } else {
        platform::trace("Active connetions are present.. Not Hanging..");
        setActiveButtons();
    }
    if (exitPending_) {
        exitPending_ = false;
        exitProgram();
    }
}

void COstrelDlg::addToConference(bool quiet) {
    if (isConnecting()) {
        if (!quiet) {
            notices_->box(kOneAttempt);
        }
        return;
    }
    cancelled_ = false;
    showConnecting();
    runConnect(quiet);
    closeConnecting();
    if (exitPending_) {
        exitPending_ = false;
        exitProgram();
    }
}

void COstrelDlg::showConnecting() {
    connecting_ = new ConnectingWindow(this);
    connect(connecting_.data(), &ConnectingWindow::cancelRequested, this, [this] {
        cancelled_ = true;
        connectState_ = kCancelling;
        if (attempt_) {
            attempt_->requestCancel();
        }
    });
    connecting_->show();
}

void COstrelDlg::closeConnecting() {
    if (connecting_) {
        connecting_->hide();
        connecting_->deleteLater();
        connecting_.clear();
    }
}

std::optional<engine::ConnectionRequest> COstrelDlg::callTarget(bool quiet) {
    if (quiet) {
        // A hot-key or tray Talk always dials the telephone page's target.
        auto* telephone = dynamic_cast<CallTargetPage*>(page(Page::Telephone));
        return telephone != nullptr ? telephone->prepareCall(true) : std::nullopt;
    }
    QWidget* front = pages_->currentWidget();
    if (front == page(Page::Telephone) || front == page(Page::DirectCall)) {
        if (auto* target = dynamic_cast<CallTargetPage*>(front)) {
            return target->prepareCall(false);
        }
        return std::nullopt;
    }
    if (auto* online = dynamic_cast<CallTargetPage*>(page(Page::Online))) {
        return online->prepareCall(false);
    }
    notices_->box(QStringLiteral(
        "You have to first select a buddy who is online. Select the Online tab and click on a "
        "buddy who is online, then press Talk."));
    return std::nullopt;
}

void COstrelDlg::runConnect(bool quiet) {
    std::optional<engine::ConnectionRequest> request = callTarget(quiet);
    if (!request || !connecting_) {
        return;
    }
    std::shared_ptr<engine::Engine> engine;
    {
        GuardHold hold(engineGuard_);
        engine = engine_;
    }
    if (!engine) {
        return;
    }
    attempt_ = request;
    attemptQuiet_ = quiet;
    connectState_ = kIdle;
    connecting_->setText(QString::fromStdString(connectingText(*request)));

    // The thread owns its copies: the engine lives until the attempt has returned, whatever
    // the window does to its own pointer meanwhile.
    const engine::ConnectionRequest copy = *request;
    sync::CWorkerThread thread(
        [engine, copy](void*) -> uint32_t {
            engine->connect(copy);
            return 0;
        },
        nullptr, "Connect Thread ...");
    if (!thread.Start(false)) {
        attempt_.reset();
        return;
    }
    engine.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

    bool cancelShown = false;
    uint32_t lastRingBack = platform::tickCount() - kRingBackRetryMs;
    while (thread.IsRunning()) {
        QApplication::processEvents(QEventLoop::AllEvents);
        if (connectState_ == kCancelling && !cancelShown && connecting_) {
            cancelShown = true;
            connecting_->setText(QStringLiteral("Cancelling.. Please Wait"));
        }
        if (connectState_ == kRinging && platform::tickCount() - lastRingBack >= kRingBackRetryMs) {
            lastRingBack = platform::tickCount();
            notices_->playSound(QStringLiteral("phonering.wav"), false, true);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    thread.Wait(sync::kInfinite);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    notices_->stopSounds();
    attempt_.reset();
}

void COstrelDlg::hangUp(bool confirm) {
    if (!hasEngine()) {
        return;
    }
    if (confirm && isCallActive()) {
        if (notices_->box(QStringLiteral("Do you want to disconnect the current connection?"),
                          QMessageBox::Question, QString(),
                          QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
            return;
        }
    }
    endCall(true);
    notices_->playSound(QStringLiteral("hangup.wav"));
}

void COstrelDlg::endCall(bool restart) {
    const bool wasActive = isCallActive();
    for (const auto& step : endCallSteps_) {
        step();
    }
    stopEngine();
    display_->clearDisplay();
    // The stopped engine's parties are gone with it; no report of theirs follows.
    parties_.clear();
    partyList_->clear();
    callStart_ = QDateTime();
    setIdleButtons();
    if (restart) {
        startEngine();
    }
    if (wasActive && loggedIn_ && !popupUrl_.isEmpty()) {
        openBrowserWindow(popupUrl_, kPopupUrlWidth, kPopupUrlHeight);
    }
}

void COstrelDlg::disconnectParty(engine::SessionId session) {
    GuardHold hold(engineGuard_);
    if (engine_) {
        engine_->hangUp(session);
    }
}

void COstrelDlg::partyMenu(const QPoint& at) {
    QTreeWidgetItem* item = partyList_->itemAt(at);
    if (item == nullptr) {
        return;
    }
    const engine::SessionId session{item->data(0, Qt::UserRole).toULongLong()};
    QMenu menu(this);
    QAction* disconnect = menu.addAction(QStringLiteral("&Disconnect User"));
    if (menu.exec(partyList_->viewport()->mapToGlobal(at)) == disconnect) {
        disconnectParty(session);
    }
}

void COstrelDlg::command(int code, const QString& text) {
    auto run = [this](MenuEntry entry) {
        if (auto it = menuHandlers_.find(entry); it != menuHandlers_.end() && it->second) {
            it->second();
        }
    };
    switch (code) {
        case kLogin:
            if (!loggedIn_) {
                run(MenuEntry::Login);
            }
            break;
        case kLogOff:
            if (loggedIn_) {
                run(MenuEntry::LogOff);
            }
            break;
        case kRefreshOnline:
            if (loggedIn_) {
                run(MenuEntry::Refresh);
            }
            break;
        case kTrace:
            platform::trace(text.toStdString());
            break;
        case kLogOffQuietly:
            if (loggedIn_) {
                loggedOut();
            }
            break;
        case kTalkHotkey:
            bringToFront();
            if (hasEngine()) {
                if (isCallActive()) {
                    addToConference(true);
                } else {
                    talk(true);
                }
            }
            break;
        case kHangUpHotkey:
            hangUp(false);
            break;
        default:
            break;  // the player reports its progress to its own group, not through here
    }
}

std::vector<COstrelDlg::Party> COstrelDlg::parties() const {
    std::vector<Party> list;
    for (int row = 0; row < partyList_->topLevelItemCount(); ++row) {
        const uint64_t id = partyList_->topLevelItem(row)->data(0, Qt::UserRole).toULongLong();
        if (auto it = parties_.find(id); it != parties_.end()) {
            list.push_back(it->second);
        }
    }
    return list;
}

void COstrelDlg::exitProgram() {
    if (exitFlag_) {
        return;
    }
    if (isConnecting()) {
        // The attempt's loop is on the stack below us: cancel it and exit once it returns.
        exitPending_ = true;
        cancelled_ = true;
        if (attempt_) {
            attempt_->requestCancel();
        }
        return;
    }
    if (exitLogoff_) {
        if (!exitLogoff_()) {
            notices_->beep(1000, 100);
            return;
        }
    } else {
        if (busy_.WaitOnSemaphore(5) == 0) {
            notices_->beep(1000, 100);
            return;
        }
        busy_.SignalSemaphore();
        if (loggedIn_) {
            command(kLogOff);
        }
    }
    exitFlag_ = true;
    platform::trace("Exit: exit flag set");
    timer16_.stop();
    timer17_.stop();
    for (const auto& step : exitSteps_) {
        step();
    }
    platform::trace("Exit: workers stopped");
    emit exitRequested();
}

}  // namespace ostrel::app
