// Telephone calls, window side: what the Telephone page and the calling-card dialogs need of
// the main window that embeds them. The main window implements it; every call comes on the
// window thread.
#pragma once

#include <QString>

#include <functional>
#include <string>
#include <string_view>

#include "engine/Engine.h"
#include "phone/CallingCards.h"
#include "phone/CardUpload.h"

class QDialog;
class QWidget;

namespace ostrel::webservice {
class HttpRequester;
}

namespace ostrel::phone {

class PhoneHost {
public:
    virtual ~PhoneHost() = default;

    // Runs `use` on the current engine under the window's engine guard, so the engine is not
    // replaced meanwhile. False (and `use` not run) when there is no engine.
    virtual bool withEngine(const std::function<void(engine::Engine&)>& use) = 0;

    // The logged-in account (loggedIn false otherwise) with its service directory.
    virtual PhoneAccount account() const = 0;
    // The providers and cards of the current login; a successful upload replaces the cards.
    virtual CallingCardBook& cardBook() = 0;
    // The window's long-lived requester, through which the card upload goes.
    virtual webservice::HttpRequester& requester() = 0;

    // The text of the connecting window while a call is prepared.
    virtual void setConnectingText(const QString& text) = 0;
    // True once the user asked to cancel the connection attempt.
    virtual bool cancelRequested() const = 0;

    // Modal interaction; the defaults show the real boxes and dialogs.
    virtual void showMessage(QWidget* parent, const QString& text);
    virtual int runDialog(QDialog& dialog);
    // Opens "/app_links/..." on the service's web host in the desktop's browser.
    virtual void openServicePage(const std::string& pathAndQuery);
    // Plays a dial-pad click from the program folder, waiting for it, unless another sound of
    // the client is playing.
    virtual void playKeyClick(std::string_view file);

    // True when the engine reports a call in progress.
    bool isCallActive();
};

inline constexpr const char* kMessageCaption = "Talvero";
inline constexpr const char* kExamplesPage =
    "/app_links/app_phone_usage_examples.aspx?ClientType=0";
inline constexpr const char* kPurchasePage = "/app_links/app_purchase_new_cc.aspx?ClientType=0";
inline constexpr const char* kHelpPage = "/app_links/app_contexthelp.aspx?ClientType=0";

}  // namespace ostrel::phone
