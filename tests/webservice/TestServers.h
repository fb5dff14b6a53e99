// Loopback servers for the web service client tests: a cpp-httplib service stand-in that
// records what it received, a listener that accepts and never answers, and a tiny HTTP proxy.
// Each runs its own threads; construct and destroy them on the test's thread.
#pragma once

#include <httplib.h>

#include <atomic>
#include <cstdint>
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

// A TCP listener on 127.0.0.1 that accepts connections and never sends a byte.
class SilentListener {
  public:
    SilentListener();
    ~SilentListener();

    std::string HostText() const { return "127.0.0.1:" + std::to_string(port_); }
    int Accepted() const { return accepted_.load(); }
    // True when the peer of every accepted connection has closed it within `ms`.
    bool AllPeersClosedWithin(int ms);

  private:
    void run();

    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
    std::mutex mutex_;  // guards clients_
    std::vector<int> clients_;
};

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

// Points the settings store at a fresh folder for one test and removes it afterwards.
class ScopedConfigDir {
  public:
    ScopedConfigDir();
    ~ScopedConfigDir();
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace ostrel::webservice::test
