// The database file, its schema steps, password hashing and the credential cache.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <sstream>

#include "platform/Platform.h"
#include "service/AccountStore.h"
#include "service/CredentialCheck.h"
#include "service/Database.h"
#include "service/PasswordHasher.h"
#include "service/PresenceStore.h"
#include "service/RateLimiter.h"
#include "service/TalveroService.h"
#include "tests/service/ServiceFixture.h"

namespace ostrel::service {
namespace {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = test::makeTempFolder();
        ASSERT_FALSE(folder_.empty());
        path_ = platform::joinPath(folder_, "t.db");
    }
    void TearDown() override { test::removeFolder(folder_); }

    int fileVersion() {
        sqlite3* db = nullptr;
        sqlite3_open(path_.c_str(), &db);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &statement, nullptr);
        sqlite3_step(statement);
        const int version = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return version;
    }

    std::string folder_;
    std::string path_;
};

TEST_F(StoreTest, FirstOpenCreatesTheSchemaAndLaterOpensKeepTheData) {
    std::string error;
    {
        auto db = Database::open(path_, error);
        ASSERT_TRUE(db) << error;
        AccountStore accounts(*db);
        ASSERT_EQ(accounts.addUser("alice", "hash", 1), AddResult::Added);
    }
    EXPECT_EQ(fileVersion(), Database::currentSchemaVersion());
    auto db = Database::open(path_, error);
    ASSERT_TRUE(db) << error;
    AccountStore accounts(*db);
    const auto alice = accounts.findUser("ALICE");
    ASSERT_TRUE(alice);
    EXPECT_EQ(alice->name, "alice");
    EXPECT_EQ(accounts.addUser("Alice", "other", 2), AddResult::AlreadyExists);
}

TEST_F(StoreTest, ANewerSchemaIsRefused) {
    sqlite3* raw = nullptr;
    sqlite3_open(path_.c_str(), &raw);
    sqlite3_exec(raw, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    std::string error;
    EXPECT_FALSE(Database::open(path_, error));
    EXPECT_NE(error.find("newer"), std::string::npos) << error;
    EXPECT_EQ(fileVersion(), 99) << "the file is left as it was";
}

TEST_F(StoreTest, AFileThatIsNotADatabaseIsRefused) {
    std::ofstream(path_) << "this is not a database, just some text that is long enough";
    std::string error;
    EXPECT_FALSE(Database::open(path_, error));
    EXPECT_FALSE(error.empty());
}

TEST_F(StoreTest, PasswordsAreNeverStoredPlain) {
    const std::string password = "correct horse battery";
    std::string error;
    {
        auto db = Database::open(path_, error);
        ASSERT_TRUE(db);
        PasswordHasher hasher(HashCost::Minimum);
        const auto hash = hasher.hash(password);
        ASSERT_TRUE(hash);
        AccountStore(*db).addUser("alice", *hash, 1);
    }
    std::ifstream file(path_, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    std::ifstream wal(path_ + "-wal", std::ios::binary);
    content << wal.rdbuf();
    EXPECT_EQ(content.str().find(password), std::string::npos);
}

TEST(PasswordHasherTest, SaltedAndVerifiedAtEitherCost) {
    PasswordHasher cheap(HashCost::Minimum);
    PasswordHasher standard(HashCost::Standard);
    const auto a = cheap.hash("secret");
    const auto b = cheap.hash("secret");
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b) << "each hash has its own salt";
    EXPECT_TRUE(standard.verify(*a, "secret"));
    EXPECT_FALSE(cheap.verify(*a, "Secret"));
    EXPECT_FALSE(cheap.verify(*a, ""));
    EXPECT_FALSE(cheap.verify("secret", "secret")) << "a plain text is not a hash";
    EXPECT_FALSE(cheap.verify("", ""));
    const auto strong = standard.hash("");
    ASSERT_TRUE(strong);
    EXPECT_TRUE(cheap.verify(*strong, ""));
}

TEST_F(StoreTest, CredentialCacheFollowsAChangedPassword) {
    std::string error;
    auto db = Database::open(path_, error);
    ASSERT_TRUE(db);
    AccountStore accounts(*db);
    PasswordHasher hasher(HashCost::Minimum);
    CredentialCheck check(accounts, hasher);
    accounts.addUser("alice", *hasher.hash("old"), 1);
    EXPECT_TRUE(check.verify("alice", "old"));
    EXPECT_TRUE(check.verify("Alice", "old")) << "remembered, and names ignore case";
    EXPECT_FALSE(check.verify("alice", "new"));
    // Another process (the set-password command) writes a new hash.
    accounts.setPasswordHash(accounts.findUser("alice")->id, *hasher.hash("new"));
    EXPECT_FALSE(check.verify("alice", "old")) << "the remembered digest no longer counts";
    EXPECT_TRUE(check.verify("alice", "new"));
    EXPECT_FALSE(check.verify("nobody", "new"));
}

TEST_F(StoreTest, OldEndedLoginsAreDroppedAtTheNextLogin) {
    std::string error;
    auto db = Database::open(path_, error);
    ASSERT_TRUE(db);
    AccountStore accounts(*db);
    PresenceStore presence(*db);
    accounts.addUser("alice", "h", 0);
    const int64_t id = accounts.findUser("alice")->id;
    Presence p;
    p.instanceGuid = "first";
    p.address = "1.2.3.4";
    ASSERT_TRUE(presence.recordLogin(id, p, 1'000));
    p.instanceGuid = "second";
    ASSERT_TRUE(presence.recordLogin(id, p, 2'000));
    ASSERT_TRUE(presence.session("first"));
    EXPECT_EQ(presence.session("first")->state, SessionState::Superseded);
    const int64_t dayLater = 2'000 + 25LL * 3600 * 1000;
    p.instanceGuid = "third";
    ASSERT_TRUE(presence.recordLogin(id, p, dayLater));
    EXPECT_FALSE(presence.session("first"));
    EXPECT_FALSE(presence.session("second")) << "superseded now, but last seen a day ago";
    p.instanceGuid = "fourth";
    ASSERT_TRUE(presence.recordLogin(id, p, dayLater + 1'000));
    const auto third = presence.session("third");
    ASSERT_TRUE(third) << "a login superseded moments ago is kept for its keep-alive verdict";
    EXPECT_EQ(third->state, SessionState::Superseded);
    const auto current = presence.online(id, dayLater + 1'000);
    ASSERT_TRUE(current);
    EXPECT_EQ(current->instanceGuid, "fourth");
}

TEST(RateLimiterTest, CountsPerKeyAndWindow) {
    RateLimiter limiter(2, 1000);
    EXPECT_TRUE(limiter.allow("a", 0));
    EXPECT_TRUE(limiter.allow("a", 10));
    EXPECT_FALSE(limiter.allow("a", 999));
    EXPECT_TRUE(limiter.allow("b", 999));
    EXPECT_TRUE(limiter.allow("a", 1000));
}

}  // namespace
}  // namespace ostrel::service

namespace ostrel::service {
namespace {

TEST_F(StoreTest, ServiceStopsRightAfterStart) {
    for (int i = 0; i < 20; ++i) {
        ServiceOptions options;
        options.listenPort = 0;
        options.databasePath = path_;
        std::string error;
        auto service = TalveroService::open(options, error);
        ASSERT_TRUE(service) << error;
        ASSERT_TRUE(service->start(error)) << error;
        service->stop();
    }
}

}  // namespace
}  // namespace ostrel::service
