// Every stored value of the client with its type, reader buffer size and default, in one
// table, and typed accessors that apply the default when a value is missing or unreadable.
// Each call is one access of the settings store; nothing is cached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ostrel::settings {

struct DwordSetting {
    std::string_view name;
    uint32_t defaultValue;
};

struct StringSetting {
    std::string_view name;
    size_t bufferSize;              // the reader's buffer; longer stored strings are not read
    std::string (*defaultValue)();  // what a missing value reads as
};

// The built-in service web host of this deployment (the bundled reference service).
inline constexpr std::string_view kBuiltInServiceHost = "127.0.0.1:8080";

// The service web host in effect: OSTREL_SERVICE_HOST, else "ServiceHost", else built-in.
std::string serviceWebHost();

namespace value {
inline constexpr DwordSetting UseHttpProxy{"UseHttpProxy", 0};
inline constexpr DwordSetting HttpProxyPort{"HttpProxyPort", 80};
inline constexpr DwordSetting IPType{"IPType", 0};
inline constexpr DwordSetting UseAlternateListeningPort{"UseAlternateListeningPort", 0};
inline constexpr DwordSetting ListeningPort{"ListeningPort", 1720};
inline constexpr DwordSetting AutoLogin{"AutoLogin", 0};
inline constexpr DwordSetting RingTime{"RingTime", 10};
inline constexpr DwordSetting AutoMMSettings{"AutoMMSettings", 1};
inline constexpr DwordSetting PopupBuddyJoinLeave{"PopupBuddyJoinLeave", 1};
inline constexpr DwordSetting PopupNetworkCongestion{"PopupNetworkCongestion", 1};
inline constexpr DwordSetting PopupBuddyOnline{"PopupBuddyOnline", 1};
inline constexpr DwordSetting DontShowDlgOnMinimize{"DontShowDlgOnMinimize", 0};

std::string emptyText();
std::string defaultCrashFileServerPath();

inline constexpr StringSetting HttpProxyName{"HttpProxyName", 260, emptyText};
inline constexpr StringSetting ConfiguredIP{"ConfiguredIP", 256, emptyText};
inline constexpr StringSetting User{"User", 64, emptyText};
inline constexpr StringSetting Pass{"Pass", 64, emptyText};
// No default: a missing value means "no directory" (read it with readOptional).
inline constexpr StringSetting RecordingsDirectory{"RecordingsDirectory", 260, emptyText};
inline constexpr StringSetting IPList{"IPList", 4096, emptyText};
inline constexpr StringSetting TelephoneList{"TelephoneList", 4096, emptyText};
inline constexpr StringSetting LastKnownServer{"LastKnownServer", 260, serviceWebHost};
inline constexpr StringSetting LastKnownCrashFileServerPath{"LastKnownCrashFileServerPath", 260,
                                                            defaultCrashFileServerPath};
// Overrides the built-in service web host; OSTREL_SERVICE_HOST overrides both.
inline constexpr StringSetting ServiceHost{"ServiceHost", 260, emptyText};
}  // namespace value

std::span<const DwordSetting> allDwordSettings();
std::span<const StringSetting> allStringSettings();

uint32_t read(const DwordSetting& setting);
std::string read(const StringSetting& setting);
// The stored text, or nothing when the value is missing, unreadable or too long.
std::optional<std::string> readOptional(const StringSetting& setting);

bool write(const DwordSetting& setting, uint32_t value);
bool write(const StringSetting& setting, std::string_view text);
bool removeValue(std::string_view name);

}  // namespace ostrel::settings
