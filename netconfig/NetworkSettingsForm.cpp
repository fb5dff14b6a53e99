#include "netconfig/NetworkSettingsForm.h"

#include "platform/Text.h"

namespace ostrel::netconfig {

NetworkSettingsForm FormFromSettings(const NetworkSettings& s) {
    NetworkSettingsForm form;
    form.useProxy = s.useProxy == 1;
    form.proxyHost = s.proxyHost;
    form.proxyPort = std::to_string(s.proxyPort);
    form.useAlternatePort = s.useAlternatePort == 1;
    form.listeningPort =
        std::to_string(form.useAlternatePort ? s.listeningPort : kDefaultListeningPort);
    switch (s.ipType) {
        case kModeFirewallAuto:
        case kModeFirewallFixed:
            form.page = ConnectionPage::Firewall;
            form.autoDetectFirewall = s.ipType == kModeFirewallAuto;
            form.firewallAddress = s.configuredIp;
            break;
        case kModeLanOnly:
        case kModeNoIncoming:
            form.page = ConnectionPage::PrivateNetwork;
            form.lanCalls = s.ipType == kModeLanOnly;
            form.lanAddress = s.configuredIp;
            break;
        default:
            form.page = ConnectionPage::Direct;
            break;
    }
    return form;
}

uint32_t ReadPortText(std::string_view text) {
    const std::string t = platform::trimmed(text);
    if (t.empty() || t.size() > 5) {
        return 0;
    }
    uint32_t value = 0;
    for (char c : t) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value <= 65535 ? value : 0;
}

NetworkSettings CollectNetworkSettings(const NetworkSettingsForm& form) {
    NetworkSettings s;
    s.useProxy = form.useProxy ? 1 : 0;
    s.proxyHost = form.proxyHost;
    s.proxyPort = ReadPortText(form.proxyPort);
    s.useAlternatePort = form.useAlternatePort ? 1 : 0;
    s.listeningPort =
        form.useAlternatePort ? ReadPortText(form.listeningPort) : kDefaultListeningPort;
    switch (form.page) {
        case ConnectionPage::Direct:
            s.ipType = kModeDirect;
            s.configuredIp.clear();
            break;
        case ConnectionPage::Firewall:
            s.ipType = form.autoDetectFirewall ? kModeFirewallAuto : kModeFirewallFixed;
            s.configuredIp = form.firewallAddress;
            break;
        case ConnectionPage::PrivateNetwork:
            s.ipType = form.lanCalls ? kModeLanOnly : kModeNoIncoming;
            s.configuredIp = form.lanAddress;
            break;
    }
    return s;
}

FormCheck CheckNetworkSettings(NetworkSettings& s) {
    s.proxyHost = platform::trimmed(s.proxyHost);
    s.configuredIp = platform::trimmed(s.configuredIp);
    if (s.useProxy == 1 && s.proxyHost.empty()) {
        return FormCheck::ProxyHostMissing;
    }
    if (s.useProxy == 1 && s.proxyPort == 0) {
        return FormCheck::ProxyPortMissing;
    }
    if (s.ipType == kModeFirewallFixed && s.configuredIp.empty()) {
        return FormCheck::FirewallAddressMissing;
    }
    if (s.ipType == kModeLanOnly && s.configuredIp.empty()) {
        return FormCheck::LanAddressMissing;
    }
    // A listening port of 0 would bind a random port that nobody is told about.
    if (s.listeningPort == 0 || s.listeningPort > 65535) {
        return FormCheck::ListeningPortInvalid;
    }
    return FormCheck::Ok;
}

std::string CheckMessage(FormCheck check) {
    switch (check) {
        case FormCheck::Ok:
            return {};
        case FormCheck::ProxyHostMissing:
            return "You have selected - \"Use a proxy server\".\r\n\r\nPlease enter the IP addres "
                   "or the hostname proxy.\r\n\r\nIf you do not use a proxy, uncheck the \"Use a "
                   "proxy server\" checkbox";
        case FormCheck::ProxyPortMissing:
            return "Please enter port for HTTP proxy.";
        case FormCheck::FirewallAddressMissing:
            return "Please enter the IP-Address or the hostname of the firewall\r\nOR\r\nChoose "
                   "to automatically detect the firewall's IP address";
        case FormCheck::LanAddressMissing:
            return "Please enter the internal IP addres or the hostname of your computer";
        case FormCheck::ListeningPortInvalid:
            return "Please enter a listening port between 1 and 65535.";
    }
    return {};
}

bool NeedsProxyFirewallQuestion(const NetworkSettings& s) {
    return s.useProxy == 1 && s.ipType == kModeFirewallAuto;
}

bool NeedsFirewallInformation(const NetworkSettings& s) {
    return s.ipType == kModeFirewallAuto || s.ipType == kModeFirewallFixed;
}

std::string FirewallInformationText(uint32_t listeningPort) {
    return "For this settings to work, your firewall has to be configured as follows\r\n\r\n"
           "You have to configure your firewall or NAT to \"forward\" packets sent to the UDP "
           "port-" +
           std::to_string(listeningPort) +
           "\r\nto the internal IP address of this computer within your network.\r\n\r\n"
           "Please consult the documentation of your firewall or its maker on how to forward "
           "a port.";
}

bool NeedsLanOnlyNotice(const NetworkSettings& s) {
    return s.ipType == kModeLanOnly;
}

}  // namespace ostrel::netconfig
