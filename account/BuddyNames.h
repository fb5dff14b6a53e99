// Account and presence: the buddy list (`buddyNames`) and the rules for names typed in the
// "Buddy List" dialog. The window thread edits the list; the periodic service thread and the
// upload thread read it, so every access goes through the list's own lock.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::account {

// Case-insensitive (ASCII letters) equality, as every membership test of the lists uses.
bool SameName(std::string_view a, std::string_view b);

class BuddyNames {
public:
    std::vector<std::string> Snapshot() const;
    size_t Size() const;
    bool Contains(std::string_view name) const;

    // After a login: the reply's names in reply order, each cut to 255 bytes, duplicates kept.
    void ReplaceAll(const std::vector<std::string>& names);
    void Append(const std::string& name);
    // Replaces the first entry equal to `oldName` (any case); false when none matched.
    bool ReplaceFirst(std::string_view oldName, const std::string& newName);
    // Erases the first entry equal to `name` (any case); false when none matched.
    bool EraseFirst(std::string_view name);

private:
    mutable std::mutex mutex_;  // guards names_: read by the service and upload threads
    std::vector<std::string> names_;
};

// The placeholder a new entry starts with.
inline constexpr const char* kNewBuddyPlaceholder = "**new buddy**";

bool HasForbiddenCharacter(std::string_view name);

enum class BuddyEditResult {
    Accepted,           // stored (appended for a new entry, else renamed)
    Unchanged,          // same as before: nothing changes
    DropNewEntry,       // the placeholder left as it was: the new item is deleted
    Empty,              // "Buddy name cannot be empty!"
    AlreadyPresent,     // "This buddy is already present in the list"
    InvalidCharacters,  // "This buddy name contains invalid characters or spaces"
};

struct BuddyEdit {
    BuddyEditResult result = BuddyEditResult::Unchanged;
    std::string name;  // the new text trimmed and lower-cased
};

// The end of a label edit: checks `newText` against the list and, when it is accepted,
// appends it (old text the placeholder) or replaces the first entry equal to `oldText`.
BuddyEdit ApplyBuddyEdit(BuddyNames& names, std::string_view oldText, std::string_view newText);

// The message box text of a refused edit, empty otherwise.
std::string BuddyEditMessage(BuddyEditResult result);

}  // namespace ostrel::account
