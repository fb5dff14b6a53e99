// What a script hands back to the HTTP layer: the body and whether it is XML or a status text.
#pragma once

#include <string>
#include <string_view>

namespace ostrel::service {

struct ScriptReply {
    std::string body;
    bool xml = false;
};

// Texts shared by several scripts.
inline constexpr std::string_view kBadCredentials = "Invalid user name or password.";
inline constexpr std::string_view kMalformedBody = "The request is not a valid form body.";

inline std::string invalidField(std::string_view name) {
    return "Missing or invalid field: " + std::string(name);
}

// True when the text has no control characters (a name or a value we store and echo).
inline bool printableText(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

}  // namespace ostrel::service
