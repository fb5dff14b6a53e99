#include "app/settings/SettingsFile.h"

#include <cctype>
#include <charconv>
#include <cstdio>

namespace ostrel::settings {

namespace {

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// Reads a quoted string starting at text[pos] == '"'; advances pos past the closing quote.
std::optional<std::string> readQuoted(std::string_view text, size_t& pos) {
    if (pos >= text.size() || text[pos] != '"') {
        return std::nullopt;
    }
    std::string out;
    for (size_t i = pos + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            pos = i + 1;
            return out;
        }
        if (c == '\\') {
            if (++i >= text.size()) {
                return std::nullopt;
            }
            switch (text[i]) {
                case '\\':
                    out += '\\';
                    break;
                case '"':
                    out += '"';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                default:
                    return std::nullopt;
            }
            continue;
        }
        out += c;
    }
    return std::nullopt;
}

std::string quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            // A raw line break would split the value over two lines.
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    out += '"';
    return out;
}

SettingLine parseLine(std::string_view line) {
    SettingLine out{std::string(line), std::nullopt, uint32_t{0}};
    size_t start = 0;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) {
        ++start;
    }
    if (start >= line.size() || line[start] == '#') {
        return out;
    }
    size_t pos = start;
    auto name = readQuoted(line, pos);
    if (!name || name->empty() || pos >= line.size() || line[pos] != '=') {
        return out;
    }
    ++pos;
    std::string_view rest = line.substr(pos);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\r')) {
        rest.remove_suffix(1);
    }
    constexpr std::string_view kDword = "dword:";
    if (rest.substr(0, kDword.size()) == kDword) {
        const std::string_view hex = rest.substr(kDword.size());
        uint32_t value = 0;
        const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
        if (hex.empty() || hex.size() > 8 || ec != std::errc() || end != hex.data() + hex.size()) {
            return out;
        }
        out.name = std::move(*name);
        out.value = value;
        return out;
    }
    size_t valuePos = 0;
    auto text = readQuoted(rest, valuePos);
    if (!text || valuePos != rest.size()) {
        return out;
    }
    out.name = std::move(*name);
    out.value = std::move(*text);
    return out;
}

}  // namespace

std::vector<SettingLine> parseSettings(std::string_view content) {
    std::vector<SettingLine> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string_view::npos) {
            end = content.size();
        }
        lines.push_back(parseLine(content.substr(pos, end - pos)));
        pos = end + 1;
    }
    return lines;
}

const SettingLine* findSetting(const std::vector<SettingLine>& lines, std::string_view name) {
    const SettingLine* found = nullptr;
    for (const auto& line : lines) {
        if (line.name && equalsIgnoreCase(*line.name, name)) {
            found = &line;
        }
    }
    return found;
}

std::string formatSettingLine(std::string_view name, const SettingValue& value) {
    std::string out = quote(name) + "=";
    if (const auto* number = std::get_if<uint32_t>(&value)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "dword:%08x", *number);
        out += hex;
    } else {
        out += quote(std::get<std::string>(value));
    }
    return out;
}

std::string updateSettings(const std::vector<SettingLine>& lines, std::string_view name,
                           const std::optional<SettingValue>& value) {
    std::string out;
    bool written = false;
    for (const auto& line : lines) {
        if (line.name && equalsIgnoreCase(*line.name, name)) {
            if (value && !written) {
                out += formatSettingLine(name, *value);
                out += '\n';
                written = true;
            }
            continue;
        }
        out += line.text;
        out += '\n';
    }
    if (value && !written) {
        out += formatSettingLine(name, *value);
        out += '\n';
    }
    return out;
}

}  // namespace ostrel::settings
