#include "service/Database.h"

#include "service/ServiceSchema.h"

namespace ostrel::service {

std::unique_ptr<Database> Database::open(const std::string& path, std::string& error) {
    sqlite3* handle = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        error = "cannot open database " + path + ": " +
                (handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
        sqlite3_close(handle);
        return nullptr;
    }
    auto db = std::make_unique<Database>(OpenKey{}, handle);
    // The subcommands may run while the service runs: wait up to 5 s for the other process'
    // write instead of failing at once.
    sqlite3_busy_timeout(handle, 5000);
    std::lock_guard lock(db->mutex_);
    // WAL with synchronous=NORMAL: a keep-alive's update costs no fsync, and a power loss can
    // lose at most the last few presence refreshes, never corrupt the file.
    if (!db->execute("PRAGMA journal_mode=WAL", &error) ||
        !db->execute("PRAGMA synchronous=NORMAL", &error) ||
        !db->execute("PRAGMA foreign_keys=ON", &error)) {
        error = "cannot set up database " + path + ": " + error;
        return nullptr;
    }
    if (!db->migrate(error)) {
        error = "database " + path + ": " + error;
        return nullptr;
    }
    return db;
}

Database::~Database() {
    statements_.clear();
    sqlite3_close(handle_);
}

SqlStatement::Lease Database::statement(const char* sql) {
    auto found = statements_.find(sql);
    if (found == statements_.end()) {
        found = statements_.emplace(sql, std::make_unique<SqlStatement>(handle_, sql)).first;
    }
    found->second->reset();
    return SqlStatement::Lease(*found->second);
}

bool Database::execute(const char* sql, std::string* error) {
    char* message = nullptr;
    if (sqlite3_exec(handle_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        if (error != nullptr) {
            *error = message != nullptr ? message : sqlite3_errmsg(handle_);
        }
        sqlite3_free(message);
        return false;
    }
    return true;
}

int Database::schemaVersion() {
    auto query = statement("PRAGMA user_version");
    return query->step() ? static_cast<int>(query->integer(0)) : -1;
}

int Database::currentSchemaVersion() {
    return static_cast<int>(schemaSteps().size());
}

bool Database::migrate(std::string& error) {
    const int found = schemaVersion();
    if (found < 0) {
        error = "cannot read the schema version";
        return false;
    }
    if (found > currentSchemaVersion()) {
        error = "schema version " + std::to_string(found) + " is newer than this program (" +
                std::to_string(currentSchemaVersion()) + ")";
        return false;
    }
    for (int version = found + 1; version <= currentSchemaVersion(); ++version) {
        SqlTransaction transaction(*this);
        const std::string setVersion = "PRAGMA user_version=" + std::to_string(version);
        if (!transaction.active() || !execute(schemaSteps()[version - 1], &error) ||
            !execute(setVersion.c_str(), &error) || !transaction.commit()) {
            error = "schema step " + std::to_string(version) + " failed: " + error;
            return false;
        }
    }
    return true;
}

}  // namespace ostrel::service
