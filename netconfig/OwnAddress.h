// Network configuration: how this computer reaches the service. The detection runs on the
// caller's worker thread (status check, login, logoff, reachability test); each connection
// attempt runs on a short-lived thread of its own that the caller abandons at the time limit.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::netconfig {

// The result for a computer that reaches the service only from private addresses.
inline constexpr const char* kLanAddress = "LAN";

// 127.0.0.1, 10.*, 192.168.*, 169.254.* and 172.16.* to 172.31.*.
bool IsPrivateAddress(std::string_view dotted);

// The computer's own IPv4 addresses (its host name resolved), in the order the system gives.
std::vector<std::string> ListOwnAddresses();

struct OwnAddressOptions {
    // "host[:port]" to connect to; empty: the service web host, or the proxy when it is on.
    std::string target;
    // Replaces ListOwnAddresses (tests).
    std::function<std::vector<std::string>()> ownAddresses;
    // Length of one step of the wait for an attempt; the product waits a second per step.
    unsigned stepMs = 1000;
};

// The first public own address from which a TCP connection to the target succeeds; else
// "LAN" when a connection from any address succeeds; else empty (the service is out of
// reach, or its name does not resolve). Each attempt is given `limitSeconds` steps.
std::string DetectOwnAddress(unsigned limitSeconds, const OwnAddressOptions& options = {});

// The detection target in effect: the trimmed proxy host and port when "UseHttpProxy" is 1,
// else the service web host.
std::string DetectionTarget();

}  // namespace ostrel::netconfig
