// The network settings record as the dialog collects, checks and stores it.
#include <gtest/gtest.h>

#include "app/settings/Settings.h"
#include "netconfig/NetworkSettings.h"
#include "netconfig/NetworkSettingsForm.h"
#include "tests/webservice/ScopedConfigDir.h"

using namespace ostrel;
using namespace ostrel::netconfig;

namespace {

class NetworkSettingsTest : public ::testing::Test {
protected:
    webservice::test::ScopedConfigDir config_;
};

// What the dialog shows for a fresh installation.
NetworkSettingsForm freshForm() {
    return FormFromSettings(LoadNetworkSettings());
}

}  // namespace

TEST_F(NetworkSettingsTest, FreshStoreReadsTheDefaults) {
    const NetworkSettings s = LoadNetworkSettings();
    EXPECT_EQ(s.listeningPort, 1720u);
    EXPECT_EQ(s.proxyPort, 80u);
    EXPECT_EQ(s.ipType, 0u);
    EXPECT_EQ(s.useProxy, 0u);
    EXPECT_TRUE(s.proxyHost.empty());
    const NetworkSettingsForm form = FormFromSettings(s);
    EXPECT_EQ(form.page, ConnectionPage::Direct);
    EXPECT_EQ(form.listeningPort, "1720");
    EXPECT_EQ(form.proxyPort, "80");
}

TEST_F(NetworkSettingsTest, TurningTheAlternatePortOffStoresTheDefaultPort) {
    NetworkSettings stored;
    stored.useAlternatePort = 1;
    stored.listeningPort = 5060;
    SaveNetworkSettings(stored);

    NetworkSettingsForm form = FormFromSettings(LoadNetworkSettings());
    EXPECT_TRUE(form.useAlternatePort);
    EXPECT_EQ(form.listeningPort, "5060");
    form.useAlternatePort = false;  // the edit may still say 5060
    NetworkSettings collected = CollectNetworkSettings(form);
    ASSERT_EQ(CheckNetworkSettings(collected), FormCheck::Ok);
    SaveNetworkSettings(collected);
    EXPECT_EQ(settings::read(settings::value::ListeningPort), 1720u);
    EXPECT_EQ(settings::read(settings::value::UseAlternateListeningPort), 0u);
}

TEST_F(NetworkSettingsTest, PrivateNetworkModesAndTheirAddress) {
    NetworkSettingsForm form = freshForm();
    form.page = ConnectionPage::PrivateNetwork;
    form.lanCalls = false;
    NetworkSettings noCalls = CollectNetworkSettings(form);
    EXPECT_EQ(noCalls.ipType, 4u);
    EXPECT_EQ(CheckNetworkSettings(noCalls), FormCheck::Ok);
    EXPECT_FALSE(NeedsLanOnlyNotice(noCalls));

    form.lanCalls = true;
    form.lanAddress = "   ";
    NetworkSettings lan = CollectNetworkSettings(form);
    EXPECT_EQ(lan.ipType, 3u);
    EXPECT_EQ(CheckNetworkSettings(lan), FormCheck::LanAddressMissing);
    EXPECT_EQ(CheckMessage(FormCheck::LanAddressMissing),
              "Please enter the internal IP addres or the hostname of your computer");

    form.lanAddress = " 192.168.1.20 ";
    lan = CollectNetworkSettings(form);
    ASSERT_EQ(CheckNetworkSettings(lan), FormCheck::Ok);
    EXPECT_EQ(lan.configuredIp, "192.168.1.20");
    EXPECT_TRUE(NeedsLanOnlyNotice(lan));
    SaveNetworkSettings(lan);
    const NetworkSettingsForm shown = FormFromSettings(LoadNetworkSettings());
    EXPECT_EQ(shown.page, ConnectionPage::PrivateNetwork);
    EXPECT_TRUE(shown.lanCalls);
    EXPECT_EQ(shown.lanAddress, "192.168.1.20");
}

