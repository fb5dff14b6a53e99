// Account and presence: who is logged in, with which credentials and service directory, and
// the login/logoff lock shared with the exit sequence. The main window owns one; the login
// page writes it on the window thread, the timer thread reads it between its requests.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "account/BuddyNames.h"
#include "sync/CSem.h"
#include "webservice/ServiceDirectory.h"

namespace ostrel::account {

struct Credentials {
    std::string user;
    std::string password;
};

class AccountSession {
public:
    explicit AccountSession(std::string instanceGuid) : instanceGuid_(std::move(instanceGuid)) {}

    const std::string& InstanceGuid() const { return instanceGuid_; }

    // Serialises login, logoff and exit. Always tried with a short time-out, never waited
    // for, so the window thread cannot block on a worker that holds it.
    sync::CSem& Lock() { return lock_; }

    bool LoggedIn() const { return loggedIn_.load(); }
    void EnterLoggedIn(const Credentials& credentials);
    void LeaveLoggedIn() { loggedIn_.store(false); }
    // The user name and password of the current (or last) login.
    Credentials LoggedInCredentials() const;

    // The directory of the last login; every later request goes where it says.
    webservice::ServiceDirectory Directory() const;
    void SetDirectory(const webservice::ServiceDirectory& directory);

    BuddyNames& Buddies() { return buddies_; }
    const BuddyNames& Buddies() const { return buddies_; }

    // 1 at start; cleared after a refused or busy login, or three busy presence replies;
    // set again by the "Login" button.
    std::atomic<bool> autoLoginAllowed{true};
    // Set by a successful login, cleared at the end of the first online-list refresh.
    std::atomic<bool> firstRefresh{false};
    // The program's exit flag: set once Exit has begun.
    std::atomic<bool> exiting{false};

private:
    const std::string instanceGuid_;
    sync::CSem lock_;
    std::atomic<bool> loggedIn_{false};
    mutable std::mutex mutex_;  // guards credentials_ and directory_
    Credentials credentials_;
    webservice::ServiceDirectory directory_;
    BuddyNames buddies_;
};

}  // namespace ostrel::account
