// Test support: a talvero-gateway process on loopback with free ports, whose output lines a
// reader thread collects so that a test can wait for one. Stopped with SIGTERM and reaped when
// the object goes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/LineLog.h"

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

    // The first line containing `part`, waiting up to `ms`.
    std::optional<std::string> waitFor(const std::string& part, int ms = 5000) {
        return output_.waitFor(part, ms);
    }
    // Every line containing `part` so far.
    std::vector<std::string> linesWith(const std::string& part) { return output_.matching(part); }
    std::vector<std::string> lines() { return output_.all(); }

private:
    void readLines(int fd);

    pid_t pid_ = -1;
    ostrel::test::LineLog output_;  // filled by reader_
    std::thread reader_;
    uint16_t lookupPort_ = 0;
    uint16_t bridgePort_ = 0;
};

// The number after `key` in `line` ("at 1500 ms" with key "at "), if any.
std::optional<long> numberAfter(const std::string& line, const std::string& key);

}  // namespace phonetest
