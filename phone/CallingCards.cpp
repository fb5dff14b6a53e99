#include "phone/CallingCards.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "platform/Text.h"

namespace ostrel::phone {

namespace {

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string providerParam(const Provider& provider, std::string_view name) {
    for (const auto& param : provider.params) {
        if (equalIgnoringCase(param.name, name)) {
            return param.value;
        }
    }
    return {};
}

uint32_t providerParamNumber(const Provider& provider, std::string_view name) {
    const std::string text = providerParam(provider, name);
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > std::numeric_limits<uint32_t>::max()) {
            return 0;
        }
    }
    return negative ? 0 : static_cast<uint32_t>(value);
}

const Provider* CallingCardBook::findProvider(uint32_t id) const {
    const auto it = std::find_if(providers.begin(), providers.end(),
                                 [id](const Provider& p) { return p.id == id; });
    return it == providers.end() ? nullptr : &*it;
}

bool chooseCard(const CallingCardBook& book, CallingCard& card, Provider& provider) {
    for (const auto& c : book.cards) {
        if (c.isDefault == 0) {
            continue;
        }
        if (const Provider* p = book.findProvider(c.providerId)) {
            card = c;
            provider = *p;
            return true;
        }
    }
    return false;
}

CardEntry checkCardEntry(std::optional<uint32_t> providerId, std::string_view account,
                         std::string_view pin) {
    if (!providerId) {
        return {std::nullopt, kPleaseSelectProvider};
    }
    CallingCard card{*providerId, platform::trimmed(account), platform::trimmed(pin), 1};
    if (card.accountNumber.empty()) {
        return {std::nullopt, kPleaseEnterAccount};
    }
    if (card.pin.empty()) {
        return {std::nullopt, kPleaseEnterPin};
    }
    return {std::move(card), {}};
}

std::vector<CallingCard> cardsForFutureCalls(const std::vector<CallingCard>& stored,
                                             const CallingCard& entered) {
    std::vector<CallingCard> cards{entered};
    cards.front().isDefault = 1;
    for (const auto& c : stored) {
        if (c.providerId == entered.providerId && c.accountNumber == entered.accountNumber) {
            continue;
        }
        cards.push_back(c);
        cards.back().isDefault = 0;
    }
    return cards;
}

std::vector<CardRow> rowsForCards(const std::vector<CallingCard>& cards) {
    std::vector<CardRow> rows(kCardRows);
    for (size_t i = 0; i < kCardRows && i < cards.size(); ++i) {
        rows[i] = CardRow{cards[i].providerId, cards[i].accountNumber, cards[i].pin,
                          cards[i].isDefault != 0};
    }
    return rows;
}

CardRowsCheck checkCardRows(const std::vector<CardRow>& rows) {
    CardRowsCheck check;
    for (const auto& row : rows) {
        const std::string account = platform::trimmed(row.account);
        const std::string pin = platform::trimmed(row.pin);
        if (row.providerId && account.empty() && !pin.empty()) {
            return {{}, kPinWithoutAccount};
        }
        if (!row.providerId && row.isDefault) {
            return {{}, kDefaultWithoutProvider};
        }
        if (row.providerId) {
            check.cards.push_back(
                CallingCard{*row.providerId, account, pin, row.isDefault ? 1u : 0u});
        }
    }
    return check;
}

}  // namespace ostrel::phone
