// The talvero-service command line: the server itself and the subcommands that manage users,
// buddy lists, calling cards and telephone providers in the database. Runs on the main thread.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "service/TalveroService.h"

namespace ostrel::service {

class ServiceCommandLine {
public:
    // `waitForStop` blocks while the server runs (the program waits for SIGINT or SIGTERM).
    // `defaults` seeds the options (tests lower the hash cost there).
    ServiceCommandLine(std::ostream& out, std::ostream& err, std::istream& in,
                       std::function<void()> waitForStop, ServiceOptions defaults = {});

    // Exit status: 0 done, 1 failed, 2 bad command line (with the usage text).
    int run(const std::vector<std::string>& args);

    static const char* usage();

private:
    struct Parsed {
        std::string command;
        std::vector<std::string> positional;
        std::vector<std::string> hosts;
        std::vector<std::string> params;
        ServiceOptions options;
        bool listenGiven = false;
    };

    bool parse(const std::vector<std::string>& args, Parsed& parsed);
    int serve(Parsed& parsed);
    int addUser(TalveroService& service, const Parsed& parsed, bool replacePassword);
    int listUsers(TalveroService& service);
    int setBuddies(TalveroService& service, const Parsed& parsed);
    int setCards(TalveroService& service, const Parsed& parsed);
    int addProvider(TalveroService& service, const Parsed& parsed);
    int listProviders(TalveroService& service);
    int fail(const std::string& message);
    int badUsage(const std::string& message);

    std::ostream& out_;
    std::ostream& err_;
    std::istream& in_;
    std::function<void()> waitForStop_;
    ServiceOptions defaults_;
};

}  // namespace ostrel::service
