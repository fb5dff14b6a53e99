// Account and presence: the upload of the edited buddy list on its own worker thread
// ("BuddyList Sync Thread"). The window thread starts it and pumps messages until it ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "account/AccountSession.h"
#include "sync/CWorkerThread.h"

namespace ostrel::account {

class BuddyListUpload {
public:
    explicit BuddyListUpload(AccountSession& session, uint32_t timeoutSeconds = 60);
    ~BuddyListUpload();

    BuddyListUpload(const BuddyListUpload&) = delete;
    BuddyListUpload& operator=(const BuddyListUpload&) = delete;

    bool Start();
    bool Running() const;
    bool Wait(unsigned long ms);
    // Whether the service answered at all (the reply itself is not used).
    bool Answered() const { return answered_.load(); }

private:
    uint32_t run();

    AccountSession& session_;
    uint32_t timeoutSeconds_;
    std::atomic<bool> answered_{false};
    std::unique_ptr<sync::CWorkerThread> worker_;
};

}  // namespace ostrel::account
