// Test support: a talvero-service on a free loopback port with its own database and a fresh
// settings folder, and a few accounts. Used on the test's thread; the service serves on its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "service/TalveroService.h"
#include "tests/webservice/ScopedConfigDir.h"

namespace ostrel::account::test {

class ServiceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ =
            platform::joinPath(platform::tempFolder(), "ostrel-account-" + platform::newGuidText());
        std::filesystem::create_directories(folder_);
        service::ServiceOptions options;
        options.listenPort = 0;
        options.databasePath = platform::joinPath(folder_, "service.db");
        options.hashCost = service::HashCost::Minimum;
        options.workerThreads = 4;
        std::string error;
        service_ = service::TalveroService::open(options, error);
        ASSERT_TRUE(service_) << error;
        ASSERT_TRUE(service_->start(error)) << error;
        webHost_ = "127.0.0.1:" + std::to_string(service_->port());
        setenv("OSTREL_SERVICE_HOST", webHost_.c_str(), 1);
        addUser("alice", "alice-pw");
        addUser("bob", "bob pw");
        addUser("carol", "carol-pw");
        addUser("dave", "dave-pw");
    }

    void TearDown() override {
        unsetenv("OSTREL_SERVICE_HOST");
        if (service_) {
            service_->stop();
        }
        std::filesystem::remove_all(folder_);
    }

    std::vector<std::string> storedBuddies(const std::string& user) {
        const auto account = service_->accounts().findUser(user);
        return account ? service_->accounts().buddies(account->id) : std::vector<std::string>{};
    }

    bool isOnline(const std::string& user) {
        return service_->presence().online(user, service_->now()).has_value();
    }

    void addUser(const std::string& name, const std::string& password) {
        const auto hash = service_->hasher().hash(password);
        ASSERT_TRUE(hash);
        ASSERT_EQ(service_->accounts().addUser(name, *hash, 0), service::AddResult::Added);
    }

    void setBuddies(const std::string& user, const std::vector<std::string>& names) {
        const auto account = service_->accounts().findUser(user);
        ASSERT_TRUE(account);
        ASSERT_TRUE(service_->accounts().setBuddies(account->id, names));
    }

    webservice::test::ScopedConfigDir config_;
    std::string folder_;
    std::unique_ptr<service::TalveroService> service_;
    std::string webHost_;
};

}  // namespace ostrel::account::test
