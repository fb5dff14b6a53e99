#include "netconfig/NetworkSettings.h"

#include "app/settings/Settings.h"

namespace ostrel::netconfig {

using namespace settings;

NetworkSettings LoadNetworkSettings() {
    NetworkSettings s;
    s.proxyHost = read(value::HttpProxyName);
    s.useProxy = read(value::UseHttpProxy);
    s.configuredIp = read(value::ConfiguredIP);
    s.useAlternatePort = read(value::UseAlternateListeningPort);
    s.listeningPort = read(value::ListeningPort);
    s.ipType = read(value::IPType);
    s.proxyPort = read(value::HttpProxyPort);
    return s;
}

void SaveNetworkSettings(const NetworkSettings& s) {
    write(value::HttpProxyName, s.proxyHost);
    write(value::UseHttpProxy, s.useProxy);
    write(value::ConfiguredIP, s.configuredIp);
    write(value::UseAlternateListeningPort, s.useAlternatePort);
    write(value::ListeningPort, s.listeningPort);
    write(value::IPType, s.ipType);
    write(value::HttpProxyPort, s.proxyPort);
}

}  // namespace ostrel::netconfig
