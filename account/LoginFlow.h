// Account and presence: `Login` and `Logoff`. The window thread starts them here, keeps
// pumping its messages while the worker thread ("Login Thread", "Logoff thread") runs, then
// finishes them here. Workers write `LoginState`; the window thread reads it between waits.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "account/AccountSession.h"
#include "sync/CWorkerThread.h"
#include "webservice/LoginReply.h"

namespace ostrel::account {

// Progress and outcome of the last login or logoff.
enum LoginState : uint32_t {
    kLoginStarted = 0,
    kLoginServerUnreachable = 1,  // directory or login request failed
    kLoginNoConnection = 2,       // the own-address detection found no way to the web host
    kLoginVerifying = 3,
    kLoginRefused = 4,
    kLoggedIn = 6,
    kLoginServerBusy = 8,  // the reply was not well-formed XML
    kLogoffNoConnection = 9,
    kLogoffFailed = 10,
    kLogoffUnderWay = 11,
    kLogoffRefused = 12,
    kLoggedOff = 13,
};

// The status-bar text while waiting in that state; empty when there is none.
std::string LoginStateStatusText(uint32_t state);

// The service's messages during a login. Called on the login thread, which waits for each
// call to return: implementations show the box on the window thread and block until it closes.
class LoginPrompts {
public:
    enum class Icon { None, Information, Error };
    virtual ~LoginPrompts() = default;
    // An auto-closing box; `caption` holds the "%d" of the countdown.
    virtual void ShowAutoCloseBox(const std::string& caption, const std::string& text, int seconds,
                                  Icon icon) = 0;
    virtual bool AskYesNo(const std::string& text, Icon icon) = 0;
    // The program's own browser window of 350 by 500 on that address.
    virtual void OpenServicePage(const std::string& url) = 0;
};

// What the workers use from outside; tests shorten the detection and the time-outs.
struct LoginEnvironment {
    // Own-address detection with a limit in seconds; empty: netconfig::DetectOwnAddress.
    std::function<std::string(unsigned)> detectOwnAddress;
    // The well-known web host; empty: the one in effect (settings and environment).
    std::string webHost;
    uint32_t requestTimeoutSeconds = 60;
    uint32_t quickLogoffTimeoutSeconds = 5;
    unsigned loginPauseMs = 100;
    // The program's shutting-down flag for the requests.
    std::function<bool()> shuttingDown;
};

inline constexpr const char* kEnterUserName = "Enter User Name";
inline constexpr const char* kBusyLoginCaption = "Server is busy.     [Auto close in %d secs]";
inline constexpr const char* kBusyLoginText =
    "The server is too busy now. Please try again after some time";
inline constexpr const char* kRefusedLoginCaption = "Login Failed.     [Auto close in %d secs]";

class LoginFlow {
public:
    LoginFlow(AccountSession& session, LoginPrompts& prompts, LoginEnvironment environment = {});
    ~LoginFlow();

    LoginFlow(const LoginFlow&) = delete;
    LoginFlow& operator=(const LoginFlow&) = delete;

    enum class Start {
        Started,        // the worker runs; the lock is held until Finish...
        EmptyUserName,  // "Enter User Name", nothing else happens
        Busy,           // a login, logoff or exit holds the lock: ignored
    };

    // Steps 1-5 of `Login` up to the start of the worker: trims the user name, takes the lock
    // with a 10 ms time-out, logs the session out locally and resets the reply.
    Start StartLogin(bool interactive, const std::string& user, const std::string& password);
    // After the worker has ended: on success the session is logged in with the buddy names of
    // the reply; a refused or busy login stops the automatic login. The lock stays held.
    uint32_t FinishLogin();
    // Stores the credentials ("AutoLogin" 1) or empties them, when logged in; releases the lock.
    void EndLogin();

    // `Logoff`: with `contactService` 0 nothing is sent and the session is logged out at once
    // (FinishLogoff need not be called). With `lockHeld` the caller (exit) already holds the lock.
    Start StartLogoff(bool contactService, bool quick, bool lockHeld = false);
    // After the worker has ended: the session is logged out whatever the outcome.
    uint32_t FinishLogoff();

    // True while a worker thread runs; the window waits in slices while this holds.
    bool WorkerRunning() const;
    // Waits up to `ms` for the worker; true when it has ended.
    bool WaitWorker(unsigned long ms);

    uint32_t State() const { return state_.load(); }
    bool InProgress() const { return inProgress_.load(); }
    const webservice::LoginReply& Reply() const { return reply_; }
    const std::string& UserName() const { return user_; }
    const std::string& Password() const { return password_; }

    // The process-wide first-login flag, for tests that play several runs in one process.
    static void ResetFirstLoginForTesting();

private:
    uint32_t loginWorker();
    uint32_t logoffWorker();
    std::string detect(unsigned seconds) const;
    void joinWorker();

    AccountSession& session_;
    LoginPrompts& prompts_;
    LoginEnvironment environment_;

    std::atomic<uint32_t> state_{kLoggedOff};
    std::atomic<bool> inProgress_{false};
    bool showServiceMessages_ = false;
    bool quickLogoff_ = false;
    bool lockTakenByUs_ = false;
    // Written by the login thread only; read by the window thread once the thread has ended.
    webservice::LoginReply reply_;
    std::string user_;
    std::string password_;
    std::unique_ptr<sync::CWorkerThread> worker_;
};

}  // namespace ostrel::account
