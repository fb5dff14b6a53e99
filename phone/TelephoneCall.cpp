#include "phone/TelephoneCall.h"

#include <cctype>

#include "platform/Text.h"

namespace ostrel::phone {

std::string dialledNumber(std::string_view typed) {
    std::string number = platform::trimmed(typed);
    for (char& c : number) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return number;
}

std::string digitsOnly(std::string_view number) {
    std::string digits;
    for (const char c : number) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    return digits;
}

bool usesAutoDigits(const Provider& provider, const CallingCard& card) {
    return providerParamNumber(provider, kEnableAutoDtmf) == 1 && !card.accountNumber.empty();
}

engine::ConnectionRequest telephoneRequest(const std::string& number, const CallingCard& card,
                                           const Provider& provider,
                                           const std::string& gatewayAddress,
                                           uint16_t gatewayPort) {
    engine::ConnectionRequest request;
    request.address = gatewayAddress;
    request.port = gatewayPort;
    request.confirmUser = false;
    // The gateway party is shown under the number called.
    request.expectedUser = number;
    request.connectionString.clear();
    request.viaBridge = true;
    request.bridgeType = kTelephoneBridge;
    request.autoDtmf = usesAutoDigits(provider, card);
    if (request.autoDtmf) {
        request.delay1 = providerParamNumber(provider, kDelayForAccount);
        request.delay2 = providerParamNumber(provider, kDelayForPin);
        request.delay3 = providerParamNumber(provider, kDelayForPhone);
        request.dtmf1 = card.accountNumber;
        request.dtmf2 = card.pin;
        // "*" and "#" are left for the user to key in on the dial pad.
        request.dtmf3 = digitsOnly(number);
    }
    return request;
}

bool prepareTelephoneCall(engine::ConnectionRequest& request, const CallingCardBook& book,
                          TelephoneCallUi& ui, bool quiet) {
    const std::string number = quiet ? std::string() : dialledNumber(ui.numberText());
    if (number.empty() && !quiet) {
        ui.showMessage(kEnterNumberText);
        return false;
    }
    CallingCard card;
    Provider provider;
    if (!chooseCard(book, card, provider) && !ui.askForCard(card, provider)) {
        return false;
    }
    GatewayLookupRequest lookup;
    lookup.provider = provider;
    if (!ui.runLookup(lookup)) {
        if (lookup.cancel.load() == 0) {
            ui.showLookupFailure();
        }
        return false;
    }
    if (!number.empty()) {
        ui.numberCalled(number);
    }
    const auto cancel = request.cancel;
    request = telephoneRequest(number, card, provider, lookup.gatewayAddress,
                               static_cast<uint16_t>(lookup.gatewayPort));  // checked by the lookup
    if (cancel) {
        request.cancel = cancel;
    }
    return true;
}

}  // namespace ostrel::phone
