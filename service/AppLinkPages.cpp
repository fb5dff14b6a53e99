#include "service/AppLinkPages.h"

#include <array>

#include "service/ScriptReply.h"
#include "service/ServiceLimits.h"
#include "service/XmlWriter.h"

namespace ostrel::service {

namespace {

constexpr std::string_view kRegisterPage = "app_register.aspx";

struct InfoPage {
    std::string_view file;
    std::string_view title;
    std::string_view text;
};

constexpr std::array<InfoPage, 11> kInfoPages = {{
    {"app_forgot_password.aspx", "Forgot password",
     "Passwords are stored only as salted hashes, so nobody can look yours up. Ask the "
     "administrator of this service to set a new one (talvero-service set-password)."},
    {"app_changepassword.aspx", "Change password",
     "This page is where you change your password. On this service the administrator sets "
     "passwords (talvero-service set-password)."},
    {"app_myaccount.aspx", "Your account",
     "This page shows and updates the details of your Talvero account. Your buddy list and "
     "calling cards are edited in the client and kept here when you save them."},
    {"app_feedback.aspx", "Feedback",
     "This page takes your comments about Talvero. Please send them to the administrator of "
     "this service."},
    {"app_invite.aspx", "Invite a friend",
     "This page invites a friend to use Talvero. Tell your friend to register on the "
     "register page of this service and add their name to your buddy list."},
    {"app_search.aspx", "Search for a buddy",
     "This page finds other Talvero users by name, to add them to your buddy list."},
    {"app_Help.aspx", "Online help",
     "This page is the online help of the Talvero client: logging in, the buddy list, calls, "
     "conferences, telephone calls and recordings."},
    {"app_home.aspx", "Talvero",
     "Talvero lets you talk to your buddies over the internet and call telephones through a "
     "telephone gateway."},
    {"app_contexthelp.aspx", "Help",
     "This page explains the window of the Talvero client from which you opened it."},
    {"app_phone_usage_examples.aspx", "Telephone number examples",
     "Type the number as you would dial it through your calling card's provider, for example "
     "0044 20 7946 0000; digits, * and # may be sent from the dial pad once the gateway "
     "answers."},
    {"app_purchase_new_cc.aspx", "Purchase a calling card",
     "This page is where you buy a calling card for telephone calls. On this service the "
     "administrator adds providers and cards (talvero-service add-provider, set-cards)."},
}};

std::string pageHtml(std::string_view title, std::string_view body) {
    std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
    html += XmlWriter::escape(title);
    html += " - Talvero</title></head>\n<body>\n<h1>";
    html += XmlWriter::escape(title);
    html += "</h1>\n";
    html += body;
    html += "\n<p><a href=\"/app_links/app_home.aspx\">Talvero home</a></p>\n</body></html>\n";
    return html;
}

}  // namespace

AppLinkPages::AppLinkPages(AccountStore& accounts, const PasswordHasher& hasher, ServiceClock clock)
    : accounts_(accounts), hasher_(hasher), clock_(std::move(clock)) {}

bool AppLinkPages::validUserName(std::string_view name) {
    if (name.empty() || name.size() > kMaxUserName) {
        return false;
    }
    for (const char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '-' && c != '.' && c != '_') {
            return false;
        }
    }
    return true;
}

PageReply AppLinkPages::registerForm(std::string_view notice, std::string_view user) {
    std::string body;
    if (!notice.empty()) {
        body += "<p><strong>" + XmlWriter::escape(notice) + "</strong></p>\n";
    }
    body +=
        "<p>Create a Talvero account. The user name may hold letters, digits, \"-\", \".\" "
        "and \"_\" (up to 63).</p>\n"
        "<form method=\"post\" action=\"/app_links/app_register.aspx\">\n"
        "<p><label>User name <input name=\"user\" maxlength=\"63\" value=\"" +
        XmlWriter::escape(user) +
        "\"></label></p>\n"
        "<p><label>Password <input name=\"password\" type=\"password\" maxlength=\"63\">"
        "</label></p>\n"
        "<p><label>Password again <input name=\"password2\" type=\"password\" "
        "maxlength=\"63\"></label></p>\n"
        "<p><input type=\"submit\" value=\"Register\"></p>\n</form>";
    return {200, pageHtml("Register a user", body)};
}

PageReply AppLinkPages::get(std::string_view page) {
    if (FormFields::sameName(page, kRegisterPage)) {
        return registerForm("", "");
    }
    for (const InfoPage& info : kInfoPages) {
        if (FormFields::sameName(page, info.file)) {
            return {200, pageHtml(info.title, "<p>" + XmlWriter::escape(info.text) + "</p>")};
        }
    }
    return {404, pageHtml("Page not found", "<p>There is no such Talvero page.</p>")};
}

PageReply AppLinkPages::post(std::string_view page, const FormFields& form) {
    if (!FormFields::sameName(page, kRegisterPage)) {
        return get(page);
    }
    const std::string* user = form.find("user");
    const std::string* password = form.find("password");
    const std::string* again = form.find("password2");
    const std::string name = user != nullptr && user->size() <= kMaxUserName ? *user : "";
    if (!validUserName(name)) {
        return registerForm(
            "Please choose a user name of 1 to 63 letters, digits, \"-\", "
            "\".\" or \"_\".",
            "");
    }
    if (password == nullptr || password->empty() || password->size() > kMaxPassword ||
        !printableText(*password)) {
        return registerForm("Please choose a password of 1 to 63 characters.", name);
    }
    if (again == nullptr || *again != *password) {
        return registerForm("The two passwords differ.", name);
    }
    const auto hash = hasher_.hash(*password);
    if (!hash) {
        return {503, pageHtml("Register a user", "<p>Please try again later.</p>")};
    }
    switch (accounts_.addUser(name, *hash, clock_())) {
        case AddResult::Added:
            return {200, pageHtml("Account created",
                                  "<p>The account <strong>" + XmlWriter::escape(name) +
                                      "</strong> was created. You can log in now.</p>")};
        case AddResult::AlreadyExists:
            return registerForm("That user name is taken. Please choose another.", "");
        case AddResult::Failed:
            break;
    }
    return {503, pageHtml("Register a user", "<p>Please try again later.</p>")};
}

}  // namespace ostrel::service
