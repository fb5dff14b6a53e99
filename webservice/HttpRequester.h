// Web service client: one HTTP POST of a form body to one script, with a bounded wait and
// abandonment at shutdown. Post is called on worker threads (never the window thread); each
// exchange runs on its own "Http Thread", and one object serves one exchange at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sync/CSem.h"
#include "sync/CWorkerThread.h"

namespace ostrel::webservice {

class HttpSession;

// Replies are a status line or a small XML document; anything past 1 MiB is not a reply of
// this service, and holding it would only cost memory, so the exchange fails instead.
inline constexpr size_t kMaxReplyBytes = 1 << 20;

struct HttpRequesterOptions {
    // The program's shutting-down flag; asked before a request and after every slice of the
    // wait. Empty for the problem reporter, which has no such flag.
    std::function<bool()> shuttingDown;
    // Length of one slice of the wait; the product uses 1000 ms, tests inject less.
    unsigned long waitSliceMs = 1000;
    size_t maxReplyBytes = kMaxReplyBytes;
};

class HttpRequester {
public:
    // timeoutSeconds 0 waits as long as the exchange takes.
    explicit HttpRequester(uint32_t timeoutSeconds, HttpRequesterOptions options = {});
    ~HttpRequester();

    HttpRequester(const HttpRequester&) = delete;
    HttpRequester& operator=(const HttpRequester&) = delete;

    // POSTs `body` to `script` on `server` ("host" or "host:port", port 80 without one). True
    // only when the request was sent and the whole reply body read within the time-out; then
    // `reply` receives it, whatever the HTTP status. On false `reply` is left untouched.
    bool Post(const std::string& server, const std::string& script, const std::string& body,
              std::string& reply);

    uint32_t TimeoutSeconds() const { return timeout_; }

private:
    uint32_t exchange();
    bool isShuttingDown() const;

    // Serialises Post on this object: one exchange, worker and session at a time.
    sync::CSem lock_;
    uint32_t timeout_;
    HttpRequesterOptions options_;

    // Owned by the exchange in progress (under lock_). The worker touches only these fields;
    // the caller reads reply_ and succeeded_ only after the worker has ended.
    std::unique_ptr<HttpSession> session_;
    std::unique_ptr<sync::CWorkerThread> worker_;
    std::string server_;
    std::string script_;
    std::string body_;
    std::string reply_;
    std::atomic<uint32_t> succeeded_{0};
    std::atomic<uint32_t> abort_{0};
};

}  // namespace ostrel::webservice
