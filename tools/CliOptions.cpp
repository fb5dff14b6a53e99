#include "tools/CliOptions.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "platform/HostPort.h"

namespace ostrel::tools {

namespace {

// A decimal number in [low, high] with nothing after it.
std::optional<uint32_t> number(const std::string& text, uint32_t low, uint32_t high) {
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

bool isDialPadText(const std::string& digits) {
    if (digits.empty() || digits.size() > 63) {
        return false;
    }
    for (char c : digits) {
        if (!((c >= '0' && c <= '9') || c == '*' || c == '#')) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<CliOptions> CliOptions::parse(const std::vector<std::string>& args,
                                            std::string& error) {
    CliOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--help" || option == "-h") {
            o.help = true;
            continue;
        }
        static const char* const kWithValue[] = {
            "--port",    "--user",    "--answer", "--call",   "--expect-user", "--dtmf",
            "--seconds", "--service", "--login",  "--record", "--play"};
        const bool known =
            std::find(std::begin(kWithValue), std::end(kWithValue), option) != std::end(kWithValue);
        if (!known) {
            error = "unknown option " + option;
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = option + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        if (option == "--port") {
            const auto port = number(value, 0, 65535);
            if (!port) {
                error = "--port needs a port number 0..65535, not " + value;
                return std::nullopt;
            }
            o.port = static_cast<uint16_t>(*port);
        } else if (option == "--user") {
            if (value.empty() || value.size() > 63) {
                error = "--user needs a name of 1 to 63 characters";
                return std::nullopt;
            }
            o.user = value;
        } else if (option == "--answer") {
            if (value == "accept") {
                o.answer = AnswerPolicy::Accept;
            } else if (value == "reject") {
                o.answer = AnswerPolicy::Reject;
            } else if (value == "ignore") {
                o.answer = AnswerPolicy::Ignore;
            } else {
                error = "--answer takes accept, reject or ignore, not " + value;
                return std::nullopt;
            }
        } else if (option == "--call") {
            const auto target = platform::parseHostPort(value, 1720);
            if (!target) {
                error = "--call needs HOST or HOST:PORT, not " + value;
                return std::nullopt;
            }
            o.callHost = target->host;
            o.callPort = target->port;
        } else if (option == "--expect-user") {
            if (value.empty() || value.size() > 63) {
                error = "--expect-user needs a name of 1 to 63 characters";
                return std::nullopt;
            }
            o.expectUser = value;
        } else if (option == "--dtmf") {
            if (!isDialPadText(value)) {
                error = "--dtmf takes 1 to 63 of the characters 0-9, * and #, not " + value;
                return std::nullopt;
            }
            o.dtmf = value;
        } else if (option == "--seconds") {
            const auto seconds = number(value, 1, 86400 * 365);
            if (!seconds) {
                error = "--seconds needs a whole number of seconds from 1, not " + value;
                return std::nullopt;
            }
            o.seconds = *seconds;
        } else if (option == "--service") {
            if (!platform::parseHostPort(value, 80)) {
                error = "--service needs HOST or HOST:PORT, not " + value;
                return std::nullopt;
            }
            o.serviceHost = value;
        } else if (option == "--login") {
            const size_t colon = value.find(':');
            if (colon == 0 || colon == std::string::npos || colon > 63) {
                error = "--login needs USER:PASSWORD";
                return std::nullopt;
            }
            o.loginUser = value.substr(0, colon);
            o.loginPassword = value.substr(colon + 1);
        } else if (option == "--record" || option == "--play") {
            if (value.empty()) {
                error = option + " needs a file name";
                return std::nullopt;
            }
            (option == "--record" ? o.recordPath : o.playPath) = value;
        } else {
            error = "unknown option " + option;
            return std::nullopt;
        }
    }
    if (o.serviceHost.empty() != o.loginUser.empty()) {
        error = "--service and --login go together";
        return std::nullopt;
    }
    if (!o.playPath.empty() && (!o.callHost.empty() || !o.recordPath.empty())) {
        error = "--play plays a file and exits; it takes no --call or --record";
        return std::nullopt;
    }
    return o;
}

const char* CliOptions::usage() {
    return "usage: ostrel-cli [--port N] [--user NAME] [--answer accept|reject|ignore]\n"
           "                  [--call HOST[:PORT]] [--expect-user NAME] [--dtmf DIGITS]\n"
           "                  [--seconds N] [--service HOST[:PORT] --login USER:PASSWORD]\n"
           "                  [--record FILE.vrec] | --play FILE.vrec\n"
           "  --port N            listening UDP port (default 1720, 0 for any free one)\n"
           "  --user NAME         user name sent to peers (default UNKNOWN)\n"
           "  --answer POLICY     incoming calls: accept (default), reject, or ignore\n"
           "                      (never answered: the caller hears ringing until it gives up)\n"
           "  --call HOST[:PORT]  call once at start (port default 1720)\n"
           "  --expect-user NAME  the user the call expects to reach\n"
           "  --dtmf DIGITS       send these digits to every peer once the call is active\n"
           "  --seconds N         stop and exit after N seconds (default: until SIGINT/SIGTERM)\n"
           "  --service HOST[:PORT] --login USER:PASSWORD\n"
           "                      log in to the web service and stay online (keep-alive)\n"
           "  --record FILE       record the conversation; saved to FILE when it ends\n"
           "  --play FILE         play a recorded conversation and exit\n"
           "Audio: OSTREL_CAPTURE_FILE, OSTREL_PLAYBACK_FILE, OSTREL_AUDIO=none.\n"
           "Prints one line per engine notification. Exit status: 0 after a clean stop,\n"
           "1 when the call failed, 2 for bad options.\n";
}

}  // namespace ostrel::tools
