// talvero-service: the reference Talvero web service (directory, the nine scripts, the
// "/app_links/" pages) over cpp-httplib, with its data in one SQLite file.
// start() serves on a listener thread and a pool of worker threads; stop() may be called from
// any thread. The stores may be used from any thread while the service runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "service/AccountScripts.h"
#include "service/AccountStore.h"
#include "service/AppLinkPages.h"
#include "service/CredentialCheck.h"
#include "service/Database.h"
#include "service/PasswordHasher.h"
#include "service/PresenceStore.h"
#include "service/ReportScripts.h"
#include "service/ReportStore.h"
#include "service/ServiceClock.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace ostrel::service {

struct ServiceOptions {
    std::string listenHost = "127.0.0.1";
    // 0 picks a free port (tests and the benchmark).
    uint16_t listenPort = 8080;
    std::string databasePath;
    // "host[:port]" the directory names as "CURRENT IP". Empty: the listening address, or,
    // when listening on every address, the Host header the client used to reach us.
    std::string publicHost;
    HashCost hashCost = HashCost::Standard;
    // Empty: wall-clock milliseconds.
    ServiceClock clock;
    // Each worker serves one connection at a time. 16 covers 10,000 clients on loopback with
    // room for slow ones; the default of the library (8) leaves less headroom.
    int workerThreads = 16;
    // Datagrams each reachability test sends. 0 answers the test as sent but sends nothing,
    // which is what a client behind a closed firewall sees.
    int probeDatagrams = ReportScripts::kProbeCount;
};

// The directory's values: the folder of the scripts and each script's file name.
namespace scripts {
inline constexpr std::string_view kDirectory = "OstrelServer.asp";
inline constexpr std::string_view kPath = "app2";
inline constexpr std::string_view kLogin = "logmein.aspx";
inline constexpr std::string_view kLogoff = "logmeoff.aspx";
inline constexpr std::string_view kKeepAlive = "iamup.aspx";
inline constexpr std::string_view kBuddyList = "syncblist.aspx";
inline constexpr std::string_view kOnlineUsers = "getuserlist.aspx";
inline constexpr std::string_view kCallReport = "iamtalking.aspx";
inline constexpr std::string_view kReachability = "fwtest.aspx";
inline constexpr std::string_view kCallingCards = "synccallingcards.aspx";
// Handed to the crash handler unchanged and posted to as a whole path, so it carries its
// folder (the client's built-in default is the same text).
inline constexpr std::string_view kProblemReport = "app2/logproblem.aspx";
}  // namespace scripts

class TalveroService {
public:
    // Opens (or creates) the database; nothing listens until start().
    static std::unique_ptr<TalveroService> open(ServiceOptions options, std::string& error);
    ~TalveroService();
    TalveroService(const TalveroService&) = delete;
    TalveroService& operator=(const TalveroService&) = delete;

    bool start(std::string& error);
    void stop();
    // The port listened on (after start()).
    uint16_t port() const { return boundPort_; }

    // The directory reply for a request that reached us under `hostHeader`.
    std::string directoryText(std::string_view hostHeader) const;

    AccountStore& accounts() { return accounts_; }
    PresenceStore& presence() { return presence_; }
    ReportStore& reports() { return reports_; }
    const PasswordHasher& hasher() const { return hasher_; }
    int64_t now() const { return options_.clock(); }

    // Private to open(); public so std::make_unique can call it.
    struct OpenKey {};
    TalveroService(OpenKey, ServiceOptions options, std::unique_ptr<Database> db);

private:
    void handlePost(const httplib::Request& request, httplib::Response& response,
                    const std::string& body);
    void handleGet(const httplib::Request& request, httplib::Response& response);
    bool handleError(const httplib::Request& request, httplib::Response& response);

    ServiceOptions options_;
    std::unique_ptr<Database> db_;
    PasswordHasher hasher_;
    AccountStore accounts_;
    PresenceStore presence_;
    ReportStore reports_;
    CredentialCheck credentials_;
    AccountScripts accountScripts_;
    ReportScripts reportScripts_;
    AppLinkPages pages_;
    std::unique_ptr<httplib::Server> server_;
    std::thread listener_;
    uint16_t boundPort_ = 0;
};

}  // namespace ostrel::service
