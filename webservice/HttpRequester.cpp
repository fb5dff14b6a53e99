#include "webservice/HttpRequester.h"

#include <exception>

#include "app/settings/Settings.h"
#include "platform/Platform.h"
#include "webservice/HttpSession.h"

namespace ostrel::webservice {

namespace {

// Read at the start of every request, never cached: a changed proxy applies to the next one.
ProxyChoice readProxySettings() {
    ProxyChoice proxy;
    proxy.useProxy = settings::read(settings::value::UseHttpProxy) == 1;
    if (proxy.useProxy) {
        proxy.host = settings::read(settings::value::HttpProxyName);
        proxy.port = settings::read(settings::value::HttpProxyPort);
    }
    return proxy;
}

}  // namespace

HttpRequester::HttpRequester(uint32_t timeoutSeconds, HttpRequesterOptions options)
    : lock_(1L), timeout_(timeoutSeconds), options_(std::move(options)) {
    if (options_.waitSliceMs == 0) {
        options_.waitSliceMs = 1;
    }
}

// Post leaves no session or thread behind, so there is nothing to stop here.
HttpRequester::~HttpRequester() = default;

bool HttpRequester::isShuttingDown() const {
    return options_.shuttingDown && options_.shuttingDown();
}

bool HttpRequester::Post(const std::string& server, const std::string& script,
                         const std::string& body, std::string& reply) {
    if (isShuttingDown()) {
        return false;
    }
    lock_.WaitOnSemaphore(sync::kInfinite);

    bool started = false;
    try {
        session_ = std::make_unique<HttpSession>(readProxySettings());
        worker_ = std::make_unique<sync::CWorkerThread>([this](void*) { return exchange(); }, this,
                                                        "Http Thread");
        server_ = server;
        script_ = script;
        body_ = body;
        reply_.clear();
        succeeded_.store(0);
        abort_.store(0);
        started = worker_->Start(true);
    } catch (const std::exception&) {
        started = false;  // out of memory or no thread: the request fails like any other
    }

    if (started) {
        if (timeout_ == 0) {
            worker_->Wait(sync::kInfinite);
        } else {
            // One slice per second of the time-out plus one: the wait ends at most a second
            // after the time-out, and a shutdown is noticed within one slice.
            uint32_t counter = 0;
            while (abort_.load() == 0 && counter <= timeout_) {
                worker_->Wait(options_.waitSliceMs);
                if (!worker_->IsRunning()) {
                    break;
                }
                ++counter;
                if (isShuttingDown()) {
                    abort_.store(1);
                }
            }
        }
        if (worker_->IsRunning()) {
            // Abandoned: closing the session ends the blocked transfer at once.
            session_->Close();
            worker_->Wait(sync::kInfinite);
            succeeded_.store(0);
        } else if (succeeded_.load() == 1) {
            try {
                reply = reply_;
            } catch (const std::exception&) {
                succeeded_.store(0);
            }
        }
        // Joins the thread, which may still be leaving its procedure.
        worker_->Wait(sync::kInfinite);
    } else {
        succeeded_.store(0);
    }

    if (session_) {
        session_->Close();
    }
    session_.reset();
    worker_.reset();
    reply_.clear();
    reply_.shrink_to_fit();
    const bool result = succeeded_.load() == 1;
    lock_.SignalSemaphore();
    return result;
}

uint32_t HttpRequester::exchange() {
    worker_->SignalStarted();
    try {
        HttpExchange request{server_, script_, body_, options_.maxReplyBytes};
        if (session_->Perform(request, reply_)) {
            succeeded_.store(1);
        }
    } catch (const std::exception& e) {
        platform::trace(std::string("Http: ") + e.what());
    }
    return 0;
}

}  // namespace ostrel::webservice
