#include "Platform.h"

#include <unistd.h>
#include <uuid/uuid.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace ostrel::platform {

uint32_t tickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

std::string newGuidText() {
    uuid_t id;
    uuid_generate_random(id);
    char text[37];
    uuid_unparse_lower(id, text);
    return text;
}

std::string programPath() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return {};
    }
    return std::string(buffer, static_cast<size_t>(n));
}

std::string programFolder() {
    std::string path = programPath();
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    path.resize(slash);
    return path;
}

std::string tempFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::string folder = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    while (!out.empty() && out.back() == '/') {
        out.pop_back();
    }
    while (!name.empty() && name.front() == '/') {
        name.remove_prefix(1);
    }
    out += '/';
    out += name;
    return out;
}

bool traceEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("OSTREL_TRACE");
        return value != nullptr && std::string_view(value) == "1";
    }();
    return enabled;
}

void trace(std::string_view text) {
    if (!traceEnabled()) {
        return;
    }
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
                  local.tm_sec, ts.tv_nsec / 1000000);
    // One fprintf per line keeps lines of different threads from interleaving.
    std::fprintf(stderr, "%s %.*s\n", stamp, static_cast<int>(text.size()), text.data());
}

}  // namespace ostrel::platform
