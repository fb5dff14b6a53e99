// Plain records that the stores hand out and the scripts turn into replies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::service {

struct Account {
    int64_t id = 0;
    std::string name;
    std::string passwordHash;
};

struct LookupHost {
    std::string host;
    int64_t port = 0;
};

struct ProviderParam {
    std::string name;
    std::string value;
};

struct Provider {
    int64_t id = 0;
    std::string displayName;
    std::vector<LookupHost> hosts;
    std::vector<ProviderParam> params;
};

struct CallingCard {
    int64_t providerId = 0;
    std::string accountNumber;
    std::string pinNumber;
    int64_t isDefault = 0;
};

// The life of one login, that is of one instance GUID.
enum class SessionState : int64_t {
    Active = 0,
    // The same user logged in from another instance afterwards.
    Superseded = 1,
    // Logged off, or presence ran out.
    Ended = 2,
};

// One login as recorded: the network mode ("IPType") and the address are what the client
// reported, or for mode 1 the address its request came from.
struct Presence {
    std::string userName;
    std::string instanceGuid;
    SessionState state = SessionState::Active;
    std::string address;
    int64_t listeningPort = 1720;
    int64_t version = 0;
    int64_t ipType = 0;
    int64_t loginMs = 0;
    int64_t lastSeenMs = 0;
};

struct CallParty {
    std::string remoteUser;
    int64_t minutes = 0;
    int64_t averageDelay = 0;
};

struct CallReport {
    int64_t id = 0;
    std::string userName;
    std::string conferenceGuid;
    int64_t recorded = 0;
    int64_t startedMs = 0;
    int64_t updatedMs = 0;
    std::vector<CallParty> parties;
};

struct ProblemReport {
    int64_t id = 0;
    int64_t receivedMs = 0;
    std::string sourceAddress;
    std::string instanceGuid;
    std::string version;
    std::string build;
    std::string logText;
};

}  // namespace ostrel::service
