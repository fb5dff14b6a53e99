// Checks a user name and password against the stored password hash. Every periodic request
// of a logged-in client carries its password (the keep-alive and the online-users request,
// each every 45 s), far too often for a deliberately slow hash: after one slow check succeeds,
// a keyed fast digest of that password is remembered and later requests compare against it.
// Any thread may call; the cache has its own lock.
#pragma once

#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "service/AccountStore.h"
#include "service/PasswordHasher.h"

namespace ostrel::service {

class CredentialCheck {
public:
    CredentialCheck(AccountStore& accounts, const PasswordHasher& hasher);

    // The account when the name exists and the password is right; nothing otherwise.
    std::optional<Account> verify(std::string_view name, std::string_view password);

private:
    using Digest = std::array<unsigned char, 32>;
    struct Entry {
        // The stored hash the digest was checked against: a changed password (a new hash in
        // the database, perhaps written by another process) no longer matches the entry.
        std::string storedHash;
        Digest digest;
    };

    Digest digestOf(std::string_view password) const;

    AccountStore& accounts_;
    const PasswordHasher& hasher_;
    // Random per process, so the remembered digests are worthless outside it.
    std::array<unsigned char, 32> key_;
    std::mutex mutex_;                          // guards cache_
    std::unordered_map<int64_t, Entry> cache_;  // by account id
};

}  // namespace ostrel::service
