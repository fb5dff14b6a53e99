// What the client makes of its command line: only the keyword "DontShow", found anywhere in
// it without regard to case. Nothing else is interpreted. Main thread, at start-up.
#pragma once

#include <string>
#include <vector>

namespace ostrel::app {

inline constexpr const char* kDontShowKeyword = "DontShow";

// `arguments` without the program name.
bool commandLineSaysDontShow(const std::vector<std::string>& arguments);

}  // namespace ostrel::app
