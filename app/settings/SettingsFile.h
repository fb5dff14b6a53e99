// The text form of the settings file: one value a line, `"Name"=dword:0000000a` or
// `"Name"="text"` with \\ and \" escaped, `#` comments. Lines that do not parse are kept as
// they are when the file is rewritten, so a rewrite never loses anything it cannot read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ostrel::settings {

using SettingValue = std::variant<uint32_t, std::string>;

struct SettingLine {
    std::string text;                 // the line as stored
    std::optional<std::string> name;  // set when the line holds a readable value
    SettingValue value;
};

std::vector<SettingLine> parseSettings(std::string_view content);

// The last readable line of that name (names compare without regard to ASCII case).
const SettingLine* findSetting(const std::vector<SettingLine>& lines, std::string_view name);

// Replaces every line of that name by one line with the new value (at the first one's place,
// else at the end); with no value, removes them. Returns the new file content.
std::string updateSettings(const std::vector<SettingLine>& lines, std::string_view name,
                           const std::optional<SettingValue>& value);

std::string formatSettingLine(std::string_view name, const SettingValue& value);

}  // namespace ostrel::settings
