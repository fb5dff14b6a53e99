#include "app/ui/ClientParts.h"

#include "app/ui/AccountParts.h"
#include "app/ui/COstrelDlg.h"
#include "app/ui/CallReportParts.h"
#include "app/ui/NetworkParts.h"

namespace ostrel::app {

ClientParts::ClientParts(COstrelDlg& window, const std::string& instanceGuid,
                         ClientPartsOptions options)
    : account_(std::make_unique<AccountParts>(window, instanceGuid, options.detectOwnAddress,
                                              options.timerThread)),
      network_(std::make_unique<NetworkParts>(window, options.detectOwnAddress)),
      callReports_(std::make_unique<CallReportParts>(window, account_->session())) {
    network_->install();
    callReports_->install([this] { return account_->timerThread(); }, [] { return false; });

    AccountParts::Links links;
    links.openNetworkSettings = [this] { network_->openSettings(); };
    links.postCallReport = [this] { callReports_->postCurrentReport(); };
    account_->install(std::move(links));
}

ClientParts::~ClientParts() {
    // The timer thread sends the call reports: it ends before the reporter goes.
    account_.reset();
}

}  // namespace ostrel::app
