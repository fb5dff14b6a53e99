// Web service client: the login reply (verdict, service messages, buddy names, telephone
// providers and calling cards) and its reader. The login thread parses into the record and
// the window thread reads it after that thread has ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::webservice {

// Buddy names are held in 256-byte buffers elsewhere, so the reply's are cut to 255 bytes.
inline constexpr size_t kMaxBuddyNameBytes = 255;

struct GatewayHost {
    std::string name;   // "provider_gatewaylookup_host_name"
    uint32_t port = 0;  // "provider_gatewaylookup_host_port"
};

struct ProviderParam {
    std::string name;   // "provider_param_name"
    std::string value;  // "provider_param_value"
};

struct Provider {
    uint32_t id = 0;          // "provider_id"
    std::string displayName;  // "provider_display_name"
    std::vector<GatewayHost> gatewayHosts;
    std::vector<ProviderParam> params;
};

struct CallingCard {
    uint32_t providerId = 0;    // "calling_card_provider"
    std::string accountNumber;  // "calling_card_account_number"
    std::string pin;            // "calling_card_pin_number"
    uint32_t isDefault = 0;     // "calling_card_isdefault"
};

struct LoginReply {
    // A default record is the reset state before a login: refused until "errorcode" says 0.
    uint32_t error = 1;
    std::string errDescription;
    std::string showUserMessage;
    std::string urlToNavigate;
    std::string popupUrl;
    std::vector<std::string> buddyNames;  // in reply order, duplicates kept
    std::vector<Provider> providers;
    std::vector<CallingCard> callingCards;

    void Reset() { *this = LoginReply(); }
};

// Resets `reply`, then reads the login grammar (element names match exactly). True when the
// text is well-formed XML; error stays 1 unless an "errorcode" element holds exactly "0".
bool ParseLoginReply(std::string_view text, LoginReply& reply);

}  // namespace ostrel::webservice
