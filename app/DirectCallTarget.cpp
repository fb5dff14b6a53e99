#include "app/DirectCallTarget.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/Text.h"

namespace ostrel::app {

namespace {

// atoi's reading: leading digits, anything after them ignored; nothing readable is 0.
unsigned long leadingNumber(std::string_view text) {
    unsigned long value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            break;
        }
        value = value * 10 + static_cast<unsigned long>(c - '0');
        if (value > 0xFFFFFFFFul) {
            return value;  // far out of range already
        }
    }
    return value;
}

DirectCallTarget failure(std::string message) {
    DirectCallTarget target;
    target.error = std::move(message);
    return target;
}

}  // namespace

DirectCallTarget parseDirectCallTarget(std::string_view typed) {
    std::string text = platform::trimmed(typed);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string entry = text;

    bool viaBridge = false;
    if (text.starts_with(kBridgePrefix)) {
        viaBridge = true;
        text.erase(0, kBridgePrefix.size());
    }

    const size_t colon = text.find(':');
    const std::string hostPart = text.substr(0, colon);
    if (hostPart.empty()) {
        return failure("Enter IP Address/Host name of the computer");
    }
    uint16_t port = kDefaultCallPort;
    if (colon != std::string::npos) {
        const std::string portText = text.substr(colon + 1, text.find(':', colon + 1) - colon - 1);
        const unsigned long value = leadingNumber(portText);
        // A port beyond 65535 would wrap to some other port; it is as invalid as 0.
        if (value == 0 || value > 65535) {
            return failure("The port specified is invalid");
        }
        port = static_cast<uint16_t>(value);
    }

    DirectCallTarget target;
    target.entry = entry;
    target.request.port = port;
    if (!viaBridge) {
        target.request.address = hostPart;
    } else {
        const size_t at = hostPart.find('@');
        const std::string endpoint = hostPart.substr(0, at);
        const std::string bridge =
            at == std::string::npos ? std::string() : hostPart.substr(at + 1);
        if (endpoint.empty()) {
            return failure(
                "While specifying h323:// , specify in the following format "
                "h323://host@bridgeip:bridgeport");
        }
        if (bridge.empty()) {
            return failure(
                "While specifying h323:// , specify in the following format "
                "h323://host@bridgehost:bridgeport");
        }
        target.request.viaBridge = true;
        target.request.bridgeType = 2;
        target.request.connectionString = endpoint;
        target.request.address = bridge;
    }
    target.valid = true;
    return target;
}

std::string connectingText(const engine::ConnectionRequest& request) {
    char text[600];
    if (request.viaBridge) {
        std::snprintf(text, sizeof text, "Connecting to telephone gateway - %s",
                      request.address.c_str());
    } else {
        std::snprintf(text, sizeof text, "Connecting to %s port %d", request.address.c_str(),
                      static_cast<int>(request.port));
    }
    return text;
}

std::vector<std::string> splitHistory(std::string_view stored) {
    std::vector<std::string> entries;
    size_t pos = 0;
    while (pos < stored.size()) {
        const size_t blank = stored.find(' ', pos);
        const size_t end = blank == std::string_view::npos ? stored.size() : blank;
        if (end > pos) {
            entries.emplace_back(stored.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    return entries;
}

std::string addToHistory(std::string_view stored, std::string_view entry, size_t bufferSize) {
    std::vector<std::string> entries = splitHistory(stored);
    std::erase(entries, std::string(entry));
    if (!entry.empty() && entry.find(' ') == std::string_view::npos) {
        entries.insert(entries.begin(), std::string(entry));
    }
    auto joined = [&entries] {
        std::string text;
        for (const std::string& e : entries) {
            if (!text.empty()) {
                text += ' ';
            }
            text += e;
        }
        return text;
    };
    std::string text = joined();
    while (bufferSize > 0 && text.size() + 1 > bufferSize && !entries.empty()) {
        entries.pop_back();
        text = joined();
    }
    return text;
}

}  // namespace ostrel::app
