#include "reporter/ReporterSwitches.h"

#include <cctype>
#include <cstddef>

namespace ostrel::reporter {

namespace {

std::string lowerCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The field a switch fills, or nothing for a token that is no known switch.
std::string* fieldFor(ReporterSwitches& switches, const std::string& token) {
    const std::string name = lowerCase(token);
    if (name == "-f") {
        return &switches.reportFile;
    }
    if (name == "-v") {
        return &switches.version;
    }
    if (name == "-b") {
        return &switches.build;
    }
    if (name == "-s") {
        return &switches.server;
    }
    if (name == "-p") {
        return &switches.serverPath;
    }
    if (name == "-a") {
        return &switches.application;
    }
    if (name == "-i") {
        return &switches.instanceGuid;
    }
    return nullptr;
}

bool opensQuote(const std::string& token) {
    return !token.empty() && token.front() == '"' && (token.size() == 1 || token.back() != '"');
}

}  // namespace

std::string withoutQuotes(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

ReporterSwitches parseReporterSwitches(const std::vector<std::string>& arguments) {
    ReporterSwitches switches;
    ReporterSwitches scratch;  // lets fieldFor tell a known switch without touching a field
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& token = arguments[i];
        if (token.empty() || token.front() != '-') {
            continue;
        }
        std::string* field = fieldFor(switches, token);
        if (field == nullptr || i + 1 >= arguments.size() ||
            fieldFor(scratch, arguments[i + 1]) != nullptr) {
            if (field != nullptr) {
                field->clear();
            }
            continue;
        }
        std::string value = arguments[++i];
        // A quoted value that a shell or a plain split on blanks broke into pieces is joined
        // again up to the piece that closes the quote, so a path with blanks stays whole. A
        // quote that nothing closes before the next switch only loses its quote mark.
        if (opensQuote(value)) {
            size_t close = i + 1;
            while (close < arguments.size() && fieldFor(scratch, arguments[close]) == nullptr &&
                   (arguments[close].empty() || arguments[close].back() != '"')) {
                ++close;
            }
            if (close < arguments.size() && fieldFor(scratch, arguments[close]) == nullptr) {
                while (i < close) {
                    value += ' ';
                    value += arguments[++i];
                }
            } else {
                value.erase(0, 1);
            }
        }
        *field = withoutQuotes(value);
    }
    return switches;
}

}  // namespace ostrel::reporter
