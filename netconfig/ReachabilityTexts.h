// Network configuration: the fixed texts of the reachability test's dialog and boxes, made
// from the network settings. Pure functions; the GUI thread calls them.
#pragma once

#include <string>

#include "netconfig/ReachabilityTest.h"

namespace ostrel::netconfig {

inline constexpr const char* kOnCallRefusal = "You cannot do this test while you are on a call";
inline constexpr const char* kFailedBoxTitle = "Test Failed";
inline constexpr const char* kFirewallTitle = "Firewall/Router Hardware/NAT  Port Forward Test";
inline constexpr const char* kDirectTitle = "Test if your computer is reachable by others";
inline constexpr const char* kCurrentSettingsIntro = "Your current network settings are";
inline constexpr const char* kSocketCreateFailed =
    "Failed to create a socket.Please restart the software";
inline constexpr const char* kSocketBindFailed =
    "Failed to bind socket. Please restart the software and try again";
inline constexpr const char* kModifyHint =
    "If this is incorrect, click Close,  modify the Network Settings and then try again.";

// Modes 3 and 4 cannot be tested from outside: the information box shown instead.
std::string noIncomingCallsText();
// Whether the mode can be tested at all (0, 1 and 2).
bool testableMode(uint32_t ipType);

std::string configurationLine(const ReachabilitySettings& settings);
std::string proxyLine(const ReachabilitySettings& settings);
std::string explanationText(const ReachabilitySettings& settings);
std::string dialogTitle(const ReachabilitySettings& settings);

// The "Test Failed" box after a time-out, and the sentence of success (logged and boxed).
std::string timeoutBoxText(const ReachabilitySettings& settings);
std::string successText(const ReachabilitySettings& settings);

}  // namespace ostrel::netconfig
