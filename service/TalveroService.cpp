#include "service/TalveroService.h"

#include <httplib.h>

#include "platform/HostPort.h"
#include "platform/Platform.h"
#include "service/ServiceLimits.h"

namespace ostrel::service {

namespace {

constexpr const char* kTextType = "text/plain; charset=utf-8";
constexpr const char* kXmlType = "text/xml; charset=utf-8";
constexpr const char* kHtmlType = "text/html; charset=utf-8";
constexpr std::string_view kPagesFolder = "app_links/";

// The script part of a request path: leading slashes dropped, and backslashes (the client
// joins folder and script with one) read as slashes, so "/app2\x.aspx", "/app2/x.aspx" and
// "app2%5Cx.aspx" all name the same script.
std::string scriptTarget(std::string_view path) {
    std::string out;
    for (const char c : path) {
        const char slash = c == '\\' ? '/' : c;
        if (slash == '/' && (out.empty() || out.back() == '/')) {
            continue;
        }
        out.push_back(slash);
    }
    return out;
}

bool startsWithName(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           FormFields::sameName(text.substr(0, prefix.size()), prefix);
}

std::string scriptPath(std::string_view script) {
    return std::string(scripts::kPath) + "/" + std::string(script);
}

std::string peerAddress(const httplib::Request& request) {
    std::string address = request.remote_addr;
    constexpr std::string_view kMapped = "::ffff:";
    if (address.rfind(kMapped, 0) == 0) {
        address.erase(0, kMapped.size());
    }
    return address;
}

// A Host header fit to hand out as an address: letters, digits, ".", "-" and one ":port".
bool plainHost(std::string_view host) {
    if (host.empty() || host.size() > kMaxAddress) {
        return false;
    }
    for (const char c : host) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '.' && c != '-' && c != ':') {
            return false;
        }
    }
    return platform::parseHostPort(host).has_value();
}

}  // namespace

std::unique_ptr<TalveroService> TalveroService::open(ServiceOptions options, std::string& error) {
    if (!options.clock) {
        options.clock = systemClockMs;
    }
    auto db = Database::open(options.databasePath, error);
    if (!db) {
        return nullptr;
    }
    return std::make_unique<TalveroService>(OpenKey{}, std::move(options), std::move(db));
}

TalveroService::TalveroService(OpenKey, ServiceOptions options, std::unique_ptr<Database> db)
    : options_(std::move(options)),
      db_(std::move(db)),
      hasher_(options_.hashCost),
      accounts_(*db_),
      presence_(*db_),
      reports_(*db_),
      credentials_(accounts_, hasher_),
      accountScripts_(accounts_, presence_, credentials_, options_.clock),
      reportScripts_(accounts_, presence_, reports_, options_.clock, options_.probeDatagrams),
      pages_(accounts_, hasher_, options_.clock) {}

TalveroService::~TalveroService() {
    stop();
}

std::string TalveroService::directoryText(std::string_view hostHeader) const {
    std::string host = options_.publicHost;
    if (host.empty()) {
        const bool anyAddress = options_.listenHost.empty() || options_.listenHost == "0.0.0.0";
        if (anyAddress && plainHost(hostHeader)) {
            host = hostHeader;
        } else {
            host = (anyAddress ? std::string("127.0.0.1") : options_.listenHost) + ":" +
                   std::to_string(boundPort_);
        }
    }
    std::string text = "[OSTREL]\r\n";
    const auto line = [&](std::string_view key, std::string_view value) {
        text += key;
        text += '=';
        text += value;
        text += "\r\n";
    };
    line("CURRENT IP", host);
    line("PATH", scripts::kPath);
    line("logmein_file", scripts::kLogin);
    line("logmeoff_file", scripts::kLogoff);
    line("iamup_file", scripts::kKeepAlive);
    line("syncblist_file", scripts::kBuddyList);
    line("getuserlist_file", scripts::kOnlineUsers);
    line("iamtalking_file", scripts::kCallReport);
    line("fwtest_file", scripts::kReachability);
    line("sync_callingcards_file", scripts::kCallingCards);
    line("log_problem_file", scripts::kProblemReport);
    return text;
}

