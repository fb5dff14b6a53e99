#include "account/BuddyNames.h"

#include <algorithm>

#include "webservice/LoginReply.h"
#include "webservice/ReplyText.h"

namespace ostrel::account {

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
    return out;
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> BuddyNames::Snapshot() const {
    std::lock_guard lock(mutex_);
    return names_;
}

size_t BuddyNames::Size() const {
    std::lock_guard lock(mutex_);
    return names_.size();
}

bool BuddyNames::Contains(std::string_view name) const {
    std::lock_guard lock(mutex_);
    return std::any_of(names_.begin(), names_.end(),
                       [&](const std::string& n) { return SameName(n, name); });
}

void BuddyNames::ReplaceAll(const std::vector<std::string>& names) {
    std::vector<std::string> copy;
    copy.reserve(names.size());
    for (const auto& n : names) {
        copy.push_back(n.substr(0, webservice::kMaxBuddyNameBytes));
    }
    std::lock_guard lock(mutex_);
    names_ = std::move(copy);
}

void BuddyNames::Append(const std::string& name) {
    std::lock_guard lock(mutex_);
    names_.push_back(name.substr(0, webservice::kMaxBuddyNameBytes));
}

bool BuddyNames::ReplaceFirst(std::string_view oldName, const std::string& newName) {
    std::lock_guard lock(mutex_);
    for (auto& n : names_) {
        if (SameName(n, oldName)) {
            n = newName.substr(0, webservice::kMaxBuddyNameBytes);
            return true;
        }
    }
    return false;
}

bool BuddyNames::EraseFirst(std::string_view name) {
    std::lock_guard lock(mutex_);
    for (auto it = names_.begin(); it != names_.end(); ++it) {
        if (SameName(*it, name)) {
            names_.erase(it);
            return true;
        }
    }
    return false;
}

bool HasForbiddenCharacter(std::string_view name) {
    static constexpr std::string_view kForbidden = "*&'~ ,\"<>?%!@:;`()+=|\\/";
    return name.find_first_of(kForbidden) != std::string_view::npos;
}

BuddyEdit ApplyBuddyEdit(BuddyNames& names, std::string_view oldText, std::string_view newText) {
    BuddyEdit edit;
    edit.name = lowered(webservice::TrimBlanks(newText));
    const std::string old = lowered(webservice::TrimBlanks(oldText));
    if (edit.name.empty()) {
        edit.result = BuddyEditResult::Empty;
    } else if (edit.name == old) {
        edit.result = old == kNewBuddyPlaceholder ? BuddyEditResult::DropNewEntry
                                                  : BuddyEditResult::Unchanged;
    } else if (names.Contains(edit.name)) {
        edit.result = BuddyEditResult::AlreadyPresent;
    } else if (HasForbiddenCharacter(edit.name)) {
        edit.result = BuddyEditResult::InvalidCharacters;
    } else {
        // Names are kept in 256-byte buffers on both sides; a longer one would be cut on the
        // way and no longer match what the user sees.
        edit.name.resize(std::min(edit.name.size(), webservice::kMaxBuddyNameBytes));
        if (old == kNewBuddyPlaceholder) {
            names.Append(edit.name);
        } else {
            names.ReplaceFirst(old, edit.name);
        }
        edit.result = BuddyEditResult::Accepted;
    }
    return edit;
}

std::string BuddyEditMessage(BuddyEditResult result) {
    switch (result) {
        case BuddyEditResult::Empty:
            return "Buddy name cannot be empty!";
        case BuddyEditResult::AlreadyPresent:
            return "This buddy is already present in the list";
        case BuddyEditResult::InvalidCharacters:
            return "This buddy name contains invalid characters or spaces";
        default:
            return {};
    }
}

}  // namespace ostrel::account
