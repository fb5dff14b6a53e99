// A talvero-service for one test: on a free loopback port, with its own database in a fresh
// folder and the cheapest password hashing, stopped and removed by the destructor. Tests that
// need the real program as a process start build/bin/talvero-service instead.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "service/TalveroService.h"

namespace ostrel::test {

class TestService {
public:
    // `adjust` may change the options before the service opens (fewer threads, no probes).
    explicit TestService(const std::function<void(service::ServiceOptions&)>& adjust = {});
    ~TestService();
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    // False, with the reason in error(), when the service could not open or start.
    bool running() const { return service_ != nullptr; }
    const std::string& error() const { return error_; }

    service::TalveroService& service() { return *service_; }
    service::TalveroService* operator->() { return service_.get(); }
    // "127.0.0.1:PORT", the web host clients are given.
    std::string webHost() const;
    const std::string& folder() const { return folder_; }

    // Adds an account; false when it cannot.
    bool addUser(const std::string& name, const std::string& password);

private:
    std::string folder_;
    std::string error_;
    std::unique_ptr<service::TalveroService> service_;
};

}  // namespace ostrel::test
