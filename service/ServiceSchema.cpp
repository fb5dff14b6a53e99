#include "service/ServiceSchema.h"

namespace ostrel::service {

const std::vector<const char*>& schemaSteps() {
    static const std::vector<const char*> steps = {
        // 1: accounts, their lists, presence and reports.
        R"sql(
CREATE TABLE users (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE COLLATE NOCASE,
    password_hash TEXT NOT NULL,
    created_ms INTEGER NOT NULL
);
CREATE TABLE buddies (
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    position INTEGER NOT NULL,
    name TEXT NOT NULL,
    PRIMARY KEY (user_id, position)
);
CREATE TABLE providers (
    id INTEGER PRIMARY KEY,
    display_name TEXT NOT NULL
);
CREATE TABLE provider_hosts (
    provider_id INTEGER NOT NULL REFERENCES providers(id) ON DELETE CASCADE,
    position INTEGER NOT NULL,
    host TEXT NOT NULL,
    port INTEGER NOT NULL,
    PRIMARY KEY (provider_id, position)
);
CREATE TABLE provider_params (
    provider_id INTEGER NOT NULL REFERENCES providers(id) ON DELETE CASCADE,
    position INTEGER NOT NULL,
    name TEXT NOT NULL,
    value TEXT NOT NULL,
    PRIMARY KEY (provider_id, position)
);
CREATE TABLE calling_cards (
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    position INTEGER NOT NULL,
    provider_id INTEGER NOT NULL,
    account_number TEXT NOT NULL,
    pin_number TEXT NOT NULL,
    is_default INTEGER NOT NULL,
    PRIMARY KEY (user_id, position)
);
CREATE TABLE sessions (
    instance_guid TEXT PRIMARY KEY,
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    state INTEGER NOT NULL,
    address TEXT NOT NULL,
    listening_port INTEGER NOT NULL,
    version INTEGER NOT NULL,
    iptype INTEGER NOT NULL,
    login_ms INTEGER NOT NULL,
    last_seen_ms INTEGER NOT NULL
);
CREATE INDEX sessions_by_user ON sessions(user_id, state);
CREATE TABLE calls (
    id INTEGER PRIMARY KEY,
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    conference_guid TEXT NOT NULL,
    recorded INTEGER NOT NULL,
    started_ms INTEGER NOT NULL,
    updated_ms INTEGER NOT NULL
);
CREATE TABLE call_parties (
    call_id INTEGER NOT NULL REFERENCES calls(id) ON DELETE CASCADE,
    position INTEGER NOT NULL,
    remote_user TEXT NOT NULL,
    minutes INTEGER NOT NULL,
    avg_delay INTEGER NOT NULL,
    PRIMARY KEY (call_id, position)
);
CREATE TABLE problem_reports (
    id INTEGER PRIMARY KEY,
    received_ms INTEGER NOT NULL,
    source_address TEXT NOT NULL,
    instance_guid TEXT NOT NULL,
    version TEXT NOT NULL,
    build TEXT NOT NULL,
    log_text TEXT NOT NULL
);
)sql",
    };
    return steps;
}

}  // namespace ostrel::service
