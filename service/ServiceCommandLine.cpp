#include "service/ServiceCommandLine.h"

#include <istream>
#include <ostream>

#include "platform/HostPort.h"
#include "service/AppLinkPages.h"
#include "service/ScriptReply.h"
#include "service/ServiceLimits.h"

namespace ostrel::service {

namespace {

constexpr std::size_t kMaxProviderText = 255;

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

bool fitText(const std::string& text, std::size_t maxLength) {
    return text.size() <= maxLength && printableText(text);
}

}  // namespace

ServiceCommandLine::ServiceCommandLine(std::ostream& out, std::ostream& err, std::istream& in,
                                       std::function<void()> waitForStop, ServiceOptions defaults)
    : out_(out),
      err_(err),
      in_(in),
      waitForStop_(std::move(waitForStop)),
      defaults_(std::move(defaults)) {}

const char* ServiceCommandLine::usage() {
    return "usage:\n"
           "  talvero-service [serve] --listen HOST:PORT --db FILE [--public-host HOST:PORT]\n"
           "  talvero-service add-user --db FILE NAME PASSWORD\n"
           "  talvero-service set-password --db FILE NAME PASSWORD\n"
           "  talvero-service list-users --db FILE\n"
           "  talvero-service set-buddies --db FILE NAME [BUDDY...]\n"
           "  talvero-service set-cards --db FILE NAME [PROVIDER_ID:ACCOUNT:PIN[:default]...]\n"
           "  talvero-service add-provider --db FILE ID DISPLAY_NAME [--host HOST:PORT]...\n"
           "                 [--param NAME=VALUE]...\n"
           "  talvero-service list-providers --db FILE\n"
           "A PASSWORD of \"-\" is read from the first line of standard input.\n";
}

int ServiceCommandLine::fail(const std::string& message) {
    err_ << "talvero-service: " << message << "\n";
    return 1;
}

int ServiceCommandLine::badUsage(const std::string& message) {
    err_ << "talvero-service: " << message << "\n" << usage();
    return 2;
}

bool ServiceCommandLine::parse(const std::vector<std::string>& args, Parsed& parsed) {
    parsed.options = defaults_;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--db" || arg == "--listen" || arg == "--public-host" ||
                                arg == "--host" || arg == "--param";
        if (takesValue) {
            if (i + 1 >= args.size()) {
                badUsage(arg + " needs a value");
                return false;
            }
            const std::string& value = args[++i];
            if (arg == "--db") {
                parsed.options.databasePath = value;
            } else if (arg == "--listen") {
                // Port 0 asks the system for a free one (the start-up line names it).
                const std::size_t colon = value.rfind(':');
                const bool anyPort = colon != std::string::npos && value.substr(colon + 1) == "0";
                const auto hostPort =
                    platform::parseHostPort(anyPort ? value.substr(0, colon) : value, 8080);
                if (!hostPort) {
                    badUsage("--listen wants HOST:PORT, not " + value);
                    return false;
                }
                parsed.options.listenHost = hostPort->host;
                parsed.options.listenPort = anyPort ? 0 : hostPort->port;
                parsed.listenGiven = true;
            } else if (arg == "--public-host") {
                if (!platform::parseHostPort(value)) {
                    badUsage("--public-host wants HOST[:PORT], not " + value);
                    return false;
                }
                parsed.options.publicHost = value;
            } else if (arg == "--host") {
                parsed.hosts.push_back(value);
            } else {
                parsed.params.push_back(value);
            }
        } else if (arg.rfind("--", 0) == 0) {
            badUsage("unknown option " + arg);
            return false;
        } else if (parsed.command.empty()) {
            parsed.command = arg;
        } else {
            parsed.positional.push_back(arg);
        }
    }
    if (parsed.command.empty()) {
        parsed.command = "serve";
    }
    if (parsed.options.databasePath.empty()) {
        badUsage("--db FILE is required");
        return false;
    }
    return true;
}

