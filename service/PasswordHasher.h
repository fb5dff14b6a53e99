// Salted, iterated password hashes (argon2id through libsodium); plain passwords are never
// stored. Thread-safe: the object holds only its cost setting.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel::service {

enum class HashCost {
    // For stored accounts: 2 passes over 19 MiB, roughly 30 ms on a desktop core.
    Standard,
    // For tests and the benchmark, which create thousands of accounts in seconds.
    Minimum,
};

class PasswordHasher {
public:
    explicit PasswordHasher(HashCost cost = HashCost::Standard);

    // The self-describing hash text (algorithm, cost, salt and digest); nothing when the
    // library cannot allocate the memory the cost asks for.
    std::optional<std::string> hash(std::string_view password) const;

    // Checks a password against a stored hash text of any cost; false for a hash text that
    // is not one of ours.
    bool verify(const std::string& storedHash, std::string_view password) const;

private:
    HashCost cost_;
};

}  // namespace ostrel::service
