// The "Auto Startup" entry: a desktop autostart file that starts the client hidden at login.
// Its presence is the setting; it is written with the program path and "DontShow".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel::settings {

// ${XDG_CONFIG_HOME:-$HOME/.config}/autostart/Brennick.desktop
std::string startupEntryPath();

// The command the entry starts, or nothing when there is no readable entry.
std::optional<std::string> readStartupEntry();

// Writes the entry so the desktop runs `programPath DontShow` at login.
bool writeStartupEntry(std::string_view programPath);

// Removes the entry; harmless when there is none.
void deleteStartupEntry();

// The Exec= value for a program path: quoted and escaped as desktop entries require, so a
// path with blanks or quotes starts the right file.
std::string startupCommand(std::string_view programPath);

}  // namespace ostrel::settings
