// printf-style formatting into a std::string, for the engine's diagnostic texts, which keep
// the printf patterns they are known by. Any thread.
#pragma once

#include <string>

namespace ostrel::engine {

std::string formatText(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

}  // namespace ostrel::engine
