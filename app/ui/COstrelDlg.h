// The client's main window: the embedded pages, the call buttons and sliders, the party list
// and the status bar, and the one voice engine it owns at a time. The engine reports through
// the window's EngineSink as queued calls, so everything here runs on the GUI thread.
// Split by concern: COstrelDlg.cpp (layout, start-up, closing), COstrelDlgMenus.cpp (menus,
// tray, hot keys, web pages), COstrelDlgCalls.cpp (engine and calls),
// COstrelDlgNotifications.cpp (engine notifications).
#pragma once

#include <QAction>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QString>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/callreport/CallStatistics.h"
#include "app/callreport/ui/CStatisticsDlg.h"
#include "app/ui/ClientParts.h"
#include "app/ui/WindowEngineSink.h"
#include "engine/Engine.h"
#include "engine/EngineSink.h"
#include "engine/Notification.h"
#include "sync/CSem.h"

namespace ostrel::audio {
class VolumeControl;
class VolumeSliderLink;
class WaveformDisplay;
}  // namespace ostrel::audio

namespace ostrel::callreport {
class CMissedCallsDlg;
}  // namespace ostrel::callreport

namespace ostrel::desktop {
class CHotkeyHandlerWindow;
class CSystemTray;
}  // namespace ostrel::desktop

namespace ostrel::app {

class BrowserWindow;
class ConnectingWindow;
class DirectCallPage;
class IncomingCallDialog;
class WindowNotices;

class COstrelDlg : public QMainWindow {
    Q_OBJECT
public:
    using EngineFactory = std::function<std::unique_ptr<engine::Engine>(
        const std::string& identity, uint16_t port, engine::EngineSink& sink,
        const std::string& userName)>;

    struct Options {
        std::string instanceGuid;
        EngineFactory engineFactory;  // empty: NetCore
        bool useDesktop = true;       // tray icon and global hot keys
        bool useMixer = true;         // the sound card's mixer for the sliders
        bool hostParts = true;        // the account, telephone, recording and report parts
        ClientPartsOptions parts;
    };

    // The pages the window hosts; other parts of the client fill the frames.
    enum class Page { Login, Online, DirectCall, Telephone };

    // Commands of the hot keys, the timer thread and the pages.
    enum Command {
        kLogin = 1,
        kLogOff = 2,
        kRefreshOnline = 3,
        kTrace = 4,
        kLogOffQuietly = 5,
        kPlaybackProgress = 6,
        kTalkHotkey = 7,
        kHangUpHotkey = 8,
    };

    // Menu entries whose work other parts of the client do; disabled until given a handler.
    enum class MenuEntry {
        LogOff,
        Login,
        AddDeleteBuddy,
        Refresh,
        CallingCardSettings,
        NetworkSettings,
        TestNetworkSettings,
        TestAudioSettings,
    };

    // Connect states of an attempt.
    enum ConnectState { kIdle = 0, kRinging = 1, kCancelling = 2, kFailed = 3 };

    // A party of the current conversation, one per row of the party list.
    struct Party {
        QString name;
        engine::SessionId session;
        uint32_t peerVersion = 0;
        uint32_t lostPackets = 0;
        uint32_t lastDelayTick = 0;
    };

    explicit COstrelDlg(Options options, QWidget* parent = nullptr);
    // Releases the hot keys, then stops the engine.
    ~COstrelDlg() override;

    // The window's start-up, in order: hot keys, menus, status bar, recordings folder, pages,
    // mixer, engine, missed calls, timers, then shown unless `hidden`.
    void initialise(bool hidden);

    // --- Engine and calls ---
    // Start a listening engine unless one exists; stop and destroy it (under the guard).
    void startEngine();
    void stopEngine();
    void talk(bool quiet);
    void addToConference(bool quiet);
    void hangUp(bool confirm);
    void endCall(bool restart);
    void disconnectParty(engine::SessionId session);
    void command(int code, const QString& text = QString());

    // --- Login, as the account pages report it ---
    void loggedIn(const QString& user, const QString& password);
    void loggedOut();
    bool isLoggedIn() const { return loggedIn_; }
    QString userName() const { return user_; }
    QString password() const { return password_; }
    // The engine's local identity, under the engine guard; any thread.
    void setEngineUserName(const std::string& name);
    // The address shown in the program's own browser window after a call ("popup_url").
    void setPopupUrl(const QString& url) { popupUrl_ = url; }
    // The program's own browser window on `address` (a service path or a full URL).
    BrowserWindow* openBrowserWindow(const QString& address, int width, int height);
    // A service page in the desktop's browser.
    void openWebPage(const QString& pathAndQuery);

