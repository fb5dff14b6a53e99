#include "service/PresenceStore.h"

namespace ostrel::service {

namespace {

// Rows of ended and superseded logins are kept a day for the tools, then dropped at the
// user's next login so the table stays as small as the number of users.
constexpr int64_t kKeepEndedMs = 24LL * 3600 * 1000;

constexpr const char* kSelectColumns =
    "SELECT u.name, s.instance_guid, s.state, s.address, s.listening_port, s.version, "
    "s.iptype, s.login_ms, s.last_seen_ms FROM sessions s JOIN users u ON u.id = s.user_id ";

Presence readPresence(SqlStatement& row) {
    Presence p;
    p.userName = row.text(0);
    p.instanceGuid = row.text(1);
    p.state = static_cast<SessionState>(row.integer(2));
    p.address = row.text(3);
    p.listeningPort = row.integer(4);
    p.version = row.integer(5);
    p.ipType = row.integer(6);
    p.loginMs = row.integer(7);
    p.lastSeenMs = row.integer(8);
    return p;
}

}  // namespace

bool PresenceStore::recordLogin(int64_t userId, const Presence& presence, int64_t nowMs) {
    std::lock_guard lock(db_.mutex());
    SqlTransaction transaction(db_);
    if (!transaction.active()) {
        return false;
    }
    auto supersede = db_.statement(
        "UPDATE sessions SET state = 1 WHERE user_id = ?1 AND state = 0 AND instance_guid <> ?2");
    supersede->bind(1, userId);
    supersede->bind(2, presence.instanceGuid);
    auto prune = db_.statement(
        "DELETE FROM sessions WHERE user_id = ?1 AND state <> 0 AND last_seen_ms < ?2");
    prune->bind(1, userId);
    prune->bind(2, nowMs - kKeepEndedMs);
    auto write = db_.statement(
        "INSERT OR REPLACE INTO sessions (instance_guid, user_id, state, address, "
        "listening_port, version, iptype, login_ms, last_seen_ms) "
        "VALUES (?1, ?2, 0, ?3, ?4, ?5, ?6, ?7, ?7)");
    write->bind(1, presence.instanceGuid);
    write->bind(2, userId);
    write->bind(3, presence.address);
    write->bind(4, presence.listeningPort);
    write->bind(5, presence.version);
    write->bind(6, presence.ipType);
    write->bind(7, nowMs);
    return supersede->run() && prune->run() && write->run() && transaction.commit();
}

KeepAliveVerdict PresenceStore::keepAlive(int64_t userId, const Presence& presence, int64_t nowMs) {
    std::lock_guard lock(db_.mutex());
    int64_t state = 0;
    int64_t lastSeen = 0;
    {
        auto query = db_.statement(
            "SELECT state, last_seen_ms FROM sessions WHERE instance_guid = ?1 AND user_id = ?2");
        query->bind(1, presence.instanceGuid);
        query->bind(2, userId);
        if (!query->step()) {
            return KeepAliveVerdict::Unknown;
        }
        state = query->integer(0);
        lastSeen = query->integer(1);
    }
    if (state == static_cast<int64_t>(SessionState::Superseded)) {
        return KeepAliveVerdict::Superseded;
    }
    if (state != static_cast<int64_t>(SessionState::Active)) {
        return KeepAliveVerdict::Unknown;
    }
    if (nowMs - lastSeen >= kLifetimeMs) {
        auto end = db_.statement("UPDATE sessions SET state = 2 WHERE instance_guid = ?1");
        end->bind(1, presence.instanceGuid);
        end->run();
        return KeepAliveVerdict::Unknown;
    }
    auto update = db_.statement(
        "UPDATE sessions SET address = ?2, listening_port = ?3, version = ?4, iptype = ?5, "
        "last_seen_ms = ?6 WHERE instance_guid = ?1");
    update->bind(1, presence.instanceGuid);
    update->bind(2, presence.address);
    update->bind(3, presence.listeningPort);
    update->bind(4, presence.version);
    update->bind(5, presence.ipType);
    update->bind(6, nowMs);
    return update->run() ? KeepAliveVerdict::Refreshed : KeepAliveVerdict::Unknown;
}

bool PresenceStore::logoff(int64_t userId, std::string_view instanceGuid) {
    std::lock_guard lock(db_.mutex());
    {
        auto known =
            db_.statement("SELECT 1 FROM sessions WHERE instance_guid = ?1 AND user_id = ?2");
        known->bind(1, instanceGuid);
        known->bind(2, userId);
        if (!known->step()) {
            return false;
        }
    }
    auto end = db_.statement("UPDATE sessions SET state = 2 WHERE instance_guid = ?1");
    end->bind(1, instanceGuid);
    return end->run();
}

std::optional<Presence> PresenceStore::online(std::string_view userName, int64_t nowMs) {
    std::lock_guard lock(db_.mutex());
    static const std::string sql =
        std::string(kSelectColumns) + "WHERE u.name = ?1 AND s.state = 0 AND s.last_seen_ms > ?2";
    auto query = db_.statement(sql.c_str());
    query->bind(1, userName);
    query->bind(2, nowMs - kLifetimeMs);
    if (!query->step()) {
        return std::nullopt;
    }
    return readPresence(*query);
}

std::optional<Presence> PresenceStore::online(int64_t userId, int64_t nowMs) {
    std::lock_guard lock(db_.mutex());
    static const std::string sql = std::string(kSelectColumns) +
                                   "WHERE s.user_id = ?1 AND s.state = 0 AND s.last_seen_ms > ?2";
    auto query = db_.statement(sql.c_str());
    query->bind(1, userId);
    query->bind(2, nowMs - kLifetimeMs);
    if (!query->step()) {
        return std::nullopt;
    }
    return readPresence(*query);
}

std::optional<Presence> PresenceStore::session(std::string_view instanceGuid) {
    std::lock_guard lock(db_.mutex());
    static const std::string sql = std::string(kSelectColumns) + "WHERE s.instance_guid = ?1";
    auto query = db_.statement(sql.c_str());
    query->bind(1, instanceGuid);
    if (!query->step()) {
        return std::nullopt;
    }
    return readPresence(*query);
}

}  // namespace ostrel::service
