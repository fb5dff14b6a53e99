#include "app/ui/ClientParts.h"

#include "app/ui/AccountParts.h"
#include "app/ui/AudioTestMenu.h"
#include "app/ui/COstrelDlg.h"
#include "app/ui/CallReportParts.h"
#include "app/ui/NetworkParts.h"
#include "app/ui/PhoneParts.h"
#include "app/ui/RecordingParts.h"
#include "webservice/HttpRequester.h"

namespace ostrel::app {

namespace {
constexpr uint32_t kCardUploadTimeoutSeconds = 60;
}  // namespace

ClientParts::ClientParts(COstrelDlg& window, const std::string& instanceGuid,
                         ClientPartsOptions options)
    : account_(std::make_unique<AccountParts>(window, instanceGuid, options.detectOwnAddress,
                                              options.timerThread)),
      network_(std::make_unique<NetworkParts>(window, options.detectOwnAddress)),
      callReports_(std::make_unique<CallReportParts>(window, account_->session())),
      phoneRequester_(std::make_unique<webservice::HttpRequester>(kCardUploadTimeoutSeconds)),
      phone_(std::make_unique<PhoneParts>(window, account_->session(), *phoneRequester_)),
      recording_(std::make_unique<RecordingParts>(window)) {
    network_->install();
    hostAudioTest(window);
    callReports_->install([this] { return account_->timerThread(); },
                          [this] { return recording_->isRecording(); });

    AccountParts::Links links;
    links.takeTelephoneData = [this](const std::vector<webservice::Provider>& providers,
                                     const std::vector<webservice::CallingCard>& cards) {
        phone_->takeTelephoneData(providers, cards);
    };
    links.openNetworkSettings = [this] { network_->openSettings(); };
    links.postCallReport = [this] { callReports_->postCurrentReport(); };
    account_->install(std::move(links));
}

ClientParts::~ClientParts() {
    // The timer thread sends the call reports: it ends before the reporter goes.
    account_->stopTimerThread();
}

}  // namespace ostrel::app
