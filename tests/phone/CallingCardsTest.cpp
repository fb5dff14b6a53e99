// Choosing the card, reading provider parameters, filling the telephone request, and the
// checks of the two card dialogs.
#include <gtest/gtest.h>

#include "phone/CallingCards.h"
#include "phone/TelephoneCall.h"

using namespace ostrel;
using namespace ostrel::phone;

namespace {

Provider provider(uint32_t id, std::vector<webservice::ProviderParam> params = {}) {
    Provider p;
    p.id = id;
    p.displayName = "Provider " + std::to_string(id);
    p.gatewayHosts = {{"127.0.0.1", 1730}};
    p.params = std::move(params);
    return p;
}

Provider autoDigitProvider() {
    return provider(3, {{"Enable_Auto_DTMF", "1"},
                        {"delay_for_acct_number", "1500"},
                        {"DELAY_FOR_PIN_NUMBER", " 3000"},
                        {"delay_for_phone_number", "4500ms"}});
}

}  // namespace

TEST(CallingCardsTest, DefaultCardOfAnUnknownProviderIsSkipped) {
    CallingCardBook book;
    book.providers = {provider(1), provider(2)};
    book.cards = {{9, "111", "1", 1}, {1, "222", "2", 0}, {2, "333", "3", 1}, {1, "444", "4", 1}};
    CallingCard card;
    Provider chosen;
    ASSERT_TRUE(chooseCard(book, card, chosen));
    EXPECT_EQ(card.accountNumber, "333");
    EXPECT_EQ(chosen.id, 2u);

    book.cards = {{9, "111", "1", 1}, {1, "222", "2", 0}};
    EXPECT_FALSE(chooseCard(book, card, chosen));
    book.cards.clear();
    EXPECT_FALSE(chooseCard(book, card, chosen));
}

TEST(CallingCardsTest, ParametersIgnoreCaseAndReadAsNumbers) {
    const Provider p = provider(1, {{"Delay_For_Pin_Number", "  250xyz"},
                                    {"delay_for_pin_number", "999"},
                                    {"delay_for_acct_number", "-5"},
                                    {"delay_for_phone_number", "99999999999"},
                                    {"enable_auto_dtmf", "yes"}});
    EXPECT_EQ(providerParam(p, "DELAY_FOR_PIN_NUMBER"), "  250xyz");
    EXPECT_EQ(providerParamNumber(p, kDelayForPin), 250u);
    EXPECT_EQ(providerParamNumber(p, kDelayForAccount), 0u);
    EXPECT_EQ(providerParamNumber(p, kDelayForPhone), 0u);
    EXPECT_EQ(providerParamNumber(p, kEnableAutoDtmf), 0u);
    EXPECT_EQ(providerParam(p, "missing"), "");
    EXPECT_EQ(providerParamNumber(p, "missing"), 0u);
}

TEST(CallingCardsTest, TelephoneRequestCarriesTheDigitsOfTheNumberOnly) {
    const std::string number = dialledNumber("  (0044) 20-7946-0958#  ");
    EXPECT_EQ(number, "(0044) 20-7946-0958#");
    const CallingCard card{3, "12345678", "4321", 1};
    const auto request = telephoneRequest(number, card, autoDigitProvider(), "gw.test", 1731);
    EXPECT_EQ(request.address, "gw.test");
    EXPECT_EQ(request.port, 1731);
    EXPECT_FALSE(request.confirmUser);
    EXPECT_EQ(request.expectedUser, "(0044) 20-7946-0958#");
    EXPECT_TRUE(request.connectionString.empty());
    EXPECT_TRUE(request.viaBridge);
    EXPECT_EQ(request.bridgeType, 1);
    EXPECT_FALSE(request.cancelled());
    ASSERT_TRUE(request.autoDtmf);
    EXPECT_EQ(request.dtmf1, "12345678");
    EXPECT_EQ(request.dtmf2, "4321");
    EXPECT_EQ(request.dtmf3, "00442079460958");
    EXPECT_EQ(request.delay1, 1500u);
    EXPECT_EQ(request.delay2, 3000u);
    EXPECT_EQ(request.delay3, 4500u);
    EXPECT_EQ(dialledNumber("\t1-800-FLOWERS\n"), "1-800-flowers");
}

