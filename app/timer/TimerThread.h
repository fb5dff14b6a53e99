// Application: the timer thread ("The infamous Timer Thread!"), which does every periodic
// task that touches the network: the status check with the own-address detection, the
// keep-alive, the presence refresh, the automatic login trigger and the call report. Any
// thread posts to it; it answers the window only through TimerHost's posts.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "account/AccountSession.h"
#include "account/OnlineList.h"
#include "app/timer/TimerHost.h"
#include "netconfig/NetworkSettings.h"
#include "sync/CWorkerThread.h"
#include "sync/ThreadMessages.h"

namespace ostrel::webservice {
class HttpRequester;
}

namespace ostrel::app {

inline constexpr uint32_t kTimerQuit = sync::WM_USER + 0x78;
inline constexpr uint32_t kTimerStatusCheck = sync::WM_USER + 0x79;
inline constexpr uint32_t kTimerCallReport = sync::WM_USER + 0x7A;

// A call report handed to the timer thread; the thread runs it only while logged in and
// deletes it in any case.
class CallReportTask {
public:
    virtual ~CallReportTask() = default;
    virtual void Send() = 0;
};

inline constexpr const char* kLoggedOffCaption =
    "You are logged off from Talvero.     [This window will auto close in %d secs]";
inline constexpr const char* kBusyCaption =
    "Sever is busy now.     [This window will auto close in %d secs]";
inline constexpr const char* kSupportAddress = "support@talvero.example";
std::string BusyServerText();

struct TimerThreadOptions {
    // Own-address detection with a limit in seconds; empty: netconfig::DetectOwnAddress.
    std::function<std::string(unsigned)> detectOwnAddress;
    // Pause after posting a logoff, so the window sees it before the next request.
    unsigned postPauseMs = 10;
};

class TimerThread {
public:
    TimerThread(TimerHost& host, account::AccountSession& session, account::OnlineList& online,
                webservice::HttpRequester& requester, TimerThreadOptions options = {});
    // Quits and joins the thread if it still runs.
    ~TimerThread();

    TimerThread(const TimerThread&) = delete;
    TimerThread& operator=(const TimerThread&) = delete;

    bool Start();
    // Posts the quit message and waits for the thread without a time limit.
    void Quit();

    bool PostStatusCheck();
    // Takes ownership of the report; false (and the report deleted) when the thread is gone.
    bool PostCallReport(std::unique_ptr<CallReportTask> report);

    // Owned here, read by the window for status pane 1 and the calls.
    std::string NetworkStatusText() const;
    std::string DetectedAddress() const;
    bool BehindFirewall() const { return behindFirewall_.load(); }
    uint32_t BusyCount() const { return busyCount_.load(); }
    // Status checks run so far (after collapsing repeated requests).
    uint32_t StatusChecksRun() const { return checksRun_.load(); }

private:
    uint32_t run();
    void statusCheck();
    void keepAlive(const account::Credentials& who, const webservice::ServiceDirectory& directory,
                   const std::string& ownAddress);
    void presenceRefresh(const account::Credentials& who,
                         const webservice::ServiceDirectory& directory);
    void setNetworkStatus(const std::string& text);
    void pause() const;

    TimerHost& host_;
    account::AccountSession& session_;
    account::OnlineList& online_;
    webservice::HttpRequester& requester_;
    TimerThreadOptions options_;
    std::unique_ptr<sync::CWorkerThread> worker_;

    // Timer thread only.
    bool firstCheck_ = true;
    bool firstSuccess_ = false;
    netconfig::NetworkSettings previous_;
    netconfig::NetworkSettings current_;

    mutable std::mutex mutex_;  // guards networkStatus_ and detected_, read by the window
    std::string networkStatus_;
    std::string detected_;
    std::atomic<bool> behindFirewall_{false};
    std::atomic<uint32_t> busyCount_{0};
    std::atomic<uint32_t> checksRun_{0};
};

}  // namespace ostrel::app
