// Application: what the timer thread and the window timers need from the main window and
// its engine. The main window implements it. Calls marked "timer thread" come from the timer
// thread and must only post to the window (never block on it, never touch a widget).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::app {

// The main window's internal commands (WM_USER+2) that the timer thread posts.
enum WindowCommand : int {
    kCommandLogin = 1,          // if not logged in: start the automatic login
    kCommandLogoff = 2,         // if logged in: log off, telling the service
    kCommandRefreshOnline = 3,  // if logged in: RefreshOnlineUsers on the window thread
    kCommandLocalLogoff = 5,    // if logged in: log off without contacting the service
};

class TimerHost {
public:
    virtual ~TimerHost() = default;

    // Timer thread: post a command (WM_USER+2) to the window.
    virtual void PostCommand(int command) = 0;
    // Timer thread: post WM_TIMER 16 to the window, so that a status check follows at once.
    virtual void PostStatusTimer() = 0;
    // Timer thread: post message 0xFFFF (network settings changed).
    virtual void PostSettingsChanged() = 0;
    // Timer thread: show an auto-closing information box on the window thread; `caption`
    // holds the "%d" of the countdown. Returns at once.
    virtual void PostAutoCloseBox(const std::string& caption, const std::string& text,
                                  int seconds) = 0;
};

// One row of the party list as the congestion check needs it.
struct PartyDelay {
    std::string name;
    uint32_t lastDelayTick = 0;  // tick count of the party's last delay report
};

// What timer 17 and timer 16 use on the window thread.
class WindowTimerHost {
public:
    virtual ~WindowTimerHost() = default;
    // Under the engine guard: whether an engine exists and a call is active.
    virtual bool CallActive() = 0;
    // Seconds since the current call started.
    virtual uint32_t CallSeconds() = 0;
    virtual std::vector<PartyDelay> PartyDelays() = 0;
    // Every five minutes of a call: post the call report of the current parties.
    virtual void PostCallReport() = 0;
    virtual void SetStatusText(int pane, const std::string& text) = 0;
    // A notifier pop-up 200 pixels wide with its height fitted to the text.
    virtual void ShowCongestionPopup(const std::string& text) = 0;
    // Post a status check to the timer thread.
    virtual void RequestStatusCheck() = 0;
    virtual bool LoggedIn() = 0;
    // The text of status pane 1 (owned by the timer thread's status check).
    virtual std::string NetworkStatusText() = 0;
};

}  // namespace ostrel::app
