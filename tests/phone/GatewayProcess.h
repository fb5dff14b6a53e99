// Test support: a talvero-gateway process on loopback with free ports, whose output lines a
// reader thread collects so that a test can wait for one. Stopped with SIGTERM and reaped when
// the object goes.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace phonetest {

class GatewayProcess {
public:
    // Starts the program with "--lookup-port 0 --bridge-port 0" and `extraArgs`, and waits
    // for its "listening" line; ok() says whether it came.
    explicit GatewayProcess(const std::vector<std::string>& extraArgs = {});
    ~GatewayProcess();
    GatewayProcess(const GatewayProcess&) = delete;
    GatewayProcess& operator=(const GatewayProcess&) = delete;

    bool ok() const { return lookupPort_ != 0 && bridgePort_ != 0; }
    uint16_t lookupPort() const { return lookupPort_; }
    uint16_t bridgePort() const { return bridgePort_; }

    // The first line (after the listening line) containing `part`, waiting up to `ms`.
    std::optional<std::string> waitFor(const std::string& part, int ms = 5000);
    // Every line containing `part` so far.
    std::vector<std::string> linesWith(const std::string& part);
    std::vector<std::string> lines();

private:
    void readLines(int fd);

    pid_t pid_ = -1;
    std::thread reader_;
    std::mutex mutex_;  // guards lines_
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    uint16_t lookupPort_ = 0;
    uint16_t bridgePort_ = 0;
};

// The number after `key` in `line` ("at 1500 ms" with key "at "), if any.
std::optional<long> numberAfter(const std::string& line, const std::string& key);

}  // namespace phonetest