bool TalveroService::start(std::string& error) {
    if (server_) {
        error = "already started";
        return false;
    }
    server_ = std::make_unique<httplib::Server>();
    const int threads = options_.workerThreads;
    // The library takes ownership of the queue it is handed.
    server_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server_->set_payload_max_length(kMaxBodyBytes);
    // A client opens a connection per request; idle keep-alive connections would each hold
    // a worker, so they are let go after 2 s.
    server_->set_keep_alive_timeout(2);
    server_->set_keep_alive_max_count(10);

    // Bodies are read through a content reader: the library's own reading of form bodies
    // refuses anything over 8 KiB, less than a problem report with a crash log.
    server_->Post(".*", [this](const httplib::Request& request, httplib::Response& response,
                               const httplib::ContentReader& reader) {
        std::string body;
        const bool complete = reader([&](const char* data, size_t length) {
            body.append(data, length);
            return body.size() <= kMaxBodyBytes;
        });
        if (!complete || body.size() > kMaxBodyBytes) {
            response.status = 413;
            response.set_content("-The request is too large.", kTextType);
            return;
        }
        handlePost(request, response, body);
    });
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        handleGet(request, response);
    });
    server_->set_error_handler(httplib::Server::HandlerWithResponse(
        [this](const httplib::Request& request, httplib::Response& response) {
            return handleError(request, response) ? httplib::Server::HandlerResponse::Handled
                                                  : httplib::Server::HandlerResponse::Unhandled;
        }));
    server_->set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            response.status = 500;
            response.set_content("-The service failed on this request.", kTextType);
        });

    int port = options_.listenPort;
    if (port == 0) {
        port = server_->bind_to_any_port(options_.listenHost);
    } else if (!server_->bind_to_port(options_.listenHost, port)) {
        port = -1;
    }
    if (port <= 0) {
        error =
            "cannot listen on " + options_.listenHost + ":" + std::to_string(options_.listenPort);
        server_.reset();
        return false;
    }
    boundPort_ = static_cast<uint16_t>(port);
    listener_ = std::thread([this] { server_->listen_after_bind(); });
    // Connections already queue on the bound socket, but stop() only reaches a server that
    // has entered its loop: wait for that, so a stop right after start cannot be lost.
    for (int waited = 0; !server_->is_running() && waited < 5000; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void TalveroService::stop() {
    if (!server_) {
        return;
    }
    server_->stop();
    if (listener_.joinable()) {
        listener_.join();
    }
    server_.reset();
}

void TalveroService::handlePost(const httplib::Request& request, httplib::Response& response,
                                const std::string& body) {
    const std::string target = scriptTarget(request.path);
    const std::string peer = peerAddress(request);
    if (FormFields::sameName(target, scripts::kDirectory)) {
        response.set_content(directoryText(request.get_header_value("Host")), kTextType);
        return;
    }
    const auto form = FormFields::parse(body);
    if (startsWithName(target, kPagesFolder)) {
        const PageReply page = form ? pages_.post(target.substr(kPagesFolder.size()), *form)
                                    : pages_.get(target.substr(kPagesFolder.size()));
        response.status = page.status;
        response.set_content(page.html, kHtmlType);
        return;
    }
    ScriptReply reply;
    const auto is = [&](std::string_view script) {
        return FormFields::sameName(target, scriptPath(script));
    };
    const bool problemReport = FormFields::sameName(target, scripts::kProblemReport);
    if (!form) {
        // Refused in the format the script's caller parses.
        reply = is(scripts::kLogin)          ? AccountScripts::loginFailure(kMalformedBody)
                : is(scripts::kOnlineUsers)  ? AccountScripts::onlineUsersFailure(kMalformedBody)
                : is(scripts::kReachability) ? ReportScripts::probeFailure(kMalformedBody)
                                             : ScriptReply{"-" + std::string(kMalformedBody)};
    } else if (is(scripts::kLogin)) {
        reply = accountScripts_.login(*form, peer);
    } else if (is(scripts::kLogoff)) {
        reply = accountScripts_.logoff(*form);
    } else if (is(scripts::kKeepAlive)) {
        reply = accountScripts_.keepAlive(*form, peer);
    } else if (is(scripts::kOnlineUsers)) {
        reply = accountScripts_.onlineUsers(*form);
    } else if (is(scripts::kBuddyList)) {
        reply = accountScripts_.uploadBuddies(*form);
    } else if (is(scripts::kCallingCards)) {
        reply = accountScripts_.uploadCards(*form);
    } else if (is(scripts::kCallReport)) {
        reply = reportScripts_.callReport(*form);
    } else if (is(scripts::kReachability)) {
        reply = reportScripts_.reachabilityTest(*form, peer);
    } else if (problemReport) {
        reply = reportScripts_.problemReport(*form, peer);
    } else {
        response.status = 404;
        reply = {"-No such script."};
    }
    if (platform::traceEnabled()) {
        platform::trace("POST /" + target + " from " + peer + ": " +
                        reply.body.substr(0, reply.body.find('\n')));
    }
    response.set_content(reply.body, reply.xml ? kXmlType : kTextType);
}

void TalveroService::handleGet(const httplib::Request& request, httplib::Response& response) {
    const std::string target = scriptTarget(request.path);
    if (FormFields::sameName(target, scripts::kDirectory)) {
        response.set_content(directoryText(request.get_header_value("Host")), kTextType);
        return;
    }
    const std::string_view page = startsWithName(target, kPagesFolder)
                                      ? std::string_view(target).substr(kPagesFolder.size())
                                      : std::string_view(target.empty() ? "app_home.aspx" : "");
    const PageReply reply = pages_.get(page);
    response.status = reply.status;
    response.set_content(reply.html, kHtmlType);
}

bool TalveroService::handleError(const httplib::Request& request, httplib::Response& response) {
    if (!response.body.empty()) {
        return false;
    }
    // Some links carry a second "?" ("...?ClientType=0?user=bob"), which the library refuses
    // as a bad request line; the page itself does not depend on the query, so it is served.
    if (response.status == 400 && request.method == "GET" &&
        startsWithName(scriptTarget(request.path), kPagesFolder)) {
        response.status = 200;
        handleGet(request, response);
        return true;
    }
    switch (response.status) {
        case 413:
            response.set_content("-The request is too large.", kTextType);
            break;
        case 404:
            response.set_content("-No such script.", kTextType);
            break;
        default:
            response.set_content(
                "-The request cannot be served (HTTP " + std::to_string(response.status) + ").",
                kTextType);
            break;
    }
    return true;
}

}  // namespace ostrel::service
