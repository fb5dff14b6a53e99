// Preparing a telephone call: the order of the window's steps when the user must enter a
// card, and the request that comes out of a real lookup. (The page's tests cover the
// empty number, the failed and the cancelled lookup.)
#include <gtest/gtest.h>

#include "phone/TelephoneCall.h"
#include "tests/phone/GatewayProcess.h"

using namespace ostrel;
using namespace ostrel::phone;

namespace {

class ScriptedUi : public TelephoneCallUi {
public:
    std::string typed;
    std::optional<std::pair<CallingCard, Provider>> enteredCard;  // empty: the user cancels

    std::vector<std::string> steps;
    std::vector<std::string> messages;
    std::vector<std::string> called;

    std::string numberText() override { return typed; }
    void showMessage(std::string_view text) override {
        steps.push_back("message");
        messages.emplace_back(text);
    }
    bool askForCard(CallingCard& card, Provider& provider) override {
        steps.push_back("ask");
        if (!enteredCard) {
            return false;
        }
        card = enteredCard->first;
        provider = enteredCard->second;
        return true;
    }
    bool runLookup(GatewayLookupRequest& request) override {
        steps.push_back("lookup " + std::to_string(request.provider.id));
        return lookupGateway(request, nullptr, {3, 300, 10});
    }
    void showLookupFailure() override { steps.push_back("failure"); }
    void numberCalled(const std::string& number) override {
        steps.push_back("called");
        called.push_back(number);
    }
};

Provider providerAt(uint32_t id, uint16_t lookupPort) {
    Provider p;
    p.id = id;
    p.displayName = "Telephone " + std::to_string(id);
    p.gatewayHosts = {{"127.0.0.1", lookupPort}};
    p.params = {{"enable_auto_dtmf", "1"},
                {"delay_for_acct_number", "100"},
                {"delay_for_pin_number", "200"},
                {"delay_for_phone_number", "300"}};
    return p;
}

}  // namespace

TEST(TelephoneCallTest, WithoutADefaultCardTheUserIsAskedAndMayCancel) {
    ScriptedUi ui;
    ui.typed = "5551234";
    CallingCardBook book;
    book.providers = {providerAt(1, 1)};
    book.cards = {{2, "999", "9", 1}};  // its provider is not among this login's
    engine::ConnectionRequest request;
    EXPECT_FALSE(prepareTelephoneCall(request, book, ui));
    EXPECT_EQ(ui.steps, std::vector<std::string>{"ask"});
    EXPECT_TRUE(request.address.empty());
}

TEST(TelephoneCallTest, EnteredCardIsUsedWithTheGatewayFoundAndTheNumberRemembered) {
    phonetest::GatewayProcess gateway;
    ASSERT_TRUE(gateway.ok());
    ScriptedUi ui;
    ui.typed = "  +1 (555) 010-2000#  ";
    ui.enteredCard = {{CallingCard{5, "8888", "77", 1}, providerAt(5, gateway.lookupPort())}};
    CallingCardBook book;
    book.providers = {providerAt(1, 1)};
    engine::ConnectionRequest request;
    const auto cancel = request.cancel;
    ASSERT_TRUE(prepareTelephoneCall(request, book, ui));
    EXPECT_EQ(ui.steps, (std::vector<std::string>{"ask", "lookup 5", "called"}));
    EXPECT_EQ(ui.called, std::vector<std::string>{"+1 (555) 010-2000#"});
    EXPECT_EQ(request.address, "127.0.0.1");
    EXPECT_EQ(request.port, gateway.bridgePort());
    EXPECT_EQ(request.expectedUser, "+1 (555) 010-2000#");
    EXPECT_TRUE(request.viaBridge);
    EXPECT_EQ(request.bridgeType, 1);
    EXPECT_TRUE(request.autoDtmf);
    EXPECT_EQ(request.dtmf1, "8888");
    EXPECT_EQ(request.dtmf2, "77");
    EXPECT_EQ(request.dtmf3, "15550102000");
    EXPECT_EQ(request.delay3, 300u);
    // The window keeps the flag it made, so its cancel still reaches the connect attempt.
    EXPECT_EQ(request.cancel, cancel);
}

TEST(TelephoneCallTest, AQuietCallIgnoresTheNumberFieldAndDialsTheGatewayWithTheCardDigits) {
    phonetest::GatewayProcess gateway;
    ASSERT_TRUE(gateway.ok());
    ScriptedUi ui;
    ui.typed = "5551234";  // not read: a quiet call has no number of its own
    CallingCardBook book;
    book.providers = {providerAt(3, gateway.lookupPort())};
    book.cards = {{3, "4444", "12", 1}};
    engine::ConnectionRequest request;
    ASSERT_TRUE(prepareTelephoneCall(request, book, ui, true));
    EXPECT_EQ(ui.steps, std::vector<std::string>{"lookup 3"});  // nothing remembered
    EXPECT_EQ(request.port, gateway.bridgePort());
    EXPECT_EQ(request.bridgeType, 1);
    EXPECT_EQ(request.expectedUser, "");
    EXPECT_TRUE(request.autoDtmf);
    EXPECT_EQ(request.dtmf1, "4444");
    EXPECT_EQ(request.dtmf2, "12");
    EXPECT_EQ(request.dtmf3, "");

    // Even an empty field is no reason for a message.
    ScriptedUi empty;
    book.cards = {};
    EXPECT_FALSE(prepareTelephoneCall(request, book, empty, true));
    EXPECT_EQ(empty.steps, std::vector<std::string>{"ask"});
}
