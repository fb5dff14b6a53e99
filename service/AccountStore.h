// Accounts, their buddy lists and calling cards, and the telephone providers, kept in the
// service database. Every method takes the database lock for its whole work, so any thread may
// call any method.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/Database.h"
#include "service/ServiceRecords.h"

namespace ostrel::service {

enum class AddResult { Added, AlreadyExists, Failed };

class AccountStore {
public:
    explicit AccountStore(Database& db) : db_(db) {}

    // Names are unique without regard to the case of ASCII letters.
    AddResult addUser(std::string_view name, std::string_view passwordHash, int64_t nowMs);
    std::optional<Account> findUser(std::string_view name);
    bool setPasswordHash(int64_t userId, std::string_view passwordHash);
    std::vector<Account> users();

    // The buddy list in stored order; replacing it is one transaction.
    std::vector<std::string> buddies(int64_t userId);
    bool setBuddies(int64_t userId, const std::vector<std::string>& names);

    std::vector<CallingCard> cards(int64_t userId);
    bool setCards(int64_t userId, const std::vector<CallingCard>& cards);

    // Every provider with its lookup hosts and parameters, by id.
    std::vector<Provider> providers();
    bool providerExists(int64_t id);
    AddResult addProvider(const Provider& provider);

private:
    Database& db_;
};

}  // namespace ostrel::service
