// Web service client: the form body of every request the client and the problem reporter
// send, built from plain records that the calling flows fill. Pure functions, called on the
// thread that posts the request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "webservice/LoginReply.h"

namespace ostrel::webservice {

// The version and client type every request carries.
inline constexpr const char* kServiceVersion = "6";
inline constexpr const char* kClientType = "0";

// How this client is reached, as the service is told with "&IPAddr=" and "&IPType=".
struct NetworkAddress {
    uint32_t ipType = 0;       // "IPType": 0 direct ... 4 no incoming calls
    std::string ownAddress;    // detected: dotted address, "LAN", or empty
    std::string configuredIp;  // "ConfiguredIP": the firewall's or the internal address
};

// "&IPAddr=" + encoded address + the "&IPType=" literal: modes 0-3 as they are, mode 4 (and
// anything unknown) sent as 0 with the own address; mode 1 sends an empty address.
std::string AddressPart(const NetworkAddress& address);

// Login, logoff and keep-alive: who is logged in and how to reach them.
struct AccountRequest {
    std::string user;
    std::string password;
    std::string instanceGuid;
    uint32_t listeningPort = 1720;  // "ListeningPort"; logoff sends none
    NetworkAddress address;
};

std::string BuildLoginRequest(const AccountRequest& request);
std::string BuildLogoffRequest(const AccountRequest& request);
std::string BuildKeepAliveRequest(const AccountRequest& request);

// Online users and the buddy-list upload share one layout: the buddies as repeated fields.
std::string BuildOnlineUsersRequest(const std::string& user, const std::string& password,
                                    const std::vector<std::string>& buddyNames);
std::string BuildBuddyListRequest(const std::string& user, const std::string& password,
                                  const std::vector<std::string>& buddyNames);

struct CallReportParty {
    std::string userName;
    uint32_t elapsedMs = 0;  // since the party joined
    uint64_t delaySum = 1;   // both start at 1, so a party without samples reports 1
    uint64_t delayCount = 1;
};

struct CallReportRequest {
    std::string user;
    std::vector<CallReportParty> parties;  // the other parties, in party-list order
    uint32_t sessionId = 0;                // 0 until the service assigned one
    bool recorded = false;
    std::string conferenceGuid;
};

std::string BuildCallReportRequest(const CallReportRequest& request);

// The reachability test accepts modes 0, 1 and 2 only; other modes give nothing. Mode 0
// sends the own address as it is, mode 2 the configured address encoded.
struct ReachabilityRequest {
    uint32_t listeningPort = 1720;
    NetworkAddress address;
};

std::optional<std::string> BuildReachabilityRequest(const ReachabilityRequest& request);

// Calling-card upload; the version fields come before the cards here.
std::string BuildCallingCardRequest(const std::string& user, const std::string& password,
                                    const std::vector<CallingCard>& cards);

struct ProblemReportRequest {
    std::string instanceGuid;
    std::string version;  // the client's "major.minor"
    std::string build;
    std::string logText;
};

// The instance GUID is sent twice, first and fourth, as the report page expects it.
std::string BuildProblemReportRequest(const ProblemReportRequest& request);

}  // namespace ostrel::webservice
