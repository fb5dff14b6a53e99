#include "app/ui/NetworkParts.h"

#include "app/ui/COstrelDlg.h"
#include "netconfig/OwnAddress.h"
#include "netconfig/ui/PortForwardTestDialog.h"
#include "platform/Platform.h"

namespace ostrel::app {

NetworkParts::NetworkParts(COstrelDlg& window,
                           std::function<std::string(unsigned)> detectOwnAddress)
    : window_(window), detectOwnAddress_(std::move(detectOwnAddress)) {}

void NetworkParts::install() {
    window_.setMenuHandler(COstrelDlg::MenuEntry::NetworkSettings, [this] { openSettings(); });
    window_.setMenuHandler(COstrelDlg::MenuEntry::TestNetworkSettings, [this] { openTest(); });
}

void NetworkParts::openSettings() {
    const auto result = netconfig::CMyPropertySheet::Open(*this, &window_);
    if (result.outcome == netconfig::CMyPropertySheet::Outcome::Saved &&
        result.listeningPortChanged && !window_.isCallActive()) {
        platform::trace("Listening port changed: restarting the listener");
        window_.endCall(true);
    }
}

void NetworkParts::openTest() {
    netconfig::PortForwardTestDialog::openTest(*this, &window_);
}

bool NetworkParts::CallActive() {
    return isCallActive();
}

void NetworkParts::OpenReachabilityTest() {
    openTest();
}

void NetworkParts::OpenHelp() {
    window_.openWebPage(QStringLiteral("/app_links/app_contexthelp.aspx?id=?ClientType=012"));
}

bool NetworkParts::isCallActive() {
    bool active = false;
    window_.withEngine([&](engine::Engine& engine) { active = engine.isCallActive(); });
    return active;
}

void NetworkParts::endEngine() {
    window_.endCall(false);
}

void NetworkParts::startEngine() {
    window_.startEngine();
}

void NetworkParts::endProgram() {
    window_.exitProgram();
}

std::string NetworkParts::detectOwnAddress(unsigned limitSeconds) {
    return detectOwnAddress_ ? detectOwnAddress_(limitSeconds)
                             : netconfig::DetectOwnAddress(limitSeconds);
}

}  // namespace ostrel::app
