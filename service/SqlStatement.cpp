#include "service/SqlStatement.h"

namespace ostrel::service {

SqlStatement::SqlStatement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
    }
}

SqlStatement::~SqlStatement() {
    sqlite3_finalize(statement_);
}

void SqlStatement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    failed_ = false;
}

void SqlStatement::bind(int index, int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
}

void SqlStatement::bind(int index, std::string_view text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

bool SqlStatement::step() {
    if (statement_ == nullptr) {
        failed_ = true;
        return false;
    }
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    failed_ = rc != SQLITE_DONE;
    return false;
}

bool SqlStatement::run() {
    while (step()) {
    }
    return !failed_;
}

int64_t SqlStatement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

std::string SqlStatement::text(int column) const {
    const auto* data = sqlite3_column_text(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace ostrel::service
