#include "netconfig/ReachabilityTexts.h"

namespace ostrel::netconfig {

namespace {

bool firewall(const ReachabilitySettings& settings) {
    return settings.ipType == 1 || settings.ipType == 2;
}

}  // namespace

std::string noIncomingCallsText() {
    return "You have currently selected the following option in the software's Network "
           "Settings\r\n\"Connected using a firewall that does not allow incoming "
           "calls\".\r\n\r\n"
           "You wont be able to test for incoming calls with this configuration.";
}

bool testableMode(uint32_t ipType) {
    return ipType <= 2;
}

std::string configurationLine(const ReachabilitySettings& settings) {
    switch (settings.ipType) {
        case 2:
            return "Using the firewall - " + settings.configuredIp;
        case 1:
            return "Using a firewall. Detect firewall IP automatically.";
        case 0:
            return "Directly connected to the internet.";
        default:
            return {};
    }
}

std::string proxyLine(const ReachabilitySettings& settings) {
    if (settings.proxyOn) {
        return "Using HTTP proxy:" + settings.proxyHost +
               " port:" + std::to_string(settings.proxyPort);
    }
    return "You are set to connect directly without any proxies for HTTP requests.";
}

std::string explanationText(const ReachabilitySettings& settings) {
    if (firewall(settings)) {
        return "Since your computer is behind a firewall, to receive incoming calls, you have to "
               "configure your firewall/router hardware to forward UDP packets on the listening "
               "port [" +
               std::to_string(settings.listeningPort) +
               "] to the internal address of your machine. This test verifies if this has been "
               "configured correctly.\r\n\r\nClick \"Start Test\" to begin.";
    }
    return "This test will verify if your computer is reachable by others. This test will work "
           "only if your computer is directly connected to the internet now.\r\n\r\nClick "
           "\"Start Test\" to begin.";
}

std::string dialogTitle(const ReachabilitySettings& settings) {
    return firewall(settings) ? kFirewallTitle : kDirectTitle;
}

std::string timeoutBoxText(const ReachabilitySettings& settings) {
    const std::string port = std::to_string(settings.listeningPort);
    std::string text = "The Test Failed. Please try again.\r\n\r\n";
    if (firewall(settings)) {
        text += "1. Is the firewall is configured to forward UDP packets on port " + port +
                " to your computer?\r\n";
    } else {
        text +=
            "1. Are you sure that your connection does not involve any firewalls which blocks "
            "incoming calls?\r\n";
    }
    text +=
        "2. Are all personal firewall programs (if any) running in your computer configured "
        "appropriately?\r\n"
        "3. Do you think your ISP is blocking the UDP port " +
        port + "? If so, change its value (in the Network Settings) and try again.";
    return text;
}

std::string successText(const ReachabilitySettings& settings) {
    return firewall(settings) ? "Your port forward settings are working correctly."
                              : "Your computer is reachable and can receive incoming calls.";
}

}  // namespace ostrel::netconfig
