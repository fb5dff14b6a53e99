#include "service/AccountStore.h"

#include <map>

namespace ostrel::service {

AddResult AccountStore::addUser(std::string_view name, std::string_view passwordHash,
                                int64_t nowMs) {
    std::lock_guard lock(db_.mutex());
    auto exists = db_.statement("SELECT 1 FROM users WHERE name = ?1");
    exists->bind(1, name);
    if (exists->step()) {
        return AddResult::AlreadyExists;
    }
    if (exists->failed()) {
        return AddResult::Failed;
    }
    auto insert =
        db_.statement("INSERT INTO users (name, password_hash, created_ms) VALUES (?1, ?2, ?3)");
    insert->bind(1, name);
    insert->bind(2, passwordHash);
    insert->bind(3, nowMs);
    return insert->run() ? AddResult::Added : AddResult::Failed;
}

std::optional<Account> AccountStore::findUser(std::string_view name) {
    std::lock_guard lock(db_.mutex());
    auto query = db_.statement("SELECT id, name, password_hash FROM users WHERE name = ?1");
    query->bind(1, name);
    if (!query->step()) {
        return std::nullopt;
    }
    return Account{query->integer(0), query->text(1), query->text(2)};
}

bool AccountStore::setPasswordHash(int64_t userId, std::string_view passwordHash) {
    std::lock_guard lock(db_.mutex());
    auto update = db_.statement("UPDATE users SET password_hash = ?2 WHERE id = ?1");
    update->bind(1, userId);
    update->bind(2, passwordHash);
    return update->run();
}

std::vector<Account> AccountStore::users() {
    std::lock_guard lock(db_.mutex());
    auto query =
        db_.statement("SELECT id, name, password_hash FROM users ORDER BY name COLLATE NOCASE");
    std::vector<Account> out;
    while (query->step()) {
        out.push_back(Account{query->integer(0), query->text(1), query->text(2)});
    }
    return out;
}

std::vector<std::string> AccountStore::buddies(int64_t userId) {
    std::lock_guard lock(db_.mutex());
    auto query = db_.statement("SELECT name FROM buddies WHERE user_id = ?1 ORDER BY position");
    query->bind(1, userId);
    std::vector<std::string> out;
    while (query->step()) {
        out.push_back(query->text(0));
    }
    return out;
}

bool AccountStore::setBuddies(int64_t userId, const std::vector<std::string>& names) {
    std::lock_guard lock(db_.mutex());
    SqlTransaction transaction(db_);
    auto clear = db_.statement("DELETE FROM buddies WHERE user_id = ?1");
    clear->bind(1, userId);
    if (!transaction.active() || !clear->run()) {
        return false;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto insert =
            db_.statement("INSERT INTO buddies (user_id, position, name) VALUES (?1, ?2, ?3)");
        insert->bind(1, userId);
        insert->bind(2, static_cast<int64_t>(i));
        insert->bind(3, names[i]);
        if (!insert->run()) {
            return false;
        }
    }
    return transaction.commit();
}

std::vector<CallingCard> AccountStore::cards(int64_t userId) {
    std::lock_guard lock(db_.mutex());
    auto query = db_.statement(
        "SELECT provider_id, account_number, pin_number, is_default FROM calling_cards "
        "WHERE user_id = ?1 ORDER BY position");
    query->bind(1, userId);
    std::vector<CallingCard> out;
    while (query->step()) {
        out.push_back(
            CallingCard{query->integer(0), query->text(1), query->text(2), query->integer(3)});
    }
    return out;
}

bool AccountStore::setCards(int64_t userId, const std::vector<CallingCard>& cards) {
    std::lock_guard lock(db_.mutex());
    SqlTransaction transaction(db_);
    auto clear = db_.statement("DELETE FROM calling_cards WHERE user_id = ?1");
    clear->bind(1, userId);
    if (!transaction.active() || !clear->run()) {
        return false;
    }
    for (std::size_t i = 0; i < cards.size(); ++i) {
        auto insert = db_.statement(
            "INSERT INTO calling_cards (user_id, position, provider_id, account_number, "
            "pin_number, is_default) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
        insert->bind(1, userId);
        insert->bind(2, static_cast<int64_t>(i));
        insert->bind(3, cards[i].providerId);
        insert->bind(4, cards[i].accountNumber);
        insert->bind(5, cards[i].pinNumber);
        insert->bind(6, cards[i].isDefault);
        if (!insert->run()) {
            return false;
        }
    }
    return transaction.commit();
}

std::vector<Provider> AccountStore::providers() {
    std::lock_guard lock(db_.mutex());
    std::vector<Provider> out;
    std::map<int64_t, std::size_t> index;
    auto list = db_.statement("SELECT id, display_name FROM providers ORDER BY id");
    while (list->step()) {
        index[list->integer(0)] = out.size();
        out.push_back(Provider{list->integer(0), list->text(1), {}, {}});
    }
    auto hosts = db_.statement(
        "SELECT provider_id, host, port FROM provider_hosts ORDER BY provider_id, position");
    while (hosts->step()) {
        const auto found = index.find(hosts->integer(0));
        if (found != index.end()) {
            out[found->second].hosts.push_back(LookupHost{hosts->text(1), hosts->integer(2)});
        }
    }
    auto params = db_.statement(
        "SELECT provider_id, name, value FROM provider_params ORDER BY provider_id, position");
    while (params->step()) {
        const auto found = index.find(params->integer(0));
        if (found != index.end()) {
            out[found->second].params.push_back(ProviderParam{params->text(1), params->text(2)});
        }
    }
    return out;
}

bool AccountStore::providerExists(int64_t id) {
    std::lock_guard lock(db_.mutex());
    auto query = db_.statement("SELECT 1 FROM providers WHERE id = ?1");
    query->bind(1, id);
    return query->step();
}

AddResult AccountStore::addProvider(const Provider& provider) {
    std::lock_guard lock(db_.mutex());
    auto exists = db_.statement("SELECT 1 FROM providers WHERE id = ?1");
    exists->bind(1, provider.id);
    if (exists->step()) {
        return AddResult::AlreadyExists;
    }
    SqlTransaction transaction(db_);
    auto insert = db_.statement("INSERT INTO providers (id, display_name) VALUES (?1, ?2)");
    insert->bind(1, provider.id);
    insert->bind(2, provider.displayName);
    if (!transaction.active() || !insert->run()) {
        return AddResult::Failed;
    }
    for (std::size_t i = 0; i < provider.hosts.size(); ++i) {
        auto host = db_.statement(
            "INSERT INTO provider_hosts (provider_id, position, host, port) "
            "VALUES (?1, ?2, ?3, ?4)");
        host->bind(1, provider.id);
        host->bind(2, static_cast<int64_t>(i));
        host->bind(3, provider.hosts[i].host);
        host->bind(4, provider.hosts[i].port);
        if (!host->run()) {
            return AddResult::Failed;
        }
    }
    for (std::size_t i = 0; i < provider.params.size(); ++i) {
        auto param = db_.statement(
            "INSERT INTO provider_params (provider_id, position, name, value) "
            "VALUES (?1, ?2, ?3, ?4)");
        param->bind(1, provider.id);
        param->bind(2, static_cast<int64_t>(i));
        param->bind(3, provider.params[i].name);
        param->bind(4, provider.params[i].value);
        if (!param->run()) {
            return AddResult::Failed;
        }
    }
    return transaction.commit() ? AddResult::Added : AddResult::Failed;
}

}  // namespace ostrel::service
