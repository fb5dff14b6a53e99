#include "app/settings/RecordingsFolder.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>

#include "platform/Text.h"

namespace ostrel::settings {

namespace {

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// "a/b/c" -> "a/b"; "/a" -> "/"; "a" -> ".".
std::string parentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

}  // namespace

uint64_t freeBytes(uint64_t fragmentSize, uint64_t availableBlocks) {
    return fragmentSize * availableBlocks;
}

std::optional<uint64_t> freeBytesAt(std::string_view path) {
    std::string probe(path.empty() ? std::string_view(".") : path);
    while (probe.size() > 1 && probe.back() == '/') {
        probe.pop_back();
    }
    // Walk up to the nearest level that exists; "/" and "." always end the walk.
    for (;;) {
        struct statvfs fs {};
        if (::statvfs(probe.c_str(), &fs) == 0) {
            return freeBytes(fs.f_frsize, fs.f_bavail);
        }
        if (errno != ENOENT && errno != ENOTDIR) {
            return std::nullopt;
        }
        const std::string parent = parentOf(probe);
        if (parent == probe) {
            return std::nullopt;
        }
        probe = parent;
    }
}

RecordingsFolderCheck checkRecordingsFolder(std::string_view folder, const FreeSpaceProbe& probe) {
    const std::string trimmed = platform::trimmed(folder);
    if (trimmed.size() < 2) {
        return RecordingsFolderCheck::Invalid;
    }
    const std::optional<uint64_t> free = probe(trimmed);
    if (!free) {
        return RecordingsFolderCheck::FreeSpaceUnknown;
    }
    if (*free < kMinimumRecordingsFreeBytes) {
        return RecordingsFolderCheck::NotEnoughSpace;
    }
    return RecordingsFolderCheck::Ok;
}

bool createFolderPath(std::string_view path) {
    std::string folder(path);
    for (char& c : folder) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (folder.empty()) {
        return false;
    }
    // Each prefix that ends before a "/" is one level; the whole path is the last.
    for (size_t i = 1; i <= folder.size(); ++i) {
        if (i != folder.size() && folder[i] != '/') {
            continue;
        }
        const std::string level = folder.substr(0, i);
        if (level.empty() || level.back() == '/' || isFolder(level)) {
            continue;
        }
        if (::mkdir(level.c_str(), 0755) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return isFolder(folder);
}

}  // namespace ostrel::settings
