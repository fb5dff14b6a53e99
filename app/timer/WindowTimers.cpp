#include "app/timer/WindowTimers.h"

#include <cstdio>

#include "app/settings/Settings.h"
#include "platform/Platform.h"

namespace ostrel::app {

std::string ActiveCallText(uint32_t seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "Active %02u:%02u:%02u", seconds / 3600, (seconds / 60) % 60,
                  seconds % 60);
    return text;
}

std::string CongestionText(const std::vector<PartyDelay>& parties, uint32_t now) {
    std::string text;
    for (const auto& party : parties) {
        if (now - party.lastDelayTick > kCongestedAfterMs) {
            text += "\n" + party.name;
        }
    }
    return text.empty() ? text : "Network congestion with\n------" + text;
}

void WindowTimers::OnCallClock(uint32_t now) {
    const uint32_t tick = ticks_.fetch_add(1) + 1;
    if (!host_.CallActive()) {
        return;
    }
    host_.SetStatusText(2, ActiveCallText(host_.CallSeconds()));
    if (tick % 10 == 0) {
        const std::string text = CongestionText(host_.PartyDelays(), now);
        if (!text.empty() && settings::read(settings::value::PopupNetworkCongestion) == 1) {
            host_.ShowCongestionPopup(text);
        }
    }
    if (tick % 300 == 0) {
        host_.PostCallReport();
    }
}

void WindowTimers::showStatusPanes() {
    host_.SetStatusText(0, host_.LoggedIn() ? settings::serviceWebHost() : "Please Login");
    host_.SetStatusText(1, host_.NetworkStatusText());
}

void WindowTimers::OnStatusTimer() {
    platform::trace("Posting Message to Timer Thread");
    host_.RequestStatusCheck();
    showStatusPanes();
}

void WindowTimers::OnSettingsChanged() {
    platform::trace("IPAddress change detected");
    showStatusPanes();
}

}  // namespace ostrel::app
