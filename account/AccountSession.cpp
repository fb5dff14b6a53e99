#include "account/AccountSession.h"

namespace ostrel::account {

void AccountSession::EnterLoggedIn(const Credentials& credentials) {
    {
        std::lock_guard lock(mutex_);
        credentials_ = credentials;
    }
    loggedIn_.store(true);
}

Credentials AccountSession::LoggedInCredentials() const {
    std::lock_guard lock(mutex_);
    return credentials_;
}

webservice::ServiceDirectory AccountSession::Directory() const {
    std::lock_guard lock(mutex_);
    return directory_;
}

void AccountSession::SetDirectory(const webservice::ServiceDirectory& directory) {
    std::lock_guard lock(mutex_);
    directory_ = directory;
}

}  // namespace ostrel::account
