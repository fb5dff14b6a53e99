// Telephone calls: the providers and calling cards of the logged-in user (as the login reply
// and a successful upload give them), the provider parameters the client reads, the choice of
// the default card, and the checks of what the user types into the two card dialogs.
// Plain values and pure functions; the window thread owns the one instance.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "webservice/LoginReply.h"

namespace ostrel::phone {

using webservice::CallingCard;
using webservice::Provider;

// Provider parameters the client reads.
inline constexpr std::string_view kEnableAutoDtmf = "enable_auto_dtmf";
inline constexpr std::string_view kDelayForAccount = "delay_for_acct_number";
inline constexpr std::string_view kDelayForPin = "delay_for_pin_number";
inline constexpr std::string_view kDelayForPhone = "delay_for_phone_number";

// The value of the parameter `name` (compared without regard to letter case; the first one
// wins), or the empty text when the provider has none.
std::string providerParam(const Provider& provider, std::string_view name);
// The parameter read as a number the way atoi reads it: leading blanks, an optional sign, then
// digits; anything else (or nothing) reads as 0. Negative numbers and numbers beyond u32 give 0,
// since the values are delays and flags.
uint32_t providerParamNumber(const Provider& provider, std::string_view name);

// What the client knows of the user's telephone accounts while logged in.
struct CallingCardBook {
    std::vector<Provider> providers;
    std::vector<CallingCard> cards;

    const Provider* findProvider(uint32_t id) const;
};

// `chooseCard`: the first card marked default whose provider is known, with that provider.
bool chooseCard(const CallingCardBook& book, CallingCard& card, Provider& provider);

// The texts of the card dialogs.
inline constexpr std::string_view kSelectProvider = "<select>";
inline constexpr std::string_view kNotLoggedInCards =
    "You can configure calling card information only after you login";
inline constexpr std::string_view kPleaseSelectProvider = "Please select a provider";
inline constexpr std::string_view kPleaseEnterAccount = "Please enter the account number";
inline constexpr std::string_view kPleaseEnterPin = "Please enter the pin number";
inline constexpr std::string_view kPinWithoutAccount =
    "You cannot enter a pin number with out specifying the account number.";
inline constexpr std::string_view kDefaultWithoutProvider =
    "Please select the provider for the default calling card";
inline constexpr std::string_view kUploadFailed = "Failed to update calling card info to server";

// "Enter Calling Card to Use": the card for this call, or the message that keeps the dialog
// open. `providerId` is empty when "<select>" is chosen. Account and PIN are trimmed.
struct CardEntry {
    std::optional<CallingCard> card;
    std::string_view refusal;  // empty when card is set
};
CardEntry checkCardEntry(std::optional<uint32_t> providerId, std::string_view account,
                         std::string_view pin);

// The card list to upload when the user keeps an entered card for future calls: that card
// first, as the one default, then the stored cards (their default flags cleared, a copy of
// the same provider and account dropped). The upload replaces the whole list, so uploading
// the new card alone would delete every other card of the user.
std::vector<CallingCard> cardsForFutureCalls(const std::vector<CallingCard>& stored,
                                             const CallingCard& entered);

// One row of "Calling Card Settings" as the user left it.
struct CardRow {
    std::optional<uint32_t> providerId;  // empty: "<select>"
    std::string account;
    std::string pin;
    bool isDefault = false;
};

inline constexpr size_t kCardRows = 3;

// The rows that show `cards`: the first three in stored order. A card's row keeps its
// provider id even when the provider is not among the current ones; the dialog shows such a
// row as "<select>".
std::vector<CardRow> rowsForCards(const std::vector<CallingCard>& cards);

// "&Save": the cards to upload in row order (rows with a provider), or the first refusal.
struct CardRowsCheck {
    std::vector<CallingCard> cards;
    std::string_view refusal;  // empty when the rows are accepted
};
CardRowsCheck checkCardRows(const std::vector<CardRow>& rows);

}  // namespace ostrel::phone
