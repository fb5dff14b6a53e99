#include "app/settings/SettingsKey.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/settings/SettingsFile.h"
#include "platform/Platform.h"

namespace ostrel::settings {

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool makeFolders(const std::string& folder) {
    if (folder.empty()) {
        return false;
    }
    size_t pos = 1;
    while (true) {
        pos = folder.find('/', pos);
        const std::string part = folder.substr(0, pos);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (pos == std::string::npos) {
            return true;
        }
        ++pos;
    }
}

// Whole file, or nothing when it cannot be opened.
std::optional<std::string> readWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content;
    char buffer[8192];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        content.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return content;
}

bool writeAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Serialises writers of every thread and process: each holder opens the lock file itself, so
// flock excludes threads of one process as well.
class FileLock {
public:
    explicit FileLock(const std::string& settingsPath) {
        const std::string lockPath = folderOf(settingsPath) + "/.settings.lock";
        fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) {
            flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

long rewrite(const std::string& path, std::string_view name,
             const std::optional<SettingValue>& value) {
    FileLock lock(path);
    if (!lock.held()) {
        return kSettingsAccessDenied;
    }
    const auto current = readWholeFile(path);
    const auto lines = parseSettings(current.value_or(""));
    if (!value && findSetting(lines, name) == nullptr) {
        return kSettingsNotFound;
    }
    const std::string content = updateSettings(lines, name, value);

    std::string temp = folderOf(path) + "/.settings.XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return kSettingsAccessDenied;
    }
    const bool ok = fchmod(fd, 0600) == 0 && writeAll(fd, content) && fdatasync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return kSettingsAccessDenied;
    }
    return kSettingsOk;
}

}  // namespace

std::string settingsFolder() {
    if (const char* dir = std::getenv("OSTREL_CONFIG_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = platform::joinPath(home != nullptr ? home : "", ".config");
    }
    return platform::joinPath(base, "Brennick");
}

std::string settingsPath() {
    return platform::joinPath(settingsFolder(), "settings.reg");
}

SettingsKey::SettingsKey(bool readOnly) : SettingsKey(readOnly, settingsPath()) {}

SettingsKey::SettingsKey(bool readOnly, std::string path)
    : path_(std::move(path)), readOnly_(readOnly) {
    if (readOnly_) {
        open_ = ::access(path_.c_str(), R_OK) == 0;
        return;
    }
    if (!makeFolders(folderOf(path_))) {
        return;
    }
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        open_ = true;
    }
}

long SettingsKey::readDword(std::string_view name, uint32_t& value) const {
    if (!open_) {
        return kSettingsNotOpen;
    }
    const auto content = readWholeFile(path_);
    if (!content) {
        return kSettingsNotOpen;
    }
    const auto lines = parseSettings(*content);
    const SettingLine* line = findSetting(lines, name);
    if (line == nullptr) {
        return kSettingsNotFound;
    }
    const auto* number = std::get_if<uint32_t>(&line->value);
    if (number == nullptr) {
        return kSettingsWrongType;
    }
    value = *number;
    return kSettingsOk;
}

long SettingsKey::readString(std::string_view name, char* buffer, size_t bufferSize) const {
    std::string text;
    const long status = readString(name, text, bufferSize);
    if (status == kSettingsOk) {
        std::memcpy(buffer, text.c_str(), text.size() + 1);
    }
    return status;
}

long SettingsKey::readString(std::string_view name, std::string& out, size_t bufferSize) const {
    if (!open_) {
        return kSettingsNotOpen;
    }
    const auto content = readWholeFile(path_);
    if (!content) {
        return kSettingsNotOpen;
    }
    const auto lines = parseSettings(*content);
    const SettingLine* line = findSetting(lines, name);
    if (line == nullptr) {
        return kSettingsNotFound;
    }
    const auto* text = std::get_if<std::string>(&line->value);
    if (text == nullptr) {
        return kSettingsWrongType;
    }
    if (text->size() + 1 > bufferSize) {
        return kSettingsMoreData;
    }
    out = *text;
    return kSettingsOk;
}

long SettingsKey::writeDword(std::string_view name, uint32_t value) {
    if (!open_ || readOnly_) {
        return kSettingsNotOpen;
    }
    return rewrite(path_, name, SettingValue(value));
}

long SettingsKey::writeString(std::string_view name, std::string_view text) {
    if (!open_ || readOnly_) {
        return kSettingsNotOpen;
    }
    return rewrite(path_, name, SettingValue(std::string(text)));
}

long SettingsKey::deleteValue(std::string_view name) {
    if (!open_ || readOnly_) {
        return kSettingsNotOpen;
    }
    return rewrite(path_, name, std::nullopt);
}

}  // namespace ostrel::settings
