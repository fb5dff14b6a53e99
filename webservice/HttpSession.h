// Internal to the request layer: one internet session over libcurl, opened for one exchange.
// The worker thread runs the transfer in Perform; the waiting thread may only call Close,
// which ends a transfer in progress at once (a wake-up of the multi handle's poll).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "webservice/CurlLibrary.h"

namespace ostrel::webservice {

struct ProxyChoice {
    bool useProxy = false;
    std::string host;    // "HttpProxyName"
    uint32_t port = 80;  // "HttpProxyPort"
};

struct HttpExchange {
    std::string server;  // "host" or "host:port"
    std::string script;  // request target, with or without a leading "/"
    std::string body;
    size_t maxReplyBytes = 0;
};

class HttpSession {
public:
    explicit HttpSession(ProxyChoice proxy);
    ~HttpSession();

    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    // Worker thread: one POST to completion. Appends the body to `reply`; true when the whole
    // body arrived. False on any network failure, an oversize reply, or Close.
    bool Perform(const HttpExchange& exchange, std::string& reply);

    // Any thread: abandons the transfer in progress and refuses later ones.
    void Close();

    // The request target for a script: "\" becomes "/" and a missing leading "/" is added.
    static std::string RequestTarget(const std::string& script);

private:
    ProxyChoice proxy_;
    const CurlLibrary* curl_;  // null when libcurl could not be loaded
    // Created with the session, cleaned up with it; null when libcurl could not make one.
    CURLM* multi_ = nullptr;
    std::atomic<bool> closed_{false};
};

}  // namespace ostrel::webservice
