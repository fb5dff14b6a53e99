#include "gateway/GatewayOptions.h"

#include <charconv>

#include "gateway/LookupHost.h"
#include "platform/HostPort.h"

namespace ostrel::gateway {

namespace {

// The tone is sampled at 8000 Hz, so it must stay below 4000 Hz to be a tone at all.
constexpr uint32_t kMaxToneHz = 3999;
// A ring time beyond ten minutes outlasts every caller's patience (and its 54 s handshake).
constexpr uint32_t kMaxRingMs = 600000;
// The user name field is 64 bytes with its NUL.
constexpr size_t kMaxUserName = 63;

std::optional<uint32_t> number(const std::string& text, uint32_t low, uint32_t high) {
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        return std::nullopt;
    }
    return value;
}

bool parseVoice(const std::string& text, BridgeSettings& bridge) {
    if (text == "echo") {
        bridge.voice = VoiceMode::Echo;
        return true;
    }
    if (text == "tone") {
        bridge.voice = VoiceMode::Tone;
        return true;
    }
    const std::string prefix = "tone:";
    if (text.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    const auto hz = number(text.substr(prefix.size()), 1, kMaxToneHz);
    if (!hz) {
        return false;
    }
    bridge.voice = VoiceMode::Tone;
    bridge.toneHz = *hz;
    return true;
}

}  // namespace

const char* GatewayOptions::usage() {
    return "usage: talvero-gateway [options]\n"
           "  --lookup-port N          lookup host's UDP port (default 1730; 0: any free port)\n"
           "  --bridge-port N          bridge's UDP port (default 1731; 0: any free port)\n"
           "  --advertise HOST[:PORT]  gateway named in lookup replies\n"
           "                           (default 127.0.0.1:<bridge port>)\n"
           "  --silent                 the lookup host answers nothing\n"
           "  --ring-ms N              ring this long before answering (default 1000)\n"
           "  --reject                 ring, then refuse the call\n"
           "  --user NAME              user name in the accept (default gateway)\n"
           "  --voice tone[:HZ]|echo   voice sent back: a tone (default 440 Hz) or the\n"
           "                           caller's own voice\n"
           "  --seconds N              exit after N seconds (default: on SIGINT or SIGTERM)\n"
           "  --help                   this text\n";
}

std::string GatewayOptions::voiceText() const {
    return bridge.voice == VoiceMode::Echo ? "echo" : "tone:" + std::to_string(bridge.toneHz);
}

std::optional<GatewayOptions> GatewayOptions::parse(const std::vector<std::string>& args,
                                                    std::string& error) {
    GatewayOptions o;
    const auto bad = [&error](const std::string& why) {
        error = why;
        return std::nullopt;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--silent") {
            o.silent = true;
            continue;
        }
        if (arg == "--reject") {
            o.bridge.reject = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            continue;
        }
        const bool takesValue = arg == "--lookup-port" || arg == "--bridge-port" ||
                                arg == "--advertise" || arg == "--ring-ms" || arg == "--user" ||
                                arg == "--voice" || arg == "--seconds";
        if (!takesValue) {
            return bad("unknown option " + arg);
        }
        if (i + 1 >= args.size()) {
            return bad(arg + " needs a value");
        }
        const std::string& value = args[++i];
        if (arg == "--lookup-port" || arg == "--bridge-port") {
            const auto port = number(value, 0, 65535);
            if (!port) {
                return bad(arg + " wants a port number 0..65535, not \"" + value + "\"");
            }
            (arg == "--lookup-port" ? o.lookupPort : o.bridgePort) = static_cast<uint16_t>(*port);
        } else if (arg == "--advertise") {
            // A port of 0 is the "not given" default of parseHostPort here.
            const auto hostPort = platform::parseHostPort(value, 0);
            if (!hostPort) {
                return bad("--advertise wants HOST[:PORT], not \"" + value + "\"");
            }
            if (hostPort->host.size() > LookupHost::kMaxHostLength) {
                return bad("--advertise host is longer than " +
                           std::to_string(LookupHost::kMaxHostLength) + " characters");
            }
            o.advertiseHost = hostPort->host;
            o.advertisePort = hostPort->port;
        } else if (arg == "--ring-ms") {
            const auto ms = number(value, 0, kMaxRingMs);
            if (!ms) {
                return bad("--ring-ms wants milliseconds 0.." + std::to_string(kMaxRingMs) +
                           ", not \"" + value + "\"");
            }
            o.bridge.ringMs = *ms;
        } else if (arg == "--user") {
            if (value.empty() || value.size() > kMaxUserName) {
                return bad("--user wants a name of 1 to " + std::to_string(kMaxUserName) +
                           " characters");
            }
            o.bridge.userName = value;
        } else if (arg == "--voice") {
            if (!parseVoice(value, o.bridge)) {
                return bad("--voice wants tone, tone:HZ (1.." + std::to_string(kMaxToneHz) +
                           ") or echo, not \"" + value + "\"");
            }
        } else {
            // A day is plenty for a demo or a test run; 0 would mean "forever" by accident.
            const auto seconds = number(value, 1, 86400);
            if (!seconds) {
                return bad("--seconds wants 1..86400, not \"" + value + "\"");
            }
            o.seconds = *seconds;
        }
    }
    if (o.lookupPort != 0 && o.lookupPort == o.bridgePort) {
        return bad("the lookup and bridge ports must differ");
    }
    return o;
}

}  // namespace ostrel::gateway
