// Test support: a TCP listener on 127.0.0.1 that accepts connections and never answers,
// the host that hangs an exchange; it can tell whether the client let go of them.
// Construct and destroy it on the test's thread; it accepts on a thread of its own.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ostrel::webservice::test {

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

}  // namespace ostrel::webservice::test
