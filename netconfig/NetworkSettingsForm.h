// Network configuration: what the Network Settings dialog shows and how its controls become
// a settings record, with every check that keeps the dialog open. The dialog only moves text
// between its controls and this form; GUI thread, but free of Qt so it is tested alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "netconfig/NetworkSettings.h"

namespace ostrel::netconfig {

// The three radio buttons, each with its embedded page.
enum class ConnectionPage { Direct, Firewall, PrivateNetwork };

struct NetworkSettingsForm {
    bool useProxy = false;
    std::string proxyHost;
    std::string proxyPort;  // edit text
    bool useAlternatePort = false;
    std::string listeningPort;  // edit text
    ConnectionPage page = ConnectionPage::Direct;
    bool autoDetectFirewall = false;
    std::string firewallAddress;
    bool lanCalls = false;
    std::string lanAddress;
};

// The form that shows a stored record: the page by mode, the address on that page.
NetworkSettingsForm FormFromSettings(const NetworkSettings& settings);

// The record the controls describe (no trimming, no checks). The listening port is 1720
// whenever the alternate port is off, so the stored value is always the port in use.
NetworkSettings CollectNetworkSettings(const NetworkSettingsForm& form);

// Reads a port edit: decimal digits with blanks around them; anything else, or a value that is
// no port at all, reads as 0.
uint32_t ReadPortText(std::string_view text);

enum class FormCheck {
    Ok,
    ProxyHostMissing,
    ProxyPortMissing,
    FirewallAddressMissing,
    LanAddressMissing,
    ListeningPortInvalid,
};

// Trims the proxy host and the configured address in place, then checks the record in the
// order the dialog reports: the first failure wins.
FormCheck CheckNetworkSettings(NetworkSettings& settings);
// The message box text of a failed check (empty for Ok).
std::string CheckMessage(FormCheck check);

// Confirmations after the checks passed.
// Proxy with automatic firewall detection: ask whether both share one external address.
bool NeedsProxyFirewallQuestion(const NetworkSettings& settings);
// Forwarding modes: tell which UDP port the firewall must forward.
bool NeedsFirewallInformation(const NetworkSettings& settings);
std::string FirewallInformationText(uint32_t listeningPort);
// LAN-only calls: say so.
bool NeedsLanOnlyNotice(const NetworkSettings& settings);

inline constexpr const char* kCallActiveRefusal =
    "You cannot change the network setting while you are on a call.\r\n"
    "Please try after you have finished the call";
inline constexpr const char* kProxyFirewallQuestionTitle =
    "Does your proxy and firewall have same external IP address?";
inline constexpr const char* kProxyFirewallQuestion =
    "You have chosen to use a proxy server and to detect your firewall's IP address "
    "automatically.\r\n\r\nThis works only when your proxy server and your firewall have the "
    "same external IP address.\r\n\r\nDoes your proxy and firewall have same external IP "
    "address?\r\n\r\nNote: If you use AOL proxy or proxy provided by ISP (like middle east "
    "countries), click No.";
inline constexpr const char* kFirewallInformationTitle = "Firewall configuration information";
inline constexpr const char* kLanOnlyTitle = "Settings Changed";
inline constexpr const char* kLanOnlyNotice =
    "You will be able to receive calls only from other users in your private network.";

}  // namespace ostrel::netconfig
