// Everything the main window hosts beyond calls by address: the account pages with the timer
// thread, the telephone page, the record/play group, the network settings and reachability
// test, and the call reports. The window creates it once its controls exist and before its
// first engine starts; it goes before the window's controls do. GUI thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace ostrel::webservice {
class HttpRequester;
}

namespace ostrel::app {

class AccountParts;
class CallReportParts;
class COstrelDlg;
class NetworkParts;
class PhoneParts;
class RecordingParts;

struct ClientPartsOptions {
    // Own-address detection with a limit in seconds; empty: the network settings' detection.
    std::function<std::string(unsigned)> detectOwnAddress;
    // The timer thread and its 45-second status check (tests of single pages leave it off).
    bool timerThread = true;
};

class ClientParts {
public:
    ClientParts(COstrelDlg& window, const std::string& instanceGuid, ClientPartsOptions options);
    ~ClientParts();

    ClientParts(const ClientParts&) = delete;
    ClientParts& operator=(const ClientParts&) = delete;

    AccountParts& account() { return *account_; }
    NetworkParts& network() { return *network_; }
    CallReportParts& callReports() { return *callReports_; }
    PhoneParts& phone() { return *phone_; }
    RecordingParts& recording() { return *recording_; }

private:
    std::unique_ptr<AccountParts> account_;
    std::unique_ptr<NetworkParts> network_;
    std::unique_ptr<CallReportParts> callReports_;
    // The card upload's own: the timer thread's requester may be busy at the same time.
    std::unique_ptr<webservice::HttpRequester> phoneRequester_;
    std::unique_ptr<PhoneParts> phone_;
    std::unique_ptr<RecordingParts> recording_;
};

}  // namespace ostrel::app