    // --- Exit ---
    // Exit from the menu or the tray: log off, stop the workers, destroy the window.
    void exitProgram();
    bool exitFlag() const { return exitFlag_; }
    // The lock that serialises login and logoff; Exit only tries it.
    sync::CSem& busySemaphore() { return busy_; }

    // --- Hosting ---
    void setPage(Page page, QWidget* widget);
    QWidget* page(Page page) const;
    void showPage(Page page);
    void setMenuHandler(MenuEntry entry, std::function<void()> handler);
    QAction* menuAction(const QString& text) const;
    // Run by Exit before the window is destroyed (the timer thread, the player's worker).
    void addExitStep(std::function<void()> step) { exitSteps_.push_back(std::move(step)); }
    // Run by End call before the engine stops (a recording in progress is saved).
    void addEndCallStep(std::function<void()> step) { endCallSteps_.push_back(std::move(step)); }
    // Run after the window has handled an engine notification, with whether it belongs to
    // the current call (the call report follows joins, departures, delays and losses).
    using NotificationListener =
        std::function<void(const engine::Notification& notification, bool current)>;
    void addNotificationListener(NotificationListener listener) {
        notificationListeners_.push_back(std::move(listener));
    }
    // Exit's log-off: false while a login or logoff is under way (Exit then only beeps).
    void setExitLogoff(std::function<bool()> logoff) { exitLogoff_ = std::move(logoff); }
    // Timer 17 (every second) and timer 16 (every 45 s) go to these instead of the window's
    // own call clock.
    void setTimerHandlers(std::function<void()> callClock, std::function<void()> statusTimer);
    // Run before a call is placed or answered (a playback in progress is stopped).
    void addStopPlaybackStep(std::function<void()> step) {
        stopPlaybackSteps_.push_back(std::move(step));
    }
    QGroupBox* recordPlayGroup() const { return recordPlay_; }
    // Where every engine's voice blocks go for the conversation's recording (engine threads).
    // Set before the first engine starts; it outlives every engine.
    void setBlockRecorder(WindowEngineSink::BlockRecorder recorder) {
        blockRecorder_ = std::move(recorder);
    }
    // Runs `use` on the current engine under the engine guard; false (not run) without one.
    // `use` must not run a nested event loop.
    bool withEngine(const std::function<void(engine::Engine&)>& use);

    // --- State, for the pages and for tests ---
    WindowNotices& notices() const { return *notices_; }
    QString statusText(int pane) const;
    void setStatusText(int pane, const QString& text);
    bool hasEngine() const;
    bool isCallActive() const;
    // Whether the current engine's call is the current call (reports of others are dropped).
    bool isCurrent() const;
    int connectState() const { return connectState_; }
    bool isConnecting() const { return !connecting_.isNull(); }
    ConnectingWindow* connectingWindow() const;
    // The connecting window's text while a page prepares the call (nothing without one).
    void setConnectingText(const QString& text);
    // Whether the user cancelled the connection attempt in progress.
    bool cancelRequested() const { return cancelled_; }
    // The Program Settings dialog, modal; true when it was left with OK.
    bool openProgramSettings();

    // A volume slider with the link and mixer control behind it (both null without a mixer).
    enum class Volume { Master, Speaker, Microphone };
    struct VolumeLine {
        QSlider* slider = nullptr;
        audio::VolumeSliderLink* link = nullptr;
        audio::VolumeControl* control = nullptr;
    };
    VolumeLine volumeLine(Volume which) const;

    std::vector<Party> parties() const;
    const callreport::CallStatistics& statistics() const { return statistics_; }
    callreport::CStatisticsDlg* statisticsWindow() const { return statisticsWindow_; }
    callreport::CMissedCallsDlg* missedCalls() const { return missedCalls_; }
    ClientParts* parts() const { return parts_.get(); }
    // When the current call became active (invalid without one).
    QDateTime callStartTime() const { return callStart_; }
    QTreeWidget* partyList() const { return partyList_; }
    QPushButton* talkButton() const { return talk_; }
    QPushButton* hangUpButton() const { return hangUp_; }
    QPushButton* conferenceButton() const { return conference_; }
    audio::WaveformDisplay* signalDisplay() const { return display_; }
    DirectCallPage* directCallPage() const { return directCall_; }
    uint16_t listeningPort() const { return port_; }
    // The engine guard: every creation, destruction and use of the engine holds it.
    sync::CSem& engineGuard() { return engineGuard_; }
    // The current engine's sink (tests deliver notifications through it).
    std::shared_ptr<WindowEngineSink> currentSink() const;


signals:
    // The window has been told to go; the application destroys it and ends.
    void exitRequested();
    // A call of the current engine has become active.
    void callBecameActive();
    // The question about an incoming call is on screen (modal for a new call).
    void incomingCallShown(ostrel::app::IncomingCallDialog* dialog);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Layout and start-up (COstrelDlg.cpp).
    void buildControls();
    void buildStatusBar();
    void updateTitle();
    void updateActiveTime();
    void showPageSet();
    void bringToFront();