TEST_F(NetworkSettingsTest, DirectConnectionClearsTheConfiguredAddress) {
    NetworkSettings stored;
    stored.ipType = 2;
    stored.configuredIp = "fw.example.net";
    SaveNetworkSettings(stored);

    NetworkSettingsForm form = FormFromSettings(LoadNetworkSettings());
    EXPECT_EQ(form.page, ConnectionPage::Firewall);
    EXPECT_FALSE(form.autoDetectFirewall);
    EXPECT_EQ(form.firewallAddress, "fw.example.net");
    form.page = ConnectionPage::Direct;
    NetworkSettings direct = CollectNetworkSettings(form);
    ASSERT_EQ(CheckNetworkSettings(direct), FormCheck::Ok);
    SaveNetworkSettings(direct);
    EXPECT_EQ(settings::read(settings::value::IPType), 0u);
    EXPECT_EQ(settings::read(settings::value::ConfiguredIP), "");
}

TEST_F(NetworkSettingsTest, FirewallModesNeedTheirAddressOrAutoDetection) {
    NetworkSettingsForm form = freshForm();
    form.page = ConnectionPage::Firewall;
    form.autoDetectFirewall = false;
    NetworkSettings fixed = CollectNetworkSettings(form);
    EXPECT_EQ(fixed.ipType, 2u);
    EXPECT_EQ(CheckNetworkSettings(fixed), FormCheck::FirewallAddressMissing);

    form.autoDetectFirewall = true;
    NetworkSettings automatic = CollectNetworkSettings(form);
    EXPECT_EQ(automatic.ipType, 1u);
    EXPECT_EQ(CheckNetworkSettings(automatic), FormCheck::Ok);
    EXPECT_TRUE(NeedsFirewallInformation(automatic));
    EXPECT_FALSE(NeedsProxyFirewallQuestion(automatic));
    automatic.useProxy = 1;
    EXPECT_TRUE(NeedsProxyFirewallQuestion(automatic));
    EXPECT_NE(FirewallInformationText(5062).find("UDP port-5062"), std::string::npos);
}

TEST_F(NetworkSettingsTest, ProxyNeedsAHostAndAPort) {
    NetworkSettingsForm form = freshForm();
    form.useProxy = true;
    form.proxyHost = "  ";
    form.proxyPort = "8080";
    NetworkSettings s = CollectNetworkSettings(form);
    EXPECT_EQ(CheckNetworkSettings(s), FormCheck::ProxyHostMissing);

    form.proxyHost = " proxy.local ";
    form.proxyPort = "0";
    s = CollectNetworkSettings(form);
    EXPECT_EQ(CheckNetworkSettings(s), FormCheck::ProxyPortMissing);
    EXPECT_EQ(CheckMessage(FormCheck::ProxyPortMissing), "Please enter port for HTTP proxy.");

    for (const char* bad : {"", "80a", "70000", "-1"}) {
        form.proxyPort = bad;
        s = CollectNetworkSettings(form);
        EXPECT_EQ(CheckNetworkSettings(s), FormCheck::ProxyPortMissing) << bad;
    }

    form.proxyPort = " 3128 ";
    s = CollectNetworkSettings(form);
    ASSERT_EQ(CheckNetworkSettings(s), FormCheck::Ok);
    EXPECT_EQ(s.proxyHost, "proxy.local");
    EXPECT_EQ(s.proxyPort, 3128u);

    // A proxy that is off needs nothing.
    form.useProxy = false;
    form.proxyHost.clear();
    form.proxyPort = "0";
    s = CollectNetworkSettings(form);
    EXPECT_EQ(CheckNetworkSettings(s), FormCheck::Ok);
}

TEST_F(NetworkSettingsTest, AlternatePortMustBeAPort) {
    NetworkSettingsForm form = freshForm();
    form.useAlternatePort = true;
    for (const char* bad : {"0", "", "65536", "12x"}) {
        form.listeningPort = bad;
        NetworkSettings s = CollectNetworkSettings(form);
        EXPECT_EQ(CheckNetworkSettings(s), FormCheck::ListeningPortInvalid) << bad;
    }
    form.listeningPort = "65535";
    NetworkSettings s = CollectNetworkSettings(form);
    EXPECT_EQ(CheckNetworkSettings(s), FormCheck::Ok);
    EXPECT_EQ(s.listeningPort, 65535u);
}
