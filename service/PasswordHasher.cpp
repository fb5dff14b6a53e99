#include "service/PasswordHasher.h"

#include <sodium.h>

#include <stdexcept>

namespace ostrel::service {

namespace {

constexpr unsigned long long kStandardPasses = 2;
constexpr std::size_t kStandardMemory = 19u * 1024 * 1024;

}  // namespace

PasswordHasher::PasswordHasher(HashCost cost) : cost_(cost) {
    // sodium_init may be called from several objects and threads; it is idempotent.
    if (sodium_init() < 0) {
        throw std::runtime_error("libsodium cannot be initialised");
    }
}

std::optional<std::string> PasswordHasher::hash(std::string_view password) const {
    const unsigned long long passes =
        cost_ == HashCost::Standard ? kStandardPasses : crypto_pwhash_OPSLIMIT_MIN;
    const std::size_t memory =
        cost_ == HashCost::Standard ? kStandardMemory : crypto_pwhash_MEMLIMIT_MIN;
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, password.data(), password.size(), passes, memory,
                              crypto_pwhash_ALG_ARGON2ID13) != 0) {
        return std::nullopt;
    }
    return std::string(out);
}

bool PasswordHasher::verify(const std::string& storedHash, std::string_view password) const {
    if (storedHash.size() >= crypto_pwhash_STRBYTES) {
        return false;
    }
    return crypto_pwhash_str_verify(storedHash.c_str(), password.data(), password.size()) == 0;
}

}  // namespace ostrel::service
