// Test support: a talvero-service on a free loopback port with its own database and a fresh
// settings folder, and a few accounts. Used on the test's thread; the service serves on its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "service/TalveroService.h"
#include "tests/support/TestService.h"
#include "tests/webservice/ScopedConfigDir.h"

namespace ostrel::account::test {

class ServiceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.running()) << service_.error();
        webHost_ = service_.webHost();
        setenv("OSTREL_SERVICE_HOST", webHost_.c_str(), 1);
        addUser("alice", "alice-pw");
        addUser("bob", "bob pw");
        addUser("carol", "carol-pw");
        addUser("dave", "dave-pw");
    }

    void TearDown() override { unsetenv("OSTREL_SERVICE_HOST"); }

    std::vector<std::string> storedBuddies(const std::string& user) {
        const auto account = service_->accounts().findUser(user);
        return account ? service_->accounts().buddies(account->id) : std::vector<std::string>{};
    }

    bool isOnline(const std::string& user) {
        return service_->presence().online(user, service_->now()).has_value();
    }

    void addUser(const std::string& name, const std::string& password) {
        ASSERT_TRUE(service_.addUser(name, password));
    }

    void setBuddies(const std::string& user, const std::vector<std::string>& names) {
        const auto account = service_->accounts().findUser(user);
        ASSERT_TRUE(account);
        ASSERT_TRUE(service_->accounts().setBuddies(account->id, names));
    }

    webservice::test::ScopedConfigDir config_;
    ostrel::test::TestService service_;
    std::string webHost_;
};

}  // namespace ostrel::account::test
