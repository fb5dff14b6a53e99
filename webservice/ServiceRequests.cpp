#include "webservice/ServiceRequests.h"

#include "webservice/FormEncode.h"

namespace ostrel::webservice {

namespace {

std::string versionFields() {
    return std::string("&Version=") + kServiceVersion + "&ClientType=" + kClientType;
}

std::string buddyFields(const std::vector<std::string>& buddyNames) {
    std::string out;
    for (const std::string& name : buddyNames) {
        out += "&buddy=" + FormEncode(name);
    }
    return out;
}

std::string credentials(const char* userField, const AccountRequest& request) {
    return std::string(userField) + FormEncode(request.user) +
           "&Pass=" + FormEncode(request.password);
}

}  // namespace

std::string AddressPart(const NetworkAddress& address) {
    switch (address.ipType) {
        case 1:
            return "&IPAddr=&IPType=1";
        case 2:
            return "&IPAddr=" + FormEncode(address.configuredIp) + "&IPType=2";
        case 3:
            return "&IPAddr=" + FormEncode(address.configuredIp) + "&IPType=3";
        default:  // 0, and 4 (no incoming calls), which the service only knows as 0
            return "&IPAddr=" + FormEncode(address.ownAddress) + "&IPType=0";
    }
}

std::string BuildLoginRequest(const AccountRequest& request) {
    // The one request whose user field is in lower case.
    return credentials("user=", request) +
           "&ListeningPort=" + FormEncode(std::to_string(request.listeningPort)) +
           "&InstanceGUID=" + FormEncode(request.instanceGuid) + AddressPart(request.address) +
           versionFields();
}

std::string BuildLogoffRequest(const AccountRequest& request) {
    return credentials("User=", request) + "&InstanceGUID=" + FormEncode(request.instanceGuid) +
           AddressPart(request.address) + versionFields();
}

std::string BuildKeepAliveRequest(const AccountRequest& request) {
    return credentials("User=", request) +
           "&ListeningPort=" + std::to_string(request.listeningPort) +
           "&InstanceGUID=" + FormEncode(request.instanceGuid) + AddressPart(request.address) +
           versionFields();
}

std::string BuildOnlineUsersRequest(const std::string& user, const std::string& password,
                                    const std::vector<std::string>& buddyNames) {
    return "User=" + FormEncode(user) + "&Pass=" + FormEncode(password) + buddyFields(buddyNames) +
           versionFields();
}

std::string BuildBuddyListRequest(const std::string& user, const std::string& password,
                                  const std::vector<std::string>& buddyNames) {
    return BuildOnlineUsersRequest(user, password, buddyNames);
}

std::string BuildCallReportRequest(const CallReportRequest& request) {
    std::string body = "User=" + FormEncode(request.user);
    for (const CallReportParty& party : request.parties) {
        const uint64_t average =
            party.delayCount == 0 ? party.delaySum : party.delaySum / party.delayCount;
        body += "&RemUser=" + FormEncode(party.userName) +
                "&Minutes=" + std::to_string(party.elapsedMs / 60000) +
                "&AvgDelay=" + std::to_string(average);
    }
    body += "&SessionID=" + std::to_string(request.sessionId) + versionFields() +
            "&IsRecorded=" + (request.recorded ? "1" : "0") +
            "&VoiceConferenceGUID=" + FormEncode(request.conferenceGuid);
    return body;
}

std::optional<std::string> BuildReachabilityRequest(const ReachabilityRequest& request) {
    std::string body = std::string("Version=") + kServiceVersion + "&ClientType=" + kClientType +
                       "&Message=" + FormEncode("Congratulations") +
                       "&Port=" + std::to_string(request.listeningPort);
    switch (request.address.ipType) {
        case 0:
            return body + "&IPAddr=" + request.address.ownAddress + "&IPType=0";
        case 1:
            return body + "&IPAddr=&IPType=1";
        case 2:
            return body + "&IPAddr=" + FormEncode(request.address.configuredIp) + "&IPType=2";
        default:
            return std::nullopt;  // modes 3 and 4 cannot receive the test packets
    }
}

std::string BuildCallingCardRequest(const std::string& user, const std::string& password,
                                    const std::vector<CallingCard>& cards) {
    std::string body =
        "User=" + FormEncode(user) + "&Pass=" + FormEncode(password) + versionFields();
    for (const CallingCard& card : cards) {
        body += "&provider=" + FormEncode(std::to_string(card.providerId)) +
                "&account_number=" + FormEncode(card.accountNumber) +
                "&pin_number=" + FormEncode(card.pin) +
                "&isdefault=" + FormEncode(std::to_string(card.isDefault));
    }
    return body;
}

std::string BuildProblemReportRequest(const ProblemReportRequest& request) {
    const std::string guid = FormEncode(request.instanceGuid);
    return "InstanceGUID=" + guid + "&Version=" + FormEncode(request.version) +
           "&Build=" + FormEncode(request.build) + "&InstanceGUID=" + guid +
           "&LogText=" + FormEncode(request.logText);
}

}  // namespace ostrel::webservice
