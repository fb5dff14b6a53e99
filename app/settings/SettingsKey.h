// The settings store: named DWORD and string values in one file, read and written at the
// moment of use and never cached. Any thread and any process may use it at once; writes
// replace the file atomically under an advisory lock, so nobody loses another's values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::settings {

// Status results in the manner of the registry: 0 is success.
enum SettingsStatus : long {
    kSettingsOk = 0,
    kSettingsNotFound = 2,      // no such value, or its line cannot be read
    kSettingsAccessDenied = 5,  // the file or its folder cannot be created or written
    kSettingsNotOpen = 6,       // the key could not be opened
    kSettingsMoreData = 234,    // the stored string does not fit the caller's buffer
    kSettingsWrongType = 1630,  // a DWORD read as string or the reverse
};

// The settings folder: $OSTREL_CONFIG_DIR, else ${XDG_CONFIG_HOME:-$HOME/.config}/Brennick.
std::string settingsFolder();
// The settings file inside it.
std::string settingsPath();

// One short-lived instance per access. The read-write form creates the folder and the file
// (mode 0600: it holds the stored password) on first use.
class SettingsKey {
public:
    explicit SettingsKey(bool readOnly = false);
    SettingsKey(bool readOnly, std::string path);
    ~SettingsKey() = default;

    bool isOpen() const { return open_; }
    void close() { open_ = false; }
    const std::string& path() const { return path_; }

    // On any failure `value` keeps what the caller preset, which is how defaults apply.
    long readDword(std::string_view name, uint32_t& value) const;
    long writeDword(std::string_view name, uint32_t value);

    // Reads into a caller buffer of `bufferSize` bytes (terminating NUL included); a longer
    // stored string is not read at all and the buffer is left as it was.
    long readString(std::string_view name, char* buffer, size_t bufferSize) const;
    long readString(std::string_view name, std::string& out, size_t bufferSize) const;
    long writeString(std::string_view name, std::string_view text);

    long deleteValue(std::string_view name);

private:
    std::string path_;
    bool readOnly_ = false;
    bool open_ = false;
};

}  // namespace ostrel::settings
