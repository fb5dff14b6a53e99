// The telephone in the main window: the Telephone page (a call target of Talk), the calling
// card settings behind the Tools menu, and the window's side of what both need (engine,
// account, cards, the connecting window). GUI thread only. It must outlive the window's use
// of it: the page, the menu entry and the Talk path all call back into it.
#pragma once

#include <QPointer>

#include <vector>

#include "phone/CallingCards.h"
#include "phone/ui/PhoneHost.h"

namespace ostrel::account {
class AccountSession;
}

namespace ostrel::phone {
class CTelephonePage;
}

namespace ostrel::app {

class COstrelDlg;

class PhoneParts final : public phone::PhoneHost {
public:
    // Puts the Telephone page into the window and enables "&Calling Card Settings". Made after
    // the window's controls exist.
    PhoneParts(COstrelDlg& window, account::AccountSession& session,
               webservice::HttpRequester& requester);

    PhoneParts(const PhoneParts&) = delete;
    PhoneParts& operator=(const PhoneParts&) = delete;

    // The providers and cards of a login, replacing those of the last one.
    void takeTelephoneData(const std::vector<webservice::Provider>& providers,
                           const std::vector<webservice::CallingCard>& cards);

    // The page in the window's Telephone tab (null once the window let go of it).
    phone::CTelephonePage* page() const;
    // "&Calling Card Settings".
    void openCallingCardSettings();

    // PhoneHost.
    bool withEngine(const std::function<void(engine::Engine&)>& use) override;
    phone::PhoneAccount account() const override;
    phone::CallingCardBook& cardBook() override { return book_; }
    webservice::HttpRequester& requester() override { return requester_; }
    void setConnectingText(const QString& text) override;
    bool cancelRequested() const override;

private:
    COstrelDlg& window_;
    account::AccountSession& session_;
    webservice::HttpRequester& requester_;
    phone::CallingCardBook book_;
    QPointer<phone::CTelephonePage> page_;
};

}  // namespace ostrel::app
