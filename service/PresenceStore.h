// Who is logged in, from which instance, and where that instance can be called: one row per
// instance GUID in the service database. Every method takes the database lock for its whole
// work, so any thread may call any method. Times are milliseconds of the service clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/Database.h"
#include "service/ServiceRecords.h"

namespace ostrel::service {

enum class KeepAliveVerdict {
    Refreshed,
    // The user has logged in from another instance since this one logged in.
    Superseded,
    // No such login for this user: never made, logged off, or run out.
    Unknown,
};

class PresenceStore {
public:
    // The client refreshes every 45 s; three missed refreshes end the presence.
    static constexpr int64_t kLifetimeMs = 135'000;

    explicit PresenceStore(Database& db) : db_(db) {}

    // Records a login: the user's other active logins become superseded, and this instance's
    // row is written afresh (an instance that logs in again simply continues).
    bool recordLogin(int64_t userId, const Presence& presence, int64_t nowMs);

    // Refreshes the login of `instanceGuid` when it is the user's active one and has not run
    // out; the address, port, version and mode are taken from this refresh.
    KeepAliveVerdict keepAlive(int64_t userId, const Presence& presence, int64_t nowMs);

    // Ends the login of that instance (active or superseded); false when the user has none.
    bool logoff(int64_t userId, std::string_view instanceGuid);

    // The active, unexpired login of a user by name (without regard to case).
    std::optional<Presence> online(std::string_view userName, int64_t nowMs);
    std::optional<Presence> online(int64_t userId, int64_t nowMs);

    // The row of one instance whatever its state (for the tools and the tests).
    std::optional<Presence> session(std::string_view instanceGuid);

private:
    Database& db_;
};

}  // namespace ostrel::service
