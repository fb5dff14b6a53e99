#include "service/AccountScripts.h"

#include "service/ServiceLimits.h"
#include "service/XmlWriter.h"

namespace ostrel::service {

namespace {

constexpr int64_t kMaxVersion = 1'000'000;

// The names of a buddy list upload or an online-users request, in order; nothing when one is
// unfit to store or there are too many.
std::optional<std::vector<std::string>> buddyFields(const FormFields& form) {
    std::vector<std::string> names;
    for (const auto& [name, value] : form.fields()) {
        if (!FormFields::sameName(name, "buddy")) {
            continue;
        }
        if (value.empty() || value.size() > kMaxBuddyName || !printableText(value) ||
            names.size() == kMaxBuddies) {
            return std::nullopt;
        }
        names.push_back(value);
    }
    return names;
}

}  // namespace

AccountScripts::AccountScripts(AccountStore& accounts, PresenceStore& presence,
                               CredentialCheck& credentials, ServiceClock clock)
    : accounts_(accounts),
      presence_(presence),
      credentials_(credentials),
      clock_(std::move(clock)) {}

std::optional<Account> AccountScripts::authenticate(const FormFields& form, std::string& reason) {
    const auto user = form.text("User", kMaxUserName);
    const auto password = form.text("Pass", kMaxPassword);
    if (!user || user->empty()) {
        reason = invalidField("User");
        return std::nullopt;
    }
    if (!password) {
        reason = invalidField("Pass");
        return std::nullopt;
    }
    auto account = credentials_.verify(*user, *password);
    if (!account) {
        reason = kBadCredentials;
    }
    return account;
}

std::optional<Presence> AccountScripts::presenceOf(const FormFields& form,
                                                   const std::string& remoteAddress, bool withPort,
                                                   std::string& reason) {
    Presence p;
    const auto guid = form.text("InstanceGUID", kMaxInstanceGuid);
    if (!guid || guid->empty() || !printableText(*guid)) {
        reason = invalidField("InstanceGUID");
        return std::nullopt;
    }
    p.instanceGuid = *guid;
    if (withPort) {
        const auto port = form.number("ListeningPort", 1, 65535);
        if (!port) {
            reason = invalidField("ListeningPort");
            return std::nullopt;
        }
        p.listeningPort = *port;
    }
    const auto version = form.number("Version", 0, kMaxVersion);
    if (!version) {
        reason = invalidField("Version");
        return std::nullopt;
    }
    p.version = *version;
    // Modes 0 to 3 are all a client sends (its mode 4 is reported as 0).
    const auto ipType = form.number("IPType", 0, 3);
    if (!ipType) {
        reason = invalidField("IPType");
        return std::nullopt;
    }
    p.ipType = *ipType;
    const auto address = form.text("IPAddr", kMaxAddress);
    if (!address || !printableText(*address)) {
        reason = invalidField("IPAddr");
        return std::nullopt;
    }
    if (p.ipType == 1) {
        // The firewall forwards the port and its address is whatever our peer is.
        p.address = remoteAddress;
    } else if (address->empty()) {
        reason = invalidField("IPAddr");
        return std::nullopt;
    } else {
        // Mode 0 passes "LAN" through: buddies learn that this one cannot be called.
        p.address = *address;
    }
    return p;
}

ScriptReply AccountScripts::loginFailure(std::string_view reason) {
    XmlWriter xml("login");
    xml.element("errorcode", 1);
    xml.element("err_description", reason);
    return {xml.finish(), true};
}

ScriptReply AccountScripts::onlineUsersFailure(std::string_view reason) {
    XmlWriter xml("userlist");
    xml.element("errcode", 1);
    xml.element("err_description", reason);
    return {xml.finish(), true};
}

ScriptReply AccountScripts::login(const FormFields& form, const std::string& remoteAddress) {
    // The login alone names its user field "user"; field names are matched without regard
    // to case, so the same check serves. The fields are checked before the password, which
    // costs a slow hash.
    std::string reason;
    const auto presence = presenceOf(form, remoteAddress, true, reason);
    if (!presence) {
        return loginFailure(reason);
    }
    const auto account = authenticate(form, reason);
    if (!account) {
        return loginFailure(reason);
    }
    if (!presence_.recordLogin(account->id, *presence, clock_())) {
        return loginFailure("The service cannot record the login now. Please try again.");
    }

    XmlWriter xml("login");
    xml.element("errorcode", 0);
    xml.element("err_description", "");
    xml.element("show_user_message", "");
    xml.element("url_to_navigate", "");
    xml.element("popup_url", "");
    xml.open("buddylist");
    for (const std::string& name : accounts_.buddies(account->id)) {
        xml.element("userid", name);
    }
    xml.close();
    xml.open("providers");
    for (const Provider& provider : accounts_.providers()) {
        xml.open("provider");
        xml.element("provider_id", provider.id);
        xml.element("provider_display_name", provider.displayName);
        for (const LookupHost& host : provider.hosts) {
            xml.open("provider_gatewaylookup_host");
            xml.element("provider_gatewaylookup_host_name", host.host);
            xml.element("provider_gatewaylookup_host_port", host.port);
            xml.close();
        }
        for (const ProviderParam& param : provider.params) {
            xml.open("provider_param");
            xml.element("provider_param_name", param.name);
            xml.element("provider_param_value", param.value);
            xml.close();
        }
        xml.close();
    }
    xml.close();
    xml.open("calling_cards");
    for (const CallingCard& card : accounts_.cards(account->id)) {
        xml.open("calling_card");
        xml.element("calling_card_provider", card.providerId);
        xml.element("calling_card_account_number", card.accountNumber);
        xml.element("calling_card_pin_number", card.pinNumber);
        xml.element("calling_card_isdefault", card.isDefault);
        xml.close();
    }
    xml.close();
    return {xml.finish(), true};
}

ScriptReply AccountScripts::logoff(const FormFields& form) {
    std::string reason;
    const auto account = authenticate(form, reason);
    if (!account) {
        return {"-" + reason};
    }
    const auto guid = form.text("InstanceGUID", kMaxInstanceGuid);
    if (!guid || guid->empty()) {
        return {"-" + invalidField("InstanceGUID")};
    }
    // Only this instance's login ends: a logoff from an instance that was superseded must not
    // take the user's newer login offline.
    if (!presence_.logoff(account->id, *guid)) {
        return {"-Not logged in."};
    }
    return {"+"};
}

ScriptReply AccountScripts::keepAlive(const FormFields& form, const std::string& remoteAddress) {
    std::string reason;
    const auto account = authenticate(form, reason);
    if (!account) {
        return {"-" + reason};
    }
    const auto presence = presenceOf(form, remoteAddress, true, reason);
    if (!presence) {
        return {"-" + reason};
    }
    switch (presence_.keepAlive(account->id, *presence, clock_())) {
        case KeepAliveVerdict::Refreshed:
            return {"+"};
        case KeepAliveVerdict::Superseded:
            return {std::string(kSupersededText)};
        case KeepAliveVerdict::Unknown:
            break;
    }
    return {"-Not logged in."};
}

ScriptReply AccountScripts::onlineUsers(const FormFields& form) {
    std::string reason;
    const auto account = authenticate(form, reason);
    const auto names = buddyFields(form);
    if (account && !names) {
        reason = invalidField("buddy");
    }
    if (!account || !names) {
        return onlineUsersFailure(reason);
    }
    XmlWriter xml("userlist");
    xml.element("errcode", 0);
    xml.element("err_description", "");
    const int64_t now = clock_();
    std::vector<std::string> listed;
    for (const std::string& name : *names) {
        const auto online = presence_.online(name, now);
        if (!online) {
            continue;
        }
        // A name asked for twice (in two spellings) is still one buddy element.
        bool seen = false;
        for (const std::string& other : listed) {
            seen = seen || FormFields::sameName(other, online->userName);
        }
        if (seen) {
            continue;
        }
        listed.push_back(online->userName);
        xml.open("buddy");
        xml.element("userid", online->userName);
        xml.element("ipaddress", online->address);
        xml.element("listening_port", online->listeningPort);
        xml.element("version", online->version);
        xml.element("iptype", online->ipType);
        xml.close();
    }
    return {xml.finish(), true};
}

ScriptReply AccountScripts::uploadBuddies(const FormFields& form) {
    std::string reason;
    const auto account = authenticate(form, reason);
    if (!account) {
        return {"-" + reason};
    }
    const auto names = buddyFields(form);
    if (!names) {
        return {"-" + invalidField("buddy")};
    }
    if (!accounts_.setBuddies(account->id, *names)) {
        return {"-The buddy list cannot be stored now."};
    }
    return {"+"};
}

ScriptReply AccountScripts::uploadCards(const FormFields& form) {
    std::string reason;
    const auto account = authenticate(form, reason);
    if (!account) {
        return {"-" + reason};
    }
    // Each card is the four fields provider, account_number, pin_number, isdefault in turn.
    std::vector<CallingCard> cards;
    int filled = 4;
    for (const auto& [name, value] : form.fields()) {
        const bool isProvider = FormFields::sameName(name, "provider");
        const bool isAccount = FormFields::sameName(name, "account_number");
        const bool isPin = FormFields::sameName(name, "pin_number");
        const bool isDefault = FormFields::sameName(name, "isdefault");
        if (!isProvider && !isAccount && !isPin && !isDefault) {
            continue;
        }
        const int expected = isProvider ? 0 : isAccount ? 1 : isPin ? 2 : 3;
        if (expected != filled % 4 || (isProvider && filled != 4)) {
            return {"-" + invalidField(name)};
        }
        if (isProvider) {
            const auto id = FormFields::parseNumber(value, 0, INT32_MAX);
            if (!id || !accounts_.providerExists(*id)) {
                return {"-Unknown provider: " + XmlWriter::escape(value).substr(0, 32)};
            }
            if (cards.size() == kMaxCards) {
                return {"-Too many calling cards."};
            }
            cards.push_back(CallingCard{*id, {}, {}, 0});
            filled = 1;
            continue;
        }
        if (isDefault) {
            const auto flag = FormFields::parseNumber(value, 0, 1);
            if (!flag) {
                return {"-" + invalidField(name)};
            }
            cards.back().isDefault = *flag;
            filled = 4;
            continue;
        }
        if (value.size() > kMaxCardField || !printableText(value)) {
            return {"-" + invalidField(name)};
        }
        (isAccount ? cards.back().accountNumber : cards.back().pinNumber) = value;
        ++filled;
    }
    if (filled != 4) {
        return {"-" + invalidField("isdefault")};
    }
    if (!accounts_.setCards(account->id, cards)) {
        return {"-The calling cards cannot be stored now."};
    }
    return {"+"};
}

}  // namespace ostrel::service
