// The main window's network side: the "Network Settings" dialog and the port-forward test,
// whose hosts it is. GUI thread only, except detectOwnAddress (the test's network thread).
#pragma once

#include <functional>
#include <string>

#include "netconfig/ReachabilityTest.h"
#include "netconfig/ui/CMyPropertySheet.h"

namespace ostrel::app {

class COstrelDlg;

class NetworkParts : private netconfig::NetworkSettingsHost, private netconfig::ReachabilityHost {
public:
    NetworkParts(COstrelDlg& window, std::function<std::string(unsigned)> detectOwnAddress);

    // Takes over "&Network Settings" and "&Test Network Settings".
    void install();

    // The Network Settings dialog; a changed listening port restarts the idle engine.
    void openSettings();
    // The port-forward test (refused during a call; modes 3 and 4 only inform).
    void openTest();

private:
    // NetworkSettingsHost.
    bool CallActive() override;
    void OpenReachabilityTest() override;
    void OpenHelp() override;

    // ReachabilityHost.
    bool isCallActive() override;
    void endEngine() override;
    void startEngine() override;
    void endProgram() override;
    std::string detectOwnAddress(unsigned limitSeconds) override;

    COstrelDlg& window_;
    std::function<std::string(unsigned)> detectOwnAddress_;
};

}  // namespace ostrel::app
