// The temporary files of the recorder live in a folder that only this user can enter, and
// each one is created exclusively, so nobody else can plant, read or redirect a recording.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel::recording {

// "<temporary folder>/ostrel-<uid>", created with mode 0700 when missing. Nothing when the
// folder cannot be made, or when what is there is not a plain folder owned by this user and
// closed to everybody else.
std::optional<std::string> privateTemporaryFolder();

// Makes the folder (0700) or checks an existing one as above.
bool ensurePrivateFolder(const std::string& path);

// A file name made from text that came from outside (the conference GUID is chosen by the
// peer who started the conference): letters, digits, '-', '_', '{' and '}' are kept, anything
// else becomes '_', at most 64 characters; empty text gives "conversation".
std::string safeFileName(std::string_view text);

struct ExclusiveFile {
    int fd = -1;
    std::string path;
};

// Creates "<folder>/<name>" with O_EXCL and mode 0600; when that name is taken (a recording
// of an earlier call that was never saved), "<name>-1", "<name>-2" ... so the old file stays.
// fd -1 when no file could be created.
ExclusiveFile createExclusiveFile(const std::string& folder, const std::string& name);

}  // namespace ostrel::recording
