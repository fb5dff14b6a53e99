// The ostrel-cli command line: listening port, user name, how incoming calls are answered,
// the one call to make at start, digits to send, how long to run, the web service account to
// be online with, and recording or playing a conversation. Parsed once on the
// main thread before the engine starts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::tools {

enum class AnswerPolicy { Accept, Reject, Ignore };

struct CliOptions {
    uint16_t port = 1720;
    std::string user = "UNKNOWN";
    AnswerPolicy answer = AnswerPolicy::Accept;
    std::string callHost;  // empty: no call
    uint16_t callPort = 1720;
    std::string expectUser;  // sets the confirm-user field when given
    std::string dtmf;
    uint32_t seconds = 0;     // 0: until SIGINT or SIGTERM
    std::string serviceHost;  // --service: log in there (with --login)
    std::string loginUser;
    std::string loginPassword;
    std::string recordPath;  // --record: the call's recording is saved here at the end
    std::string playPath;    // --play: plays this recording and exits
    bool help = false;

    // The options of `args` (without the program name) over the defaults; nothing, with
    // `error` saying why, for an unknown option, a missing value or a value out of range.
    static std::optional<CliOptions> parse(const std::vector<std::string>& args,
                                           std::string& error);
    static const char* usage();
};

}  // namespace ostrel::tools