int ServiceCommandLine::run(const std::vector<std::string>& args) {
    Parsed parsed;
    if (!parse(args, parsed)) {
        return 2;
    }
    if (parsed.command == "serve") {
        return serve(parsed);
    }
    const bool known = parsed.command == "add-user" || parsed.command == "set-password" ||
                       parsed.command == "list-users" || parsed.command == "set-buddies" ||
                       parsed.command == "set-cards" || parsed.command == "add-provider" ||
                       parsed.command == "list-providers";
    if (!known) {
        return badUsage("unknown command " + parsed.command);
    }
    std::string error;
    auto service = TalveroService::open(parsed.options, error);
    if (!service) {
        return fail(error);
    }
    if (parsed.command == "add-user") {
        return addUser(*service, parsed, false);
    }
    if (parsed.command == "set-password") {
        return addUser(*service, parsed, true);
    }
    if (parsed.command == "list-users") {
        return listUsers(*service);
    }
    if (parsed.command == "set-buddies") {
        return setBuddies(*service, parsed);
    }
    if (parsed.command == "set-cards") {
        return setCards(*service, parsed);
    }
    if (parsed.command == "add-provider") {
        return addProvider(*service, parsed);
    }
    return listProviders(*service);
}

int ServiceCommandLine::serve(Parsed& parsed) {
    if (!parsed.positional.empty()) {
        return badUsage("serve takes no names");
    }
    std::string error;
    auto service = TalveroService::open(parsed.options, error);
    if (!service || !service->start(error)) {
        return fail(error);
    }
    out_ << "talvero-service listening on " << parsed.options.listenHost << ":" << service->port()
         << ", database " << parsed.options.databasePath << std::endl;
    waitForStop_();
    service->stop();
    out_ << "talvero-service stopped" << std::endl;
    return 0;
}

int ServiceCommandLine::addUser(TalveroService& service, const Parsed& parsed,
                                bool replacePassword) {
    if (parsed.positional.size() != 2) {
        return badUsage(parsed.command + " wants NAME PASSWORD");
    }
    const std::string& name = parsed.positional[0];
    std::string password = parsed.positional[1];
    if (password == "-") {
        std::getline(in_, password);
    }
    if (!AppLinkPages::validUserName(name)) {
        return fail("a user name is 1 to 63 letters, digits, \"-\", \".\" or \"_\": " + name);
    }
    if (password.empty() || !fitText(password, kMaxPassword)) {
        return fail("a password is 1 to 63 printable characters");
    }
    const auto hash = service.hasher().hash(password);
    if (!hash) {
        return fail("cannot hash the password");
    }
    if (replacePassword) {
        const auto account = service.accounts().findUser(name);
        if (!account) {
            return fail("no such user: " + name);
        }
        if (!service.accounts().setPasswordHash(account->id, *hash)) {
            return fail("cannot store the password");
        }
        out_ << "password of " << account->name << " set\n";
        return 0;
    }
    switch (service.accounts().addUser(name, *hash, service.now())) {
        case AddResult::Added:
            out_ << "user " << name << " added\n";
            return 0;
        case AddResult::AlreadyExists:
            return fail("user exists already: " + name);
        case AddResult::Failed:
            break;
    }
    return fail("cannot store the user " + name);
}

int ServiceCommandLine::listUsers(TalveroService& service) {
    const int64_t now = service.now();
    for (const Account& account : service.accounts().users()) {
        out_ << account.name;
        const auto buddies = service.accounts().buddies(account.id);
        out_ << "  buddies:";
        for (const std::string& buddy : buddies) {
            out_ << " " << buddy;
        }
        out_ << "  cards: " << service.accounts().cards(account.id).size();
        const auto online = service.presence().online(account.id, now);
        if (online) {
            out_ << "  online at " << online->address << ":" << online->listeningPort << " mode "
                 << online->ipType << " version " << online->version;
        } else {
            out_ << "  offline";
        }
        out_ << "\n";
    }
    return 0;
}

int ServiceCommandLine::setBuddies(TalveroService& service, const Parsed& parsed) {
    if (parsed.positional.empty()) {
        return badUsage("set-buddies wants NAME [BUDDY...]");
    }
    const auto account = service.accounts().findUser(parsed.positional[0]);
    if (!account) {
        return fail("no such user: " + parsed.positional[0]);
    }
    const std::vector<std::string> buddies(parsed.positional.begin() + 1, parsed.positional.end());
    if (buddies.size() > kMaxBuddies) {
        return fail("too many buddies");
    }
    for (const std::string& buddy : buddies) {
        if (buddy.empty() || !fitText(buddy, kMaxBuddyName)) {
            return fail("not a buddy name: " + buddy);
        }
    }
    if (!service.accounts().setBuddies(account->id, buddies)) {
        return fail("cannot store the buddy list");
    }
    out_ << account->name << " has " << buddies.size() << " buddies\n";
    return 0;
}

