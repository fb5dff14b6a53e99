#include "app/settings/StartupEntry.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Platform.h"

namespace ostrel::settings {

namespace {

std::string configHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return platform::joinPath(home != nullptr ? home : "", ".config");
}

bool needsQuoting(std::string_view path) {
    for (char c : path) {
        if (c == ' ' || c == '\t' || c == '"' || c == '\'' || c == '\\' || c == '>' || c == '<' ||
            c == '~' || c == '|' || c == '&' || c == ';' || c == '$' || c == '*' || c == '?' ||
            c == '#' || c == '(' || c == ')' || c == '`') {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string startupEntryPath() {
    return platform::joinPath(platform::joinPath(configHome(), "autostart"), "Brennick.desktop");
}

std::string startupCommand(std::string_view programPath) {
    std::string exec;
    if (needsQuoting(programPath)) {
        exec += '"';
        for (char c : programPath) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') {
                exec += '\\';
            }
            exec += c;
        }
        exec += '"';
    } else {
        exec = std::string(programPath);
    }
    // '%' starts a field code in Exec; a literal one is doubled.
    std::string out;
    for (char c : exec) {
        out += c;
        if (c == '%') {
            out += '%';
        }
    }
    return out + " DontShow";
}

std::optional<std::string> readStartupEntry() {
    std::ifstream in(startupEntryPath());
    if (!in) {
        return std::nullopt;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Exec=", 0) == 0) {
            return line.substr(5);
        }
    }
    return std::nullopt;
}

bool writeStartupEntry(std::string_view programPath) {
    const std::string folder = platform::joinPath(configHome(), "autostart");
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return false;
    }
    const std::string path = startupEntryPath();
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << "[Desktop Entry]\n"
            << "Type=Application\n"
            << "Name=Talvero\n"
            << "Comment=Talvero voice calls\n"
            << "Exec=" << startupCommand(programPath) << "\n"
            << "Terminal=false\n"
            << "X-GNOME-Autostart-enabled=true\n";
        if (!out.flush()) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

void deleteStartupEntry() {
    ::unlink(startupEntryPath().c_str());
}

}  // namespace ostrel::settings
