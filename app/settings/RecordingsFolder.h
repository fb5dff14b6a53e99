// The recordings folder of the Program Settings page: the checks before it is stored (length,
// free space of its file system) and the creation of every missing level. Plain C++; the GUI
// thread calls it at start-up and when the page is saved.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel::settings {

// A recordings folder on a file system with less free space than this is refused (100 MB).
inline constexpr uint64_t kMinimumRecordingsFreeBytes = 104857600;

enum class RecordingsFolderCheck { Ok, Invalid, FreeSpaceUnknown, NotEnoughSpace };

// Free bytes for an unprivileged user: fragment size times available blocks, in 64 bits so
// that drives above 4 GB are not cut down by an overflow.
uint64_t freeBytes(uint64_t fragmentSize, uint64_t availableBlocks);

// Free space of the file system holding `path`, asked of the path itself or of its nearest
// existing parent (the folder may not exist yet); nothing when statvfs fails.
std::optional<uint64_t> freeBytesAt(std::string_view path);

using FreeSpaceProbe = std::function<std::optional<uint64_t>(std::string_view path)>;

// `folder` as typed (trimmed here). Too short (under 2 characters) is Invalid; then the free
// space must be known and at least kMinimumRecordingsFreeBytes.
RecordingsFolderCheck checkRecordingsFolder(std::string_view folder,
                                            const FreeSpaceProbe& probe = freeBytesAt);

// Turns "\" into "/" and creates every missing folder along the path, one level after the
// other. True when the whole path exists as a folder afterwards.
bool createFolderPath(std::string_view path);

}  // namespace ostrel::settings
