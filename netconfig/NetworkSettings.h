// Network configuration: the network mode, listening port and proxy as one record loaded from
// and saved to the settings store, the dialog's checks, and the own-address detection.
// Everything here is plain C++ and may be called on any thread; nothing is cached.
#pragma once

#include <cstdint>
#include <string>

namespace ostrel::netconfig {

inline constexpr uint32_t kDefaultListeningPort = 1720;
inline constexpr uint32_t kDefaultProxyPort = 80;

// The "IPType" values: how the computer is connected and whether it takes incoming calls.
enum NetworkMode : uint32_t {
    kModeDirect = 0,         // own public address as detected
    kModeFirewallAuto = 1,   // forwarded port, the service uses the address it sees
    kModeFirewallFixed = 2,  // forwarded port, the firewall's address is "ConfiguredIP"
    kModeLanOnly = 3,        // calls only from the LAN, at "ConfiguredIP"
    kModeNoIncoming = 4,     // no incoming calls; reported to the service as 0
};

struct NetworkSettings {
    std::string proxyHost;                           // "HttpProxyName"
    uint32_t useProxy = 0;                           // "UseHttpProxy"
    std::string configuredIp;                        // "ConfiguredIP"
    uint32_t useAlternatePort = 0;                   // "UseAlternateListeningPort"
    uint32_t listeningPort = kDefaultListeningPort;  // "ListeningPort"
    uint32_t ipType = kModeDirect;                   // "IPType"
    uint32_t proxyPort = kDefaultProxyPort;          // "HttpProxyPort"

    bool operator==(const NetworkSettings&) const = default;
};

// Reads all seven values, each with its default when missing.
NetworkSettings LoadNetworkSettings();
// Writes all seven values back.
void SaveNetworkSettings(const NetworkSettings& settings);

}  // namespace ostrel::netconfig
