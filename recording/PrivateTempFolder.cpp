#include "recording/PrivateTempFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Platform.h"

namespace ostrel::recording {

namespace {

constexpr size_t kLongestName = 64;
// Enough for many unsaved recordings of one conference; beyond that something is wrong.
constexpr int kNameAttempts = 100;

bool isSafeNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '{' || c == '}';
}

}  // namespace

bool ensurePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return false;
    }
    // Somebody else's folder, or a link to one, must not receive our recordings.
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

std::optional<std::string> privateTemporaryFolder() {
    std::string path =
        platform::joinPath(platform::tempFolder(), "ostrel-" + std::to_string(::getuid()));
    if (!ensurePrivateFolder(path)) {
        return std::nullopt;
    }
    return path;
}

std::string safeFileName(std::string_view text) {
    std::string name;
    for (char c : text.substr(0, kLongestName)) {
        name += isSafeNameCharacter(c) ? c : '_';
    }
    return name.empty() ? std::string("conversation") : name;
}

ExclusiveFile createExclusiveFile(const std::string& folder, const std::string& name) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string candidate =
            platform::joinPath(folder, attempt == 0 ? name : name + "-" + std::to_string(attempt));
        const int fd =
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            return {fd, std::move(candidate)};
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return {};
}

}  // namespace ostrel::recording
