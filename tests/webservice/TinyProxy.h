// Test support: a minimal HTTP proxy that records the request line of each request it is
// sent and answers it itself, so a test sees which exchanges went through a proxy.
// Construct and destroy it on the test's thread; it serves on a thread of its own.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ostrel::webservice::test {

// An HTTP proxy stand-in: it reads one request per connection, records its request line,
// and answers "via proxy" itself instead of forwarding.
class TinyProxy {
public:
    // Listens on `address`:`port`; port 0 picks a free one. Check Ok() afterwards.
    TinyProxy(const std::string& address, int port);
    ~TinyProxy();

    bool Ok() const { return listenFd_ >= 0; }
    int Port() const { return port_; }
    std::vector<std::string> RequestLines() const;

private:
    void run();

    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;  // guards lines_
    std::vector<std::string> lines_;
};

}  // namespace ostrel::webservice::test
