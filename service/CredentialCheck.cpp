#include "service/CredentialCheck.h"

#include <sodium.h>

namespace ostrel::service {

CredentialCheck::CredentialCheck(AccountStore& accounts, const PasswordHasher& hasher)
    : accounts_(accounts), hasher_(hasher) {
    randombytes_buf(key_.data(), key_.size());
}

CredentialCheck::Digest CredentialCheck::digestOf(std::string_view password) const {
    Digest digest;
    crypto_generichash(digest.data(), digest.size(),
                       reinterpret_cast<const unsigned char*>(password.data()), password.size(),
                       key_.data(), key_.size());
    return digest;
}

std::optional<Account> CredentialCheck::verify(std::string_view name, std::string_view password) {
    std::optional<Account> account = accounts_.findUser(name);
    if (!account) {
        return std::nullopt;
    }
    const Digest digest = digestOf(password);
    {
        std::lock_guard lock(mutex_);
        const auto found = cache_.find(account->id);
        if (found != cache_.end() && found->second.storedHash == account->passwordHash) {
            if (sodium_memcmp(found->second.digest.data(), digest.data(), digest.size()) == 0) {
                return account;
            }
        }
    }
    // The slow check runs without the cache lock, so one login does not hold up the others.
    if (!hasher_.verify(account->passwordHash, password)) {
        return std::nullopt;
    }
    std::lock_guard lock(mutex_);
    cache_[account->id] = Entry{account->passwordHash, digest};
    return account;
}

}  // namespace ostrel::service
