// Test-side helpers for talking to the gateway: datagrams built by the frame builders and sent
// from raw UDP peers, and the bridge under test with short ring times on a loopback port.
// Received bytes are read at the layout offsets by the wire helpers, not by the checked reader.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "EventLog.h"
#include "engine/SessionMessage.h"
#include "gateway/Bridge.h"
#include "tests/engine/Wire.h"

namespace gatewaytest {

inline std::vector<uint8_t> bytesOf(const ostrel::engine::SessionMessage& m) {
    return std::vector<uint8_t>(m.data(), m.data() + m.size());
}

inline void sendMessage(wire::RawPeer& peer, uint16_t port,
                        const ostrel::engine::SessionMessage& m) {
    peer.sendTo(port, bytesOf(m));
}

inline uint16_t u16(const std::vector<uint8_t>& d, size_t offset) {
    return static_cast<uint16_t>(d.at(offset) | d.at(offset + 1) << 8);
}

// Polls `condition` for up to `ms`; the bridge's thread changes what the test looks at.
template <typename Condition>
bool eventually(Condition condition, int ms = 1000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Lower-case 8-4-4-4-12 hexadecimal, as every conference GUID is written.
inline bool isGuidText(const std::string& s) {
    if (s.size() != 36) {
        return false;
    }
    for (size_t i = 0; i < s.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = s[i];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        if (dash ? c != '-' : !hex) {
            return false;
        }
    }
    return true;
}

// The number N when `line` is exactly `before` + N (decimal digits) + `after`.
inline std::optional<uint32_t> numberIn(const std::string& line, const std::string& before,
                                        const std::string& after) {
    if (line.size() <= before.size() + after.size() || line.compare(0, before.size(), before) ||
        line.compare(line.size() - after.size(), after.size(), after)) {
        return std::nullopt;
    }
    const std::string digits =
        line.substr(before.size(), line.size() - before.size() - after.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(std::stoul(digits));
}

inline constexpr const char* kGatewayIdentity = "9a8b7c6d-0000-4000-8000-0000000000aa";

// Settings for tests: a 100 ms ring so a call connects quickly; everything else as shipped.
inline ostrel::gateway::BridgeSettings fastBridge() {
    ostrel::gateway::BridgeSettings s;
    s.identity = kGatewayIdentity;
    s.ringMs = 100;
    return s;
}

class BridgeFixture : public ::testing::Test {
protected:
    void startBridge(ostrel::gateway::BridgeSettings settings = fastBridge()) {
        bridge = std::make_unique<ostrel::gateway::Bridge>(settings, events);
        ASSERT_TRUE(bridge->start(ostrel::platform::SocketAddress::loopback(0)));
        ASSERT_NE(bridge->port(), 0);
    }

    void send(wire::RawPeer& peer, const ostrel::engine::SessionMessage& m) {
        sendMessage(peer, bridge->port(), m);
    }

    static ostrel::engine::ConnectFields phoneRequest(std::string guid = {}) {
        ostrel::engine::ConnectFields f;
        f.userName = "alice";
        f.identity = "alice-instance";
        f.bridgeType = 1;
        f.conferenceGuid = std::move(guid);
        return f;
    }

    // Calls the bridge from `peer` and waits for the first accept; the accept's bytes.
    std::optional<wire::Packet> connect(wire::RawPeer& peer,
                                        const ostrel::engine::ConnectFields& f = phoneRequest()) {
        send(peer, ostrel::engine::buildConnectRequest(f));
        if (!peer.receiveCode(ostrel::engine::MSG_RINGING, 2000)) {
            ADD_FAILURE() << "no ringing";
            return std::nullopt;
        }
        auto accept = peer.receiveCode(ostrel::engine::MSG_CONNECT_ACCEPT, 2000);
        if (!accept) {
            ADD_FAILURE() << "no accept";
        }
        return accept;
    }

    EventLog events;
    std::unique_ptr<ostrel::gateway::Bridge> bridge;
};

}  // namespace gatewaytest
