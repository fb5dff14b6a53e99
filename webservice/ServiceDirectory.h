// Web service client: the service directory, which names the host, the folder and every
// script of the per-user requests, fetched from the directory script on the well-known host.
// LoadServiceDirectory runs on a worker thread (login, reachability test) and blocks for one
// request; the filled record is then only read by the threads that post requests.
#pragma once

#include <string>

namespace ostrel::webservice {

class HttpRequester;

// The directory script on the well-known host, its request body and its reply section.
inline constexpr const char* kDirectoryScript = "OstrelServer.asp";
inline constexpr const char* kDirectoryRequestBody = "version=6";
inline constexpr const char* kDirectorySection = "OSTREL";

struct ServiceDirectory {
    std::string server;             // "CURRENT IP": host of every later request, maybe with ":port"
    std::string path;               // "PATH": the folder that holds the scripts
    std::string loginScript;        // "logmein_file"
    std::string logoffScript;       // "logmeoff_file"
    std::string keepAliveScript;    // "iamup_file"
    std::string buddyListScript;    // "syncblist_file"
    std::string onlineUsersScript;  // "getuserlist_file"
    std::string callReportScript;   // "iamtalking_file"
    std::string reachabilityScript;   // "fwtest_file"
    std::string callingCardScript;    // "sync_callingcards_file"
    std::string problemReportScript;  // "log_problem_file", handed to the crash handler as is

    // The request target of one of the scripts above: "/" + path + "/" + script.
    std::string Target(const std::string& script) const;
};

// Fetches the directory from `webHost` and fills `directory` field by field, in the order
// above. True when all eleven were read; then "LastKnownServer" and
// "LastKnownCrashFileServerPath" are stored for the crash handler. On a missing or invalid
// key it stops there: earlier fields keep their new values, later ones their old values.
bool LoadServiceDirectory(HttpRequester& requester, ServiceDirectory& directory,
                          const std::string& webHost);
// The same against the service web host in effect (settings::serviceWebHost()).
bool LoadServiceDirectory(HttpRequester& requester, ServiceDirectory& directory);

// Reads an already fetched directory text with the same rules (no request, no settings).
bool ReadServiceDirectory(const std::string& replyText, ServiceDirectory& directory);

}  // namespace ostrel::webservice
