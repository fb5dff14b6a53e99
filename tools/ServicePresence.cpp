#include "tools/ServicePresence.h"

#include <chrono>

#include "webservice/LoginReply.h"
#include "webservice/StatusReplies.h"

namespace ostrel::tools {

namespace {

// The service records the address our requests come from, with the listening port we name.
constexpr uint32_t kAddressTheServiceSees = 1;

}  // namespace

ServicePresence::ServicePresence(std::string serviceHost, std::string user, std::string password,
                                 std::string instanceGuid, uint16_t listeningPort,
                                 std::FILE* report)
    : host_(std::move(serviceHost)), report_(report) {
    account_.user = std::move(user);
    account_.password = std::move(password);
    account_.instanceGuid = std::move(instanceGuid);
    account_.listeningPort = listeningPort;
    account_.address.ipType = kAddressTheServiceSees;
}

ServicePresence::~ServicePresence() {
    logoff();
}

void ServicePresence::report(const std::string& text) {
    std::fprintf(report_, "ostrel-cli: %s\n", text.c_str());
    std::fflush(report_);
}

bool ServicePresence::login() {
    if (!webservice::LoadServiceDirectory(requester_, directory_, host_)) {
        report("cannot read the service directory at " + host_);
        return false;
    }
    std::string reply;
    if (!requester_.Post(directory_.server, directory_.Target(directory_.loginScript),
                         webservice::BuildLoginRequest(account_), reply)) {
        report("the login request to " + directory_.server + " failed");
        return false;
    }
    webservice::LoginReply parsed;
    if (!webservice::ParseLoginReply(reply, parsed)) {
        report("the service's login reply is not readable");
        return false;
    }
    if (parsed.error != 0) {
        report("login refused: " + parsed.errDescription);
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        loggedIn_ = true;
    }
    report("logged in as " + account_.user + " at " + directory_.server);
    return true;
}

bool ServicePresence::loggedIn() const {
    std::lock_guard lock(mutex_);
    return loggedIn_;
}

void ServicePresence::keepAlive(uint32_t intervalMs) {
    if (!keepAlive_.joinable()) {
        keepAlive_ = std::thread([this, intervalMs] { keepAliveLoop(intervalMs); });
    }
}

void ServicePresence::keepAliveLoop(uint32_t intervalMs) {
    std::unique_lock lock(mutex_);
    while (loggedIn_ && !stopping_) {
        if (wake_.wait_for(lock, std::chrono::milliseconds(intervalMs),
                           [this] { return stopping_; })) {
            return;
        }
        lock.unlock();
        std::string reply;
        const bool sent =
            requester_.Post(directory_.server, directory_.Target(directory_.keepAliveScript),
                            webservice::BuildKeepAliveRequest(account_), reply);
        lock.lock();
        if (!sent) {
            report("keep-alive failed; trying again in the next round");
            continue;
        }
        switch (webservice::JudgeKeepAliveReply(reply)) {
            case webservice::KeepAliveVerdict::Accepted:
                break;
            case webservice::KeepAliveVerdict::LoggedOffByService:
                loggedIn_ = false;
                report("logged off by the service: " + reply);
                break;
            case webservice::KeepAliveVerdict::LogOffSilently:
                loggedIn_ = false;
                report("logged off by the service");
                break;
        }
    }
}

void ServicePresence::logoff() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (keepAlive_.joinable()) {
        keepAlive_.join();
    }
    if (!loggedIn()) {
        return;
    }
    std::string reply;
    const bool sent = requester_.Post(directory_.server, directory_.Target(directory_.logoffScript),
                                      webservice::BuildLogoffRequest(account_), reply);
    {
        std::lock_guard lock(mutex_);
        loggedIn_ = false;
    }
    report(sent && webservice::LogoffAccepted(reply) ? "logged off" : "logoff not confirmed");
}

}  // namespace ostrel::tools
