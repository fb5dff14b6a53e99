#include "app/StartupOptions.h"

#include <algorithm>
#include <cctype>

namespace ostrel::app {

bool commandLineSaysDontShow(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        line += argument;
        line += ' ';
    }
    std::string keyword = kDontShowKeyword;
    auto lower = [](std::string& text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    };
    lower(line);
    lower(keyword);
    return line.find(keyword) != std::string::npos;
}

}  // namespace ostrel::app
