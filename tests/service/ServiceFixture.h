// Test helper: a talvero-service on a loopback port with its own database file, a clock the
// test moves, and request bodies written out field by field as the client sends them.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "service/TalveroService.h"

namespace ostrel::service::test {

// Percent-encoding as the client does it: letters and digits stay, every other byte is %XX.
std::string encode(std::string_view text);

// A fresh temporary folder, removed with its content by removeFolder.
std::string makeTempFolder();
void removeFolder(const std::string& folder);

class ServiceFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Posts with the client's one header; the reply body, or "<no reply>" on failure.
    std::string post(const std::string& target, const std::string& body);
    // The request target of a directory key, "/" + PATH + "/" + script, as the client builds it.
    std::string target(const std::string& key) const;

    void addUser(const std::string& name, const std::string& password);
    void addProvider(int64_t id, const std::string& name);

public:
    // The bodies field by field as the client builds them.
    static std::string loginBody(const std::string& user, const std::string& password,
                                 const std::string& guid, int mode, const std::string& address,
                                 int port = 1720);
    static std::string keepAliveBody(const std::string& user, const std::string& password,
                                     const std::string& guid, int mode, const std::string& address,
                                     int port = 1720);
    static std::string logoffBody(const std::string& user, const std::string& password,
                                  const std::string& guid, int mode, const std::string& address);
    static std::string onlineBody(const std::string& user, const std::string& password,
                                  const std::vector<std::string>& buddies);

protected:
    // Logs in over HTTP and expects success.
    void login(const std::string& user, const std::string& password, const std::string& guid,
               int mode = 0, const std::string& address = "203.0.113.10", int port = 1720);

    // The buddy elements of an online-users request by `user`, as userid -> element.
    std::map<std::string, std::map<std::string, std::string>> online(
        const std::string& user, const std::string& password,
        const std::vector<std::string>& buddies);

    void advance(int64_t ms) { now_ += ms; }

    std::atomic<int64_t> now_{1'700'000'000'000};
    std::string folder_;
    std::unique_ptr<TalveroService> service_;
    std::map<std::string, std::string> directory_;
    std::string publicHost_;  // set before SetUp to fix "CURRENT IP"
};

}  // namespace ostrel::service::test
