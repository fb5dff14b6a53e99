// The web pages the client opens in the browser under "/app_links/": the register page, which
// creates an account, and one page per other link saying what it is for. Called on the HTTP
// worker threads; the account store does its own locking.
#pragma once

#include <string>
#include <string_view>

#include "service/AccountStore.h"
#include "service/FormFields.h"
#include "service/PasswordHasher.h"
#include "service/ServiceClock.h"

namespace ostrel::service {

struct PageReply {
    int status = 200;
    std::string html;
};

class AppLinkPages {
public:
    AppLinkPages(AccountStore& accounts, const PasswordHasher& hasher, ServiceClock clock);

    // `page` is the file name after "/app_links/" ("app_register.aspx"), matched without
    // regard to case as the links are written in mixed case.
    PageReply get(std::string_view page);
    // Only the register page takes a form: "user", "password" and "password2".
    PageReply post(std::string_view page, const FormFields& form);

    // A user name fit for an account: 1 to 63 letters, digits, "-", "." or "_". These are
    // also names the client accepts as buddy names.
    static bool validUserName(std::string_view name);

private:
    PageReply registerForm(std::string_view notice, std::string_view user);

    AccountStore& accounts_;
    const PasswordHasher& hasher_;
    ServiceClock clock_;
};

}  // namespace ostrel::service
