#include "webservice/HttpSession.h"

#include <memory>

#include "platform/HostPort.h"
#include "platform/Platform.h"

namespace ostrel::webservice {

namespace {

// Only made once the library has loaded, so the deleters always find it.
struct EasyDeleter {
    void operator()(CURL* easy) const { CurlLibrary::get()->easy_cleanup(easy); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { CurlLibrary::get()->url_cleanup(url); }
};
struct HeaderListDeleter {
    void operator()(curl_slist* list) const { CurlLibrary::get()->slist_free_all(list); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { CurlLibrary::get()->free(text); }
};

struct ReplySink {
    std::string* reply;
    size_t limit;
    size_t received = 0;
};

size_t appendReply(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<ReplySink*>(user);
    const size_t bytes = size * count;
    if (bytes > sink->limit - sink->received) {
        return 0;  // over the cap: libcurl ends the transfer with a write error
    }
    sink->reply->append(data, bytes);
    sink->received += bytes;
    return bytes;
}

// "http://host:port/target", with the target percent-encoded where a URL needs it. Nothing
// when the host text is not a host, so no server text can smuggle in a scheme or user part.
std::string buildUrl(const CurlLibrary& curl, const std::string& server,
                     const std::string& target) {
    const auto hostPort = platform::parseHostPort(server, 80);
    if (!hostPort) {
        return {};
    }
    std::unique_ptr<CURLU, UrlDeleter> url(curl.url());
    if (!url || curl.url_set(url.get(), CURLUPART_SCHEME, "http", 0) != CURLUE_OK ||
        curl.url_set(url.get(), CURLUPART_HOST, hostPort->host.c_str(), 0) != CURLUE_OK ||
        curl.url_set(url.get(), CURLUPART_PORT, std::to_string(hostPort->port).c_str(), 0) !=
            CURLUE_OK ||
        curl.url_set(url.get(), CURLUPART_PATH, target.c_str(), CURLU_URLENCODE) != CURLUE_OK) {
        return {};
    }
    char* text = nullptr;
    if (curl.url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK) {
        return {};
    }
    std::unique_ptr<char, CurlTextDeleter> owned(text);
    return std::string(owned.get());
}

}  // namespace

HttpSession::HttpSession(ProxyChoice proxy) : proxy_(std::move(proxy)), curl_(CurlLibrary::get()) {
    if (curl_ != nullptr) {
        multi_ = curl_->multi_init();
    }
}

HttpSession::~HttpSession() {
    if (multi_ != nullptr) {
        curl_->multi_cleanup(multi_);
    }
}

void HttpSession::Close() {
    closed_.store(true);
    if (multi_ != nullptr) {
        curl_->multi_wakeup(multi_);  // thread-safe; makes the worker's poll return now
    }
}

std::string HttpSession::RequestTarget(const std::string& script) {
    std::string target = script;
    for (char& c : target) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (target.empty() || target.front() != '/') {
        target.insert(target.begin(), '/');
    }
    return target;
}

bool HttpSession::Perform(const HttpExchange& exchange, std::string& reply) {
    if (multi_ == nullptr || closed_.load()) {
        return false;
    }
    const CurlLibrary& curl = *curl_;  // present whenever multi_ is
    const std::string url = buildUrl(curl, exchange.server, RequestTarget(exchange.script));
    if (url.empty()) {
        platform::trace("Http: not a host: " + exchange.server);
        return false;
    }
    std::string proxy;  // empty: connect directly
    if (proxy_.useProxy) {
        if (proxy_.host.empty()) {
            return false;  // a proxy without a name cannot be reached
        }
        proxy = "http://" + proxy_.host + ":" + std::to_string(proxy_.port);
    }

    std::unique_ptr<CURL, EasyDeleter> easy(curl.easy_init());
    if (!easy) {
        return false;
    }
    // The one header of our own. "Expect:" and "Accept:" remove what libcurl would add by
    // itself; the service answers at once and never needs a 100-continue round trip.
    curl_slist* headers = nullptr;
    for (const char* line :
         {"Content-Type: application/x-www-form-urlencoded", "Expect:", "Accept:"}) {
        curl_slist* grown = curl.slist_append(headers, line);
        if (grown == nullptr) {
            curl.slist_free_all(headers);
            return false;
        }
        headers = grown;
    }
    std::unique_ptr<curl_slist, HeaderListDeleter> headerList(headers);

    ReplySink sink{&reply, exchange.maxReplyBytes};
    CURL* e = easy.get();
    curl.easy_setopt(e, CURLOPT_URL, url.c_str());
    curl.easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http");
    // Redirects are left as libcurl leaves them by default: not followed, so the form body
    // (which holds the password) never goes to a host the caller did not name.
    curl.easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl.easy_setopt(e, CURLOPT_POST, 1L);
    curl.easy_setopt(e, CURLOPT_POSTFIELDS, exchange.body.data());
    curl.easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(exchange.body.size()));
    curl.easy_setopt(e, CURLOPT_HTTPHEADER, headerList.get());
    curl.easy_setopt(e, CURLOPT_USERAGENT, "Talvero");
    // Only the settings decide the proxy: an explicit (possibly empty) proxy and an empty
    // no-proxy list keep libcurl from reading http_proxy, no_proxy and their kin.
    curl.easy_setopt(e, CURLOPT_PROXY, proxy.c_str());
    curl.easy_setopt(e, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    curl.easy_setopt(e, CURLOPT_NOPROXY, "");
    // Each exchange has its own session, so nothing is kept between requests: no connection
    // reuse, no cookies, no cache of any kind.
    curl.easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    curl.easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl.easy_setopt(e, CURLOPT_WRITEFUNCTION, appendReply);
    curl.easy_setopt(e, CURLOPT_WRITEDATA, &sink);

    if (curl.multi_add_handle(multi_, e) != CURLM_OK) {
        return false;
    }
    bool finished = false;
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    while (!closed_.load()) {
        int running = 0;
        if (curl.multi_perform(multi_, &running) != CURLM_OK) {
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl.multi_info_read(multi_, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == e) {
                finished = true;
                result = message->data.result;
            }
        }
        if (finished || running == 0) {
            break;
        }
        // Close wakes this poll at once; otherwise it returns with socket activity or after
        // a second, whichever comes first.
        if (curl.multi_poll(multi_, nullptr, 0, 1000, nullptr) != CURLM_OK) {
            break;
        }
    }
    curl.multi_remove_handle(multi_, e);
    if (!finished || result != CURLE_OK) {
        platform::trace(std::string("Http: exchange failed: ") +
                        (finished ? curl.easy_strerror(result) : "session closed"));
        return false;
    }
    return true;
}

}  // namespace ostrel::webservice
