#include "phone/RecentNumbers.h"

#include <algorithm>
#include <cctype>

#include "app/settings/Settings.h"

namespace ostrel::phone {

namespace {

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::vector<std::string> RecentNumbers::parse(std::string_view stored) {
    std::vector<std::string> numbers;
    size_t i = 0;
    while (i < stored.size()) {
        while (i < stored.size() && isBlank(stored[i])) {
            ++i;
        }
        const size_t start = i;
        while (i < stored.size() && !isBlank(stored[i])) {
            ++i;
        }
        if (i > start) {
            numbers.emplace_back(stored.substr(start, i - start));
        }
    }
    return numbers;
}

std::string RecentNumbers::join(const std::vector<std::string>& numbers) {
    std::string text;
    const size_t count = std::min(numbers.size(), kMaxRecentNumbers);
    for (size_t i = 0; i < count; ++i) {
        text += numbers[i];
        text += ' ';
    }
    return text;
}

void RecentNumbers::load() {
    entries_ = parse(settings::read(settings::value::TelephoneList));
}

bool RecentNumbers::save() const {
    return settings::write(settings::value::TelephoneList, join(entries_));
}

void RecentNumbers::add(std::string_view number) {
    if (number.empty() || std::any_of(number.begin(), number.end(), isBlank)) {
        return;
    }
    std::erase_if(entries_, [&](const std::string& e) { return equalIgnoringCase(e, number); });
    entries_.insert(entries_.begin(), std::string(number));
}

}  // namespace ostrel::phone
