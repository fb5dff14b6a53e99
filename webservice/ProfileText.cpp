#include "webservice/ProfileText.h"

#include <algorithm>

#include "webservice/ReplyText.h"

namespace ostrel::webservice {

namespace {

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::string cutToBuffer(std::string_view value, size_t bufferSize) {
    // A C buffer ends at the first NUL, and holds bufferSize - 1 characters before it.
    value = value.substr(0, value.find('\0'));
    const size_t room = bufferSize == 0 ? 0 : bufferSize - 1;
    return std::string(value.substr(0, room));
}

}  // namespace

ProfileText::ProfileText(std::string_view text) {
    std::string section;
    bool inSection = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = TrimBlanks(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);

        if (!line.empty() && line.front() == '[') {
            const size_t close = line.find(']');
            if (close == std::string_view::npos) {
                inSection = false;  // a broken header opens no section
                continue;
            }
            section = lowerAscii(TrimBlanks(line.substr(1, close - 1)));
            inSection = true;
            continue;
        }
        const size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = TrimBlanks(line.substr(0, equals));
        if (key.empty()) {
            continue;
        }
        entries_.push_back(Entry{section, lowerAscii(key),
                                 std::string(unquote(TrimBlanks(line.substr(equals + 1))))});
    }
}

std::string ProfileText::GetString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue, size_t bufferSize) const {
    const std::string wantedSection = lowerAscii(TrimBlanks(section));
    const std::string wantedKey = lowerAscii(TrimBlanks(key));
    for (const Entry& entry : entries_) {
        if (entry.section == wantedSection && entry.key == wantedKey) {
            return cutToBuffer(entry.value, bufferSize);
        }
    }
    return cutToBuffer(defaultValue, bufferSize);
}

}  // namespace ostrel::webservice