    // Menus, tray and hot keys (COstrelDlgMenus.cpp).
    void buildMenus();
    void buildTray();
    void registerHotkeys();
    void releaseHotkeys();
    void runVolumeControl(bool recording);
    void startUpdater(const QString& argument);

    // Engine and calls (COstrelDlgCalls.cpp).
    void runConnect(bool quiet);
    std::optional<engine::ConnectionRequest> callTarget(bool quiet);
    void showConnecting();
    void closeConnecting();
    void setIdleButtons();
    void setActiveButtons();
    void partyMenu(const QPoint& at);

    // Notifications (COstrelDlgNotifications.cpp).
    void handleNotification(WindowEngineSink& sink, engine::Notification notification);
    void onIncomingCall(WindowEngineSink& sink, engine::IncomingCallRequest* question);
    void onIncomingCallInCall(WindowEngineSink& sink, engine::IncomingCallRequest* question);
    void onCallActive(uint64_t generation);
    void onConnectFailed(const engine::ConnectionRequest& request);
    void onPeerJoined(const engine::PeerJoinedRecord& record);
    void onPeerDisconnected(const engine::SessionEvent& event);
    void onDelay(const engine::DelayRecord& record);
    QTreeWidgetItem* partyRow(engine::SessionId session) const;

    Options options_;
    WindowNotices* notices_ = nullptr;

    // The engine, its sink and the generation that tags the sink's notifications, all under
    // engineGuard_ (a CSem of count 1, not re-entrant: never held across a nested loop).
    sync::CSem engineGuard_;
    std::shared_ptr<engine::Engine> engine_;
    std::shared_ptr<WindowEngineSink> sink_;
    uint64_t generation_ = 0;
    // The generation whose call is the current call; 0 matches no engine.
    uint64_t callMarker_ = 0;
    uint16_t port_ = 0;

    // The attempt in progress.
    QPointer<ConnectingWindow> connecting_;
    std::optional<engine::ConnectionRequest> attempt_;
    bool attemptQuiet_ = false;
    int connectState_ = kIdle;
    bool cancelled_ = false;

    bool loggedIn_ = false;
    QString user_;
    QString password_;
    QString popupUrl_;

    bool exitFlag_ = false;
    bool exitPending_ = false;  // Exit chosen during an attempt; done when it ends
    sync::CSem busy_;

    QDateTime callStart_;
    callreport::CallStatistics statistics_;
    std::map<uint64_t, Party> parties_;  // by session value

    // Controls.
    QTabWidget* pages_ = nullptr;
    std::map<Page, QWidget*> pageWidgets_;
    DirectCallPage* directCall_ = nullptr;
    QTreeWidget* partyList_ = nullptr;
    QPushButton* talk_ = nullptr;
    QPushButton* hangUp_ = nullptr;
    QPushButton* conference_ = nullptr;
    QSlider* master_ = nullptr;
    QSlider* speaker_ = nullptr;
    QSlider* microphone_ = nullptr;
    QGroupBox* recordPlay_ = nullptr;
    audio::WaveformDisplay* display_ = nullptr;
    QLabel* panes_[3] = {};
    callreport::CMissedCallsDlg* missedCalls_ = nullptr;
    QPointer<callreport::CStatisticsDlg> statisticsWindow_;
    QTimer timer16_;
    QTimer timer17_;

    std::map<MenuEntry, QAction*> hostedActions_;
    std::map<MenuEntry, std::function<void()>> menuHandlers_;
    std::vector<std::function<void()>> exitSteps_;
    std::vector<std::function<void()>> endCallSteps_;
    std::vector<std::function<void()>> stopPlaybackSteps_;
    std::vector<NotificationListener> notificationListeners_;
    std::function<bool()> exitLogoff_;
    WindowEngineSink::BlockRecorder blockRecorder_;

    std::unique_ptr<audio::VolumeControl> masterControl_;
    std::unique_ptr<audio::VolumeControl> speakerControl_;
    std::unique_ptr<audio::VolumeControl> microphoneControl_;
    std::vector<std::unique_ptr<audio::VolumeSliderLink>> sliderLinks_;
    audio::VolumeSliderLink* microphoneLink_ = nullptr;

    desktop::CSystemTray* tray_ = nullptr;
    std::unique_ptr<desktop::CHotkeyHandlerWindow> hotkeys_;

    // Last: it goes first, while every control it uses still exists.
    std::unique_ptr<ClientParts> parts_;
};

}  // namespace ostrel::app
