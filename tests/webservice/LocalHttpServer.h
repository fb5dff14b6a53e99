// Test support: a cpp-httplib stand-in for the web service on 127.0.0.1 that records every
// request it receives and answers through a handler the test gives.
// Construct and destroy it on the test's thread; it serves on threads of its own.
#pragma once

#include <httplib.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ostrel::webservice::test {

struct ReceivedRequest {
    std::string method;
    std::string path;
    std::string body;
    httplib::Headers headers;
};

// Answers every POST with whatever the handler returns (default: "OK" with status 200).
class LocalHttpServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    explicit LocalHttpServer(Handler handler = {});
    ~LocalHttpServer();

    std::string HostText() const { return "127.0.0.1:" + std::to_string(port_); }
    int Port() const { return port_; }
    std::vector<ReceivedRequest> Requests() const;
    ReceivedRequest LastRequest() const;

private:
    httplib::Server server_;
    Handler handler_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;  // guards requests_
    std::vector<ReceivedRequest> requests_;
};

}  // namespace ostrel::webservice::test