TEST(CallingCardsTest, AutomaticDigitsNeedTheFlagAndAnAccount) {
    const CallingCard noAccount{3, "", "4321", 1};
    const auto request = telephoneRequest("5551234", noAccount, autoDigitProvider(), "gw", 1);
    EXPECT_FALSE(request.autoDtmf);
    EXPECT_TRUE(request.dtmf1.empty());
    EXPECT_TRUE(request.dtmf2.empty());
    EXPECT_TRUE(request.dtmf3.empty());
    EXPECT_EQ(request.delay1 + request.delay2 + request.delay3, 0u);

    const CallingCard card{3, "12345678", "4321", 1};
    for (const char* flag : {"0", "2", "", "true"}) {
        const Provider p = provider(3, {{"enable_auto_dtmf", flag}, {"delay_for_pin_number", "9"}});
        const auto r = telephoneRequest("5551234", card, p, "gw", 1);
        EXPECT_FALSE(r.autoDtmf) << flag;
        EXPECT_TRUE(r.dtmf1.empty()) << flag;
        EXPECT_EQ(r.delay2, 0u) << flag;
    }
}

TEST(CallingCardsTest, EnteredCardNeedsProviderAccountAndPin) {
    EXPECT_EQ(checkCardEntry(std::nullopt, "1", "2").refusal, kPleaseSelectProvider);
    EXPECT_EQ(checkCardEntry(1, "  ", "2").refusal, kPleaseEnterAccount);
    EXPECT_EQ(checkCardEntry(1, "123", " \t").refusal, kPleaseEnterPin);
    const auto entry = checkCardEntry(4, " 123 ", " 99 ");
    ASSERT_TRUE(entry.card);
    EXPECT_TRUE(entry.refusal.empty());
    EXPECT_EQ(entry.card->providerId, 4u);
    EXPECT_EQ(entry.card->accountNumber, "123");
    EXPECT_EQ(entry.card->pin, "99");
    EXPECT_EQ(entry.card->isDefault, 1u);
}

TEST(CallingCardsTest, SettingsRowsRefuseAPinWithoutAccountAndAcceptAnAccountWithoutPin) {
    std::vector<CardRow> rows(3);
    rows[0] = {1, " 555 ", "", true};
    rows[2] = {2, "  ", "1234", false};
    EXPECT_EQ(checkCardRows(rows).refusal, kPinWithoutAccount);

    rows[2] = {2, "777", "", false};
    const auto accepted = checkCardRows(rows);
    EXPECT_TRUE(accepted.refusal.empty());
    ASSERT_EQ(accepted.cards.size(), 2u);
    EXPECT_EQ(accepted.cards[0].providerId, 1u);
    EXPECT_EQ(accepted.cards[0].accountNumber, "555");
    EXPECT_EQ(accepted.cards[0].isDefault, 1u);
    EXPECT_EQ(accepted.cards[1].accountNumber, "777");
    EXPECT_EQ(accepted.cards[1].isDefault, 0u);

    rows[1] = {std::nullopt, "", "", true};
    EXPECT_EQ(checkCardRows(rows).refusal, kDefaultWithoutProvider);
    EXPECT_TRUE(checkCardRows(rows).cards.empty());

    // A row without a provider is no card, whatever its fields still hold.
    rows[1] = {std::nullopt, "123", "456", false};
    EXPECT_EQ(checkCardRows(rows).cards.size(), 2u);
}

TEST(CallingCardsTest, FiveStoredCardsFillThreeRows) {
    std::vector<CallingCard> cards;
    for (uint32_t i = 1; i <= 5; ++i) {
        cards.push_back(
            {i, "acct" + std::to_string(i), "pin" + std::to_string(i), i == 5 ? 1u : 0u});
    }
    const auto rows = rowsForCards(cards);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].account, "acct3");
    EXPECT_FALSE(rows[0].isDefault || rows[1].isDefault || rows[2].isDefault);
    const auto saved = checkCardRows(rows);
    ASSERT_EQ(saved.cards.size(), 3u);
    EXPECT_EQ(saved.cards[2].providerId, 3u);

    const auto one = rowsForCards({{7, "a", "p", 1}});
    ASSERT_EQ(one.size(), 3u);
    EXPECT_EQ(one[0].providerId, 7u);
    EXPECT_TRUE(one[0].isDefault);
    EXPECT_FALSE(one[1].providerId);
}

TEST(CallingCardsTest, KeepingAnEnteredCardKeepsTheOtherCards) {
    const std::vector<CallingCard> stored = {
        {1, "111", "1", 0}, {9, "222", "2", 1}, {4, "555", "old", 0}};
    const auto cards = cardsForFutureCalls(stored, {4, "555", "new", 1});
    ASSERT_EQ(cards.size(), 3u);
    EXPECT_EQ(cards[0].providerId, 4u);
    EXPECT_EQ(cards[0].pin, "new");
    EXPECT_EQ(cards[0].isDefault, 1u);
    EXPECT_EQ(cards[1].accountNumber, "111");
    EXPECT_EQ(cards[2].accountNumber, "222");
    EXPECT_EQ(cards[1].isDefault + cards[2].isDefault, 0u);
    EXPECT_EQ(cardsForFutureCalls({}, {4, "5", "6", 0}).front().isDefault, 1u);
}
