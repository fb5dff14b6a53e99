// Telephone calls: the upload of the user's calling cards to the web service. The post runs
// on its own thread ("Update calling card info thread...") through the window's requester;
// the window thread waits for it and then replaces its card list when the service stored it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "phone/CallingCards.h"
#include "webservice/ServiceDirectory.h"

namespace ostrel::webservice {
class HttpRequester;
}

namespace ostrel::phone {

inline constexpr const char* kUploadThreadName = "Update calling card info thread...";
inline constexpr std::string_view kUpdatingCardsText =
    "Updating calling card information to server....";
inline constexpr std::string_view kNotLoggedInUpload =
    "Cannot update since you are not logged in. Please login and try again";

// The logged-in account as the card flows need it.
struct PhoneAccount {
    bool loggedIn = false;
    std::string user;
    std::string password;
    webservice::ServiceDirectory directory;
};

// Posts `cards` with the account's credentials to the calling-card script. True only when the
// exchange completed and the reply, trimmed, begins with "+".
bool postCallingCards(webservice::HttpRequester& requester, const PhoneAccount& account,
                      const std::vector<CallingCard>& cards);

}  // namespace ostrel::phone
