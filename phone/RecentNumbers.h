// Telephone calls: the list of recently called numbers, newest first, kept in memory and in the
// "TelephoneList" setting (the numbers joined by blanks, at most 20 of them). Used on the
// window thread only; every load and save is one access of the settings store.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::phone {

inline constexpr size_t kMaxRecentNumbers = 20;

class RecentNumbers {
public:
    // The stored text split at white space, in stored order. A missing or unreadable value
    // (or one longer than its reader's buffer) leaves the list empty.
    void load();
    // The first 20 entries, each followed by one blank, as "TelephoneList". False when the
    // settings store could not be written.
    bool save() const;

    // Removes every entry equal to `number` without regard to letter case and puts `number`
    // in front. An empty number or one containing white space is ignored: it could not be
    // read back as one entry.
    void add(std::string_view number);

    const std::vector<std::string>& entries() const { return entries_; }

    // The text rules on their own, without the settings store.
    static std::vector<std::string> parse(std::string_view stored);
    static std::string join(const std::vector<std::string>& numbers);

private:
    std::vector<std::string> entries_;
};

}  // namespace ostrel::phone
