#include "app/settings/Settings.h"

#include <cstdlib>

#include "app/settings/SettingsKey.h"

namespace ostrel::settings {

namespace value {
std::string emptyText() {
    return {};
}
std::string defaultCrashFileServerPath() {
    return "app2/logproblem.aspx";
}
}  // namespace value

namespace {

constexpr DwordSetting kDwords[] = {
    value::UseHttpProxy,
    value::HttpProxyPort,
    value::IPType,
    value::UseAlternateListeningPort,
    value::ListeningPort,
    value::AutoLogin,
    value::RingTime,
    value::AutoMMSettings,
    value::PopupBuddyJoinLeave,
    value::PopupNetworkCongestion,
    value::PopupBuddyOnline,
    value::DontShowDlgOnMinimize,
};

constexpr StringSetting kStrings[] = {
    value::HttpProxyName, value::ConfiguredIP,        value::User,
    value::Pass,          value::RecordingsDirectory, value::IPList,
    value::TelephoneList, value::LastKnownServer,     value::LastKnownCrashFileServerPath,
    value::ServiceHost,
};

}  // namespace

std::span<const DwordSetting> allDwordSettings() {
    return kDwords;
}
std::span<const StringSetting> allStringSettings() {
    return kStrings;
}

std::string serviceWebHost() {
    if (const char* env = std::getenv("OSTREL_SERVICE_HOST"); env != nullptr && *env != '\0') {
        return env;
    }
    if (auto stored = readOptional(value::ServiceHost); stored && !stored->empty()) {
        return *stored;
    }
    return std::string(kBuiltInServiceHost);
}

uint32_t read(const DwordSetting& setting) {
    uint32_t v = setting.defaultValue;
    SettingsKey key;
    key.readDword(setting.name, v);
    return v;
}

std::optional<std::string> readOptional(const StringSetting& setting) {
    SettingsKey key;
    std::string text;
    if (key.readString(setting.name, text, setting.bufferSize) != kSettingsOk) {
        return std::nullopt;
    }
    return text;
}

std::string read(const StringSetting& setting) {
    if (auto text = readOptional(setting)) {
        return *text;
    }
    return setting.defaultValue();
}

bool write(const DwordSetting& setting, uint32_t v) {
    SettingsKey key;
    return key.writeDword(setting.name, v) == kSettingsOk;
}

bool write(const StringSetting& setting, std::string_view text) {
    SettingsKey key;
    return key.writeString(setting.name, text) == kSettingsOk;
}

bool removeValue(std::string_view name) {
    SettingsKey key;
    return key.deleteValue(name) == kSettingsOk;
}

}  // namespace ostrel::settings
