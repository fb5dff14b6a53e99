#include "app/ui/PhoneParts.h"

#include "account/AccountSession.h"
#include "app/ui/COstrelDlg.h"
#include "app/ui/CallTargetPage.h"
#include "phone/ui/CCallingCardSettingsDlg.h"
#include "phone/ui/CTelephonePage.h"

namespace ostrel::app {

namespace {

// The Telephone page as Talk sees it: its number through the card and the gateway lookup.
class TelephoneTargetPage final : public phone::CTelephonePage, public CallTargetPage {
public:
    using CTelephonePage::CTelephonePage;

    std::optional<engine::ConnectionRequest> prepareCall(bool quiet) override {
        engine::ConnectionRequest request;
        if (!prepareTelephoneCall(request, quiet)) {
            return std::nullopt;
        }
        return request;
    }
};

}  // namespace

PhoneParts::PhoneParts(COstrelDlg& window, account::AccountSession& session,
                       webservice::HttpRequester& requester)
    : window_(window), session_(session), requester_(requester) {
    auto* page = new TelephoneTargetPage(*this);
    page_ = page;
    window_.setPage(COstrelDlg::Page::Telephone, page);
    window_.setMenuHandler(COstrelDlg::MenuEntry::CallingCardSettings,
                           [this] { openCallingCardSettings(); });
}

void PhoneParts::takeTelephoneData(const std::vector<webservice::Provider>& providers,
                                   const std::vector<webservice::CallingCard>& cards) {
    book_.providers = providers;
    book_.cards = cards;
}

phone::CTelephonePage* PhoneParts::page() const {
    return page_.data();
}

void PhoneParts::openCallingCardSettings() {
    phone::CCallingCardSettingsDlg::run(*this, &window_);
}

bool PhoneParts::withEngine(const std::function<void(engine::Engine&)>& use) {
    return window_.withEngine(use);
}

phone::PhoneAccount PhoneParts::account() const {
    phone::PhoneAccount account;
    account.loggedIn = session_.LoggedIn();
    if (account.loggedIn) {
        const account::Credentials credentials = session_.LoggedInCredentials();
        account.user = credentials.user;
        account.password = credentials.password;
        account.directory = session_.Directory();
    }
    return account;
}

void PhoneParts::setConnectingText(const QString& text) {
    window_.setConnectingText(text);
}

bool PhoneParts::cancelRequested() const {
    return window_.cancelRequested();
}

}  // namespace ostrel::app
