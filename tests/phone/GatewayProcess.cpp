#include "tests/phone/GatewayProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

extern char** environ;

namespace phonetest {

std::optional<long> numberAfter(const std::string& line, const std::string& key) {
    const size_t at = line.find(key);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const char* start = line.c_str() + at + key.size();
    char* end = nullptr;
    const long value = std::strtol(start, &end, 10);
    if (end == start) {
        return std::nullopt;
    }
    return value;
}

GatewayProcess::GatewayProcess(const std::vector<std::string>& extraArgs) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return;
    }
    std::vector<std::string> args = {GATEWAY_PROGRAM, "--lookup-port", "0", "--bridge-port", "0"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const int spawned =
        posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        pid_ = -1;
        ::close(fds[0]);
        return;
    }
    reader_ = std::thread([this, fd = fds[0]] { readLines(fd); });
    // "listening lookup=N bridge=M advertise=... voice=..."
    if (const auto first = waitFor("listening lookup=", 5000)) {
        lookupPort_ = static_cast<uint16_t>(numberAfter(*first, "lookup=").value_or(0));
        bridgePort_ = static_cast<uint16_t>(numberAfter(*first, "bridge=").value_or(0));
    }
}

GatewayProcess::~GatewayProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (reader_.joinable()) {
        reader_.join();
    }
}

void GatewayProcess::readLines(int fd) {
    std::string pending;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        pending.append(buffer, static_cast<size_t>(n));
        size_t newline;
        while ((newline = pending.find('\n')) != std::string::npos) {
            output_.add(std::string_view(pending).substr(0, newline));
            pending.erase(0, newline + 1);
        }
    }
    ::close(fd);
}

}  // namespace phonetest
