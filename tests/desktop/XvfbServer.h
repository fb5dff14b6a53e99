// A private X server for one test program: Xvfb on a display number it picks itself
// (-displayfd), so parallel test programs never collide. Stopped when the object goes.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

extern char** environ;

namespace ostrel::test {

class XvfbServer {
public:
    XvfbServer() {
        int fds[2];
        if (::pipe(fds) != 0) {
            return;
        }
        const std::string fdText = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb",    "-displayfd", fdText.c_str(), "-nolisten", "tcp",
                              "-screen", "0",          "640x480x24",   nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int rc =
            posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            pid_ = -1;
            ::close(fds[0]);
            return;
        }
        // Xvfb writes the display number once it accepts connections.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (::poll(&p, 1, 10000) > 0) {
            char c;
            if (::read(fds[0], &c, 1) != 1 || c == '\n') {
                break;
            }
            number += c;
        }
        ::close(fds[0]);
        if (number.empty()) {
            stop();
            return;
        }
        display_ = ":" + number;
    }
    ~XvfbServer() { stop(); }

    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool running() const { return !display_.empty(); }
    const std::string& display() const { return display_; }

    // Runs a command with DISPLAY set to this server; its exit status.
    int run(const std::string& command) const {
        const std::string line = "DISPLAY=" + display_ + " " + command;
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        display_.clear();
    }

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace ostrel::test
