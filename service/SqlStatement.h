// One prepared SQLite statement with typed binds and column reads. Used only while the
// database's lock is held.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::service {

class SqlStatement {
public:
    SqlStatement(sqlite3* db, const char* sql);
    ~SqlStatement();
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;

    bool valid() const { return statement_ != nullptr; }

    // Resets the statement and clears its binds, ready for the next use.
    void reset();

    // Parameters are numbered from 1, as in SQLite.
    void bind(int index, int64_t value);
    void bind(int index, std::string_view text);

    // True while a row is available; false at the end or on an error (see `failed`).
    bool step();
    // Runs a statement that returns no rows; true when it completed.
    bool run();
    bool failed() const { return failed_; }

    int64_t integer(int column) const;
    std::string text(int column) const;

    // A statement borrowed from the database's cache for one operation. Leaving the scope
    // resets it: a stepped but unreset statement keeps its read transaction open, which stops
    // WAL checkpoints and lets the log file grow without bound.
    class Lease {
    public:
        explicit Lease(SqlStatement& statement) : statement_(&statement) {}
        ~Lease() { statement_->reset(); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        SqlStatement* operator->() const { return statement_; }
        SqlStatement& operator*() const { return *statement_; }

    private:
        SqlStatement* statement_;
    };

private:
    sqlite3_stmt* statement_ = nullptr;
    bool failed_ = false;
};

}  // namespace ostrel::service
