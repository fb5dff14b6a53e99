// The service's one SQLite database file: opened (and created with its schema) once, brought
// up to the current schema version, then shared by the stores under one lock.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "service/SqlStatement.h"

namespace ostrel::service {

class Database {
public:
    // Opens or creates the file and applies the missing schema steps, each in a transaction
    // of its own. A file whose schema is newer than this program knows is refused, so an
    // older service never writes into a database it does not understand.
    static std::unique_ptr<Database> open(const std::string& path, std::string& error);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Guards the connection and every cached statement; the stores hold it for each
    // operation. SQLite serialises writers anyway; one lock keeps the cache simple, and an
    // operation is a few indexed statements (tens of microseconds).
    std::mutex& mutex() { return mutex_; }

    // The cached prepared statement for this SQL text, with its binds cleared; reset again
    // when the lease ends. Only with mutex() held.
    SqlStatement::Lease statement(const char* sql);

    // Runs SQL without results (several statements allowed). Only with mutex() held.
    bool execute(const char* sql, std::string* error = nullptr);

    int schemaVersion();
    static int currentSchemaVersion();

private:
    struct OpenKey {};

public:
    // Only open() can make the key; public so std::make_unique can call it.
    Database(OpenKey, sqlite3* handle) : handle_(handle) {}

private:
    bool migrate(std::string& error);

    sqlite3* handle_;
    std::mutex mutex_;
    std::unordered_map<std::string, std::unique_ptr<SqlStatement>> statements_;
};

// Commits at `commit()`, rolls back when left without it. Only with the database's mutex held.
class SqlTransaction {
public:
    explicit SqlTransaction(Database& db) : db_(db), open_(db.execute("BEGIN IMMEDIATE")) {}
    ~SqlTransaction() {
        if (open_) {
            db_.execute("ROLLBACK");
        }
    }
    SqlTransaction(const SqlTransaction&) = delete;
    SqlTransaction& operator=(const SqlTransaction&) = delete;

    bool active() const { return open_; }
    bool commit() {
        if (!open_) {
            return false;
        }
        open_ = false;
        if (db_.execute("COMMIT")) {
            return true;
        }
        db_.execute("ROLLBACK");
        return false;
    }

private:
    Database& db_;
    bool open_;
};

}  // namespace ostrel::service
