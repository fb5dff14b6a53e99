// Telephone calls: preparing the connection request of a call to a telephone number. The
// number, the card and the gateway become a bridge call of type 1 whose automatic digits are
// the card's account, its PIN and the number's digits. Runs on the window thread; the parts
// that need the user or the lookup thread go through TelephoneCallUi.
#pragma once

#include <string>
#include <string_view>

#include "engine/ConnectionRequest.h"
#include "phone/CallingCards.h"
#include "phone/GatewayLookup.h"

namespace ostrel::phone {

inline constexpr std::string_view kEnterNumberText = "Enter the phone number to call.";

// The bridge type of a call to a telephone number.
inline constexpr uint8_t kTelephoneBridge = 1;

// What preparing a call asks of the window.
class TelephoneCallUi {
public:
    virtual ~TelephoneCallUi() = default;
    // The number field's text as typed.
    virtual std::string numberText() = 0;
    virtual void showMessage(std::string_view text) = 0;
    // "Enter Calling Card to Use"; false when the user cancels.
    virtual bool askForCard(CallingCard& card, Provider& provider) = 0;
    // Shows "Resolving telephone gateway....", runs `lookupGateway` on its thread while the
    // window keeps working (and passes a user's cancel into the request), and returns its
    // result once the thread has ended.
    virtual bool runLookup(GatewayLookupRequest& request) = 0;
    // The dialog "Call cannot be completed now. Please try again momentarily".
    virtual void showLookupFailure() = 0;
    // After a successful lookup: the number goes to the front of the recent numbers, which
    // are saved and shown again.
    virtual void numberCalled(const std::string& number) = 0;
};

// The number as dialled: trimmed of white space at both ends, in lower case.
std::string dialledNumber(std::string_view typed);
// The number's decimal digits alone (what the gateway gets as automatic digits).
std::string digitsOnly(std::string_view number);

// Automatic digits are used when the provider's "enable_auto_dtmf" is the number 1 and the
// card has an account number.
bool usesAutoDigits(const Provider& provider, const CallingCard& card);

// The request for `number` through the gateway found, with the card's automatic digits.
engine::ConnectionRequest telephoneRequest(const std::string& number, const CallingCard& card,
                                           const Provider& provider,
                                           const std::string& gatewayAddress, uint16_t gatewayPort);

// `prepareTelephoneCall`: true when `request` is ready to dial. Its cancel flag is left as the
// caller made it (a fresh one), since the lookup's cancel is the lookup's own.
// `quiet` (a hot-key or tray Talk, whatever page is in front): the number field is not read
// and nothing is said about it; the gateway is dialled with the card's digits alone and the
// user keys the number on the dial pad once it answers.
bool prepareTelephoneCall(engine::ConnectionRequest& request, const CallingCardBook& book,
                          TelephoneCallUi& ui, bool quiet = false);

}  // namespace ostrel::phone
