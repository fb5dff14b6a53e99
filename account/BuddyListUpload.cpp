#include "account/BuddyListUpload.h"

#include "webservice/HttpRequester.h"
#include "webservice/ServiceRequests.h"

namespace ostrel::account {

BuddyListUpload::BuddyListUpload(AccountSession& session, uint32_t timeoutSeconds)
    : session_(session), timeoutSeconds_(timeoutSeconds) {}

BuddyListUpload::~BuddyListUpload() {
    if (worker_) {
        worker_->Wait(sync::kInfinite);
    }
}

bool BuddyListUpload::Start() {
    if (worker_) {
        return false;
    }
    worker_ = std::make_unique<sync::CWorkerThread>([this](void*) { return run(); }, nullptr,
                                                    "BuddyList Sync Thread");
    return worker_->Start(false);
}

bool BuddyListUpload::Running() const {
    return worker_ && worker_->IsRunning();
}

bool BuddyListUpload::Wait(unsigned long ms) {
    return !worker_ || worker_->Wait(ms) != sync::WaitResult::TimedOut;
}

uint32_t BuddyListUpload::run() {
    if (!session_.LoggedIn()) {
        return 0;
    }
    const Credentials who = session_.LoggedInCredentials();
    const webservice::ServiceDirectory directory = session_.Directory();
    webservice::HttpRequester requester(timeoutSeconds_);
    std::string reply;
    const bool ok = requester.Post(
        directory.server, directory.Target(directory.buddyListScript),
        webservice::BuildBuddyListRequest(who.user, who.password, session_.Buddies().Snapshot()),
        reply);
    answered_.store(ok);
    return ok ? 1 : 0;
}

}  // namespace ostrel::account
