// A telephone call end to end: the lookup at the reference gateway, the request filled from a
// calling card, a real engine dialling the bridge, and the gateway printing the digits it got.
#include <gtest/gtest.h>

#include "engine/NetCore.h"
#include "phone/TelephoneCall.h"
#include "tests/engine/RecordingSink.h"
#include "tests/phone/GatewayProcess.h"

using namespace ostrel;
using namespace ostrel::phone;
using enginetest::RecordingSink;
using phonetest::GatewayProcess;
using phonetest::numberAfter;

namespace {

Provider telephoneProvider(uint16_t lookupPort) {
    Provider p;
    p.id = 1;
    p.displayName = "Talvero Telephone";
    p.gatewayHosts = {{"127.0.0.1", lookupPort}};
    p.params = {{"enable_auto_dtmf", "1"},
                {"delay_for_acct_number", "300"},
                {"delay_for_pin_number", "900"},
                {"delay_for_phone_number", "1500"}};
    return p;
}

// The time a "digits TEXT at N ms" line gives, once that line is there.
std::optional<long> digitsAt(GatewayProcess& gateway, const std::string& digits, int ms) {
    const auto line = gateway.waitFor("digits " + digits + " at ", ms);
    return line ? numberAfter(*line, " at ") : std::nullopt;
}

}  // namespace

TEST(TelephoneGatewayCallTest, CardDigitsArriveAtTheProvidersDelaysAndDialPadDigitsAfter) {
    GatewayProcess gateway({"--ring-ms", "100"});
    ASSERT_TRUE(gateway.ok());

    GatewayLookupRequest lookup;
    lookup.provider = telephoneProvider(gateway.lookupPort());
    ASSERT_TRUE(lookupGateway(lookup));
    const CallingCard card{1, "12345678", "4321", 1};
    const auto request =
        telephoneRequest(dialledNumber(" (555) 010-2000# "), card, lookup.provider,
                         lookup.gatewayAddress, static_cast<uint16_t>(lookup.gatewayPort));

    RecordingSink sink;
    engine::NetCore engine(enginetest::kIdentity, 0, sink, "alice", 6, enginetest::fastTimings());
    const auto session = engine.connect(request);
    ASSERT_TRUE(session);
    EXPECT_TRUE(gateway.waitFor("accepted 127.0.0.1:"));
    EXPECT_TRUE(gateway.waitFor("bridge-type=1 connection-string=\"\""));

    const auto account = digitsAt(gateway, "12345678", 3000);
    const auto pin = digitsAt(gateway, "4321", 3000);
    const auto number = digitsAt(gateway, "5550102000", 3000);
    ASSERT_TRUE(account && pin && number);
    // Each string leaves at its delay after the connect; the gateway counts from its accept,
    // which comes a moment before the engine's connect time.
    EXPECT_GE(*account, 300);
    EXPECT_LT(*account, 900);
    EXPECT_GE(*pin, 900);
    EXPECT_LT(*pin, 1500);
    EXPECT_GE(*number, 1500);
    EXPECT_LT(*number, 2100);

    // Keys typed during the call: each one arrives once, in order, acknowledged (an
    // unacknowledged one would hold back the next).
    for (const char* key : {"5", "#", "*"}) {
        engine.sendDigits(key);
    }
    EXPECT_TRUE(digitsAt(gateway, "5", 2000));
    EXPECT_TRUE(digitsAt(gateway, "#", 2000));
    EXPECT_TRUE(digitsAt(gateway, "*", 2000));
    EXPECT_EQ(gateway.linesWith("digits ").size(), 6u);

    EXPECT_TRUE(engine.hangUp(session));
    EXPECT_TRUE(gateway.waitFor("hangup 127.0.0.1:"));
    engine.stop();
}
