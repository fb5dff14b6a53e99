// The window timers' logic: the call clock, the congestion check and the status panes.
#include <gtest/gtest.h>

#include <map>

#include "app/settings/Settings.h"
#include "app/timer/WindowTimers.h"
#include "tests/webservice/ScopedConfigDir.h"

using namespace ostrel;
using namespace ostrel::app;

namespace {

class FakeWindow : public WindowTimerHost {
public:
    bool CallActive() override { return active; }
    uint32_t CallSeconds() override { return seconds; }
    std::vector<PartyDelay> PartyDelays() override { return parties; }
    void PostCallReport() override { ++reports; }
    void SetStatusText(int pane, const std::string& text) override { panes[pane] = text; }
    void ShowCongestionPopup(const std::string& text) override { popups.push_back(text); }
    void RequestStatusCheck() override { ++checks; }
    bool LoggedIn() override { return loggedIn; }
    std::string NetworkStatusText() override { return "Your IP:1.2.3.4"; }

    bool active = false;
    bool loggedIn = false;
    uint32_t seconds = 0;
    std::vector<PartyDelay> parties;
    int reports = 0;
    int checks = 0;
    std::map<int, std::string> panes;
    std::vector<std::string> popups;
};

}  // namespace

TEST(WindowTimers, CallClockText) {
    EXPECT_EQ(ActiveCallText(0), "Active 00:00:00");
    EXPECT_EQ(ActiveCallText(3 * 3600 + 25 * 60 + 7), "Active 03:25:07");
}

TEST(WindowTimers, CongestionNamesOverduePartiesEvenAcrossTheTickWrap) {
    const uint32_t now = 5000;  // just after the 32-bit tick count wrapped
    const std::vector<PartyDelay> parties = {
        {"bob", now - 10001}, {"carol", now - 200}, {"dave", now - 20000}};
    EXPECT_EQ(CongestionText(parties, now), "Network congestion with\n------\nbob\ndave");
    EXPECT_EQ(CongestionText({{"carol", now - 10000}}, now), "");
}

TEST(WindowTimers, EveryTenthTickChecksCongestionAndEveryThreeHundredthReports) {
    webservice::test::ScopedConfigDir config;
    FakeWindow window;
    WindowTimers timers(window);
    timers.OnCallClock(100000);
    EXPECT_TRUE(window.panes.empty());  // no call: nothing but the count
    EXPECT_EQ(timers.Ticks(), 1u);

    window.active = true;
    window.seconds = 61;
    window.parties = {{"bob", 0}};
    for (int i = 0; i < 8; ++i) {
        timers.OnCallClock(100000);
    }
    EXPECT_EQ(window.panes[2], "Active 00:01:01");
    EXPECT_TRUE(window.popups.empty());
    timers.OnCallClock(100000);  // tick 10
    ASSERT_EQ(window.popups.size(), 1u);
    EXPECT_EQ(window.popups[0], "Network congestion with\n------\nbob");

    settings::write(settings::value::PopupNetworkCongestion, 0);
    for (int i = 0; i < 290; ++i) {
        timers.OnCallClock(100000);
    }
    EXPECT_EQ(window.popups.size(), 1u);
    EXPECT_EQ(window.reports, 1);
}

TEST(WindowTimers, StatusTimerRequestsACheckAndSettingsChangeOnlyRedraws) {
    webservice::test::ScopedConfigDir config;
    setenv("OSTREL_SERVICE_HOST", "service.example", 1);
    FakeWindow window;
    WindowTimers timers(window);
    timers.OnStatusTimer();
    EXPECT_EQ(window.checks, 1);
    EXPECT_EQ(window.panes[0], "Please Login");
    EXPECT_EQ(window.panes[1], "Your IP:1.2.3.4");
    window.loggedIn = true;
    timers.OnSettingsChanged();
    EXPECT_EQ(window.checks, 1);
    EXPECT_EQ(window.panes[0], "service.example");
    unsetenv("OSTREL_SERVICE_HOST");
}
