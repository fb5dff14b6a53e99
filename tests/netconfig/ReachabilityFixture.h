// Test support for the reachability test: a real talvero-service on loopback (optionally one
// that answers the test but sends no datagram), and a window stand-in that owns a real engine
// on the listening port, as the main window does. Use on the test's thread.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/NetCore.h"
#include "netconfig/ReachabilityTest.h"
#include "platform/Platform.h"
#include "platform/UdpSocket.h"
#include "service/TalveroService.h"
#include "tests/support/TestService.h"
#include "tests/webservice/ScopedConfigDir.h"

namespace ostrel::netconfig::test {

class QuietSink : public engine::EngineSink {
public:
    void log(std::string_view) override {}
    void notify(engine::Notification) override {}
};

// A UDP port nobody holds right now.
inline uint16_t freeUdpPort() {
    platform::UdpSocket probe;
    if (!probe.bind(platform::SocketAddress::loopback(0))) {
        return 0;
    }
    return probe.localAddress()->port;
}

// What the main window does around the test, with a real engine.
class EngineHost : public ReachabilityHost {
public:
    explicit EngineHost(uint16_t port) : port_(port) { startEngine(); }

    bool isCallActive() override { return callActive; }
    void endEngine() override {
        events.push_back("end engine");
        engine_.reset();
        status.clear();
    }
    void startEngine() override {
        events.push_back("start engine");
        engine_ =
            std::make_unique<engine::NetCore>(platform::newGuidText(), port_, sink_, "UNKNOWN");
        status = engine_->isListening() ? "Listening UDP Port: " + std::to_string(port_)
                                        : "Error on port bind";
    }
    void endProgram() override { events.push_back("end program"); }
    std::string detectOwnAddress(unsigned limitSeconds) override {
        detectionLimit.store(limitSeconds);
        return ownAddress;
    }

    bool hasEngine() const { return engine_ != nullptr; }

    bool callActive = false;
    std::string ownAddress = "127.0.0.1";
    std::atomic<unsigned> detectionLimit{0};
    std::vector<std::string> events;
    std::string status;  // the status-bar pane the engine start writes

private:
    uint16_t port_;
    QuietSink sink_;
    std::unique_ptr<engine::NetCore> engine_;
};

// A service for one test; `probeDatagrams` 0 answers the test without sending.
class TestService : public ::ostrel::test::TestService {
public:
    explicit TestService(int probeDatagrams = service::ReportScripts::kProbeCount)
        : ::ostrel::test::TestService(
              [probeDatagrams](service::ServiceOptions& o) { o.probeDatagrams = probeDatagrams; }) {
        EXPECT_TRUE(running()) << error();
    }
    std::string host() const { return webHost(); }
};

inline bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Index of the first line equal to `line`, or the count when there is none.
inline size_t indexOf(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
}

}  // namespace ostrel::netconfig::test
