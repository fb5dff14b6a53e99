// ostrel-cli's web service account: logs in, keeps the login alive every 45 seconds so the
// user stays online (and can be called as a buddy), and logs off at the end. Reports go to a
// text stream (standard error), never among the engine's notification lines.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "webservice/HttpRequester.h"
#include "webservice/ServiceDirectory.h"
#include "webservice/ServiceRequests.h"

namespace ostrel::tools {

class ServicePresence {
public:
    // Logged in as reachable at the address the service sees, on `listeningPort`.
    ServicePresence(std::string serviceHost, std::string user, std::string password,
                    std::string instanceGuid, uint16_t listeningPort, std::FILE* report);
    ~ServicePresence();
    ServicePresence(const ServicePresence&) = delete;
    ServicePresence& operator=(const ServicePresence&) = delete;

    // Reads the service directory and logs in; false (with the reason reported) when either
    // fails or the service refuses the login.
    bool login();
    // Sends the keep-alive every `intervalMs` on a thread of its own until logoff, or until the
    // service logs us off ("#" or "-").
    void keepAlive(uint32_t intervalMs = 45000);
    // Ends the keep-alive and logs off when still logged in.
    void logoff();

    bool loggedIn() const;

private:
    void keepAliveLoop(uint32_t intervalMs);
    void report(const std::string& text);

    const std::string host_;
    webservice::AccountRequest account_;
    std::FILE* report_;
    webservice::HttpRequester requester_{30};
    webservice::ServiceDirectory directory_;

    mutable std::mutex mutex_;  // guards loggedIn_ and stopping_
    std::condition_variable wake_;
    bool loggedIn_ = false;
    bool stopping_ = false;
    std::thread keepAlive_;
};

}  // namespace ostrel::tools
