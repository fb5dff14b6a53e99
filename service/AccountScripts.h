// The scripts of a client's login: login, logoff, keep-alive, online users, and the uploads of
// the buddy list and the calling cards. Called on the HTTP worker threads, several at once;
// the stores and the credential check do their own locking.
#pragma once

#include <optional>
#include <string>

#include "service/AccountStore.h"
#include "service/CredentialCheck.h"
#include "service/FormFields.h"
#include "service/PresenceStore.h"
#include "service/ScriptReply.h"
#include "service/ServiceClock.h"

namespace ostrel::service {

class AccountScripts {
public:
    AccountScripts(AccountStore& accounts, PresenceStore& presence, CredentialCheck& credentials,
                   ServiceClock clock);

    // `remoteAddress` is the address the request came from, recorded for network mode 1.
    ScriptReply login(const FormFields& form, const std::string& remoteAddress);
    ScriptReply logoff(const FormFields& form);
    ScriptReply keepAlive(const FormFields& form, const std::string& remoteAddress);
    ScriptReply onlineUsers(const FormFields& form);
    ScriptReply uploadBuddies(const FormFields& form);
    ScriptReply uploadCards(const FormFields& form);

    // Refusals in the reply format of the login and the online-users request, for a body
    // that could not even be decoded.
    static ScriptReply loginFailure(std::string_view reason);
    static ScriptReply onlineUsersFailure(std::string_view reason);

    static constexpr std::string_view kSupersededText =
        "#You have logged in to Talvero from another computer. This session has ended.";

private:
    // The "User" and "Pass" fields checked against the account; the reason when refused.
    std::optional<Account> authenticate(const FormFields& form, std::string& reason);

    // The instance, address, port (when `withPort`), version and network mode of a login or
    // keep-alive.
    static std::optional<Presence> presenceOf(const FormFields& form,
                                              const std::string& remoteAddress, bool withPort,
                                              std::string& reason);

    AccountStore& accounts_;
    PresenceStore& presence_;
    CredentialCheck& credentials_;
    ServiceClock clock_;
};

}  // namespace ostrel::service
