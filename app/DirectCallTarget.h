// The client application: the window's plain C++ rules that need no widget. This file: what
// the direct-call page makes of a typed address ("host", "host:port",
// "h323://endpoint@bridge:port") and the address history kept as "IPList". GUI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ConnectionRequest.h"

namespace ostrel::app {

inline constexpr uint16_t kDefaultCallPort = 1720;
inline constexpr std::string_view kBridgePrefix = "h323://";

struct DirectCallTarget {
    bool valid = false;
    std::string error;  // the message to show when not valid
    std::string entry;  // the typed text as it goes into the history (trimmed, lower case)
    engine::ConnectionRequest request;
};

// Trimmed and lower-cased first. Errors: no host part, a port that reads as 0 (or does not
// fit a port), an "h323://" target without its endpoint or bridge piece.
DirectCallTarget parseDirectCallTarget(std::string_view typed);

// "Connecting to %s port %d", or "Connecting to telephone gateway - %s" through a bridge.
std::string connectingText(const engine::ConnectionRequest& request);

// The history as stored: entries joined by one blank.
std::vector<std::string> splitHistory(std::string_view stored);
// `entry` first, an older copy of it dropped, and the oldest entries dropped while the joined
// text would not fit a reader buffer of `bufferSize` bytes (a longer value could not be read
// back at all, which would lose the whole history).
std::string addToHistory(std::string_view stored, std::string_view entry, size_t bufferSize);

}  // namespace ostrel::app