int ServiceCommandLine::setCards(TalveroService& service, const Parsed& parsed) {
    if (parsed.positional.empty()) {
        return badUsage("set-cards wants NAME [PROVIDER_ID:ACCOUNT:PIN[:default]...]");
    }
    const auto account = service.accounts().findUser(parsed.positional[0]);
    if (!account) {
        return fail("no such user: " + parsed.positional[0]);
    }
    std::vector<CallingCard> cards;
    for (std::size_t i = 1; i < parsed.positional.size(); ++i) {
        const std::string& text = parsed.positional[i];
        const auto parts = split(text, ':');
        const auto provider =
            parts.empty() ? std::nullopt : FormFields::parseNumber(parts[0], 0, INT32_MAX);
        const bool shape = (parts.size() == 3 || (parts.size() == 4 && parts[3] == "default")) &&
                           provider && fitText(parts[1], kMaxCardField) &&
                           fitText(parts[2], kMaxCardField);
        if (!shape) {
            return badUsage("a card is PROVIDER_ID:ACCOUNT:PIN[:default], not " + text);
        }
        if (!service.accounts().providerExists(*provider)) {
            return fail("no provider " + parts[0] + " (add it with add-provider)");
        }
        cards.push_back(CallingCard{*provider, parts[1], parts[2], parts.size() == 4 ? 1 : 0});
    }
    if (cards.size() > kMaxCards) {
        return fail("too many cards");
    }
    if (!service.accounts().setCards(account->id, cards)) {
        return fail("cannot store the cards");
    }
    out_ << account->name << " has " << cards.size() << " calling cards\n";
    return 0;
}

int ServiceCommandLine::addProvider(TalveroService& service, const Parsed& parsed) {
    if (parsed.positional.size() != 2) {
        return badUsage("add-provider wants ID DISPLAY_NAME");
    }
    Provider provider;
    const auto id = FormFields::parseNumber(parsed.positional[0], 0, INT32_MAX);
    if (!id) {
        return badUsage("a provider id is a number from 0, not " + parsed.positional[0]);
    }
    provider.id = *id;
    provider.displayName = parsed.positional[1];
    if (provider.displayName.empty() || !fitText(provider.displayName, kMaxProviderText)) {
        return fail("a display name is 1 to 255 printable characters");
    }
    for (const std::string& text : parsed.hosts) {
        // The lookup port has no usual value, so it must be given.
        const auto host = platform::parseHostPort(text, 0);
        if (!host || host->port == 0 || !fitText(host->host, kMaxProviderText)) {
            return badUsage("--host wants HOST:PORT, not " + text);
        }
        provider.hosts.push_back(LookupHost{host->host, host->port});
    }
    for (const std::string& text : parsed.params) {
        const std::size_t equals = text.find('=');
        if (equals == 0 || equals == std::string::npos ||
            !fitText(text.substr(0, equals), kMaxProviderText) ||
            !fitText(text.substr(equals + 1), kMaxProviderText)) {
            return badUsage("--param wants NAME=VALUE, not " + text);
        }
        provider.params.push_back(ProviderParam{text.substr(0, equals), text.substr(equals + 1)});
    }
    switch (service.accounts().addProvider(provider)) {
        case AddResult::Added:
            out_ << "provider " << provider.id << " added with " << provider.hosts.size()
                 << " lookup hosts\n";
            return 0;
        case AddResult::AlreadyExists:
            return fail("provider exists already: " + parsed.positional[0]);
        case AddResult::Failed:
            break;
    }
    return fail("cannot store the provider");
}

int ServiceCommandLine::listProviders(TalveroService& service) {
    for (const Provider& provider : service.accounts().providers()) {
        out_ << provider.id << " " << provider.displayName;
        for (const LookupHost& host : provider.hosts) {
            out_ << "  host " << host.host << ":" << host.port;
        }
        for (const ProviderParam& param : provider.params) {
            out_ << "  " << param.name << "=" << param.value;
        }
        out_ << "\n";
    }
    return 0;
}

}  // namespace ostrel::service
