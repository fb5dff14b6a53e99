#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace ostrel::test {

namespace {

int statusOf(int raw) {
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& environment) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        if (environment.count(name) == 0) {
            env.push_back(entry);
        }
    }
    for (const auto& [name, value] : environment) {
        if (!value.empty()) {
            env.push_back(name + "=" + value);
        }
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (rc != 0) {
        pid_ = -1;
        close(pipeEnds[0]);
        return;
    }
    out_ = pipeEnds[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !status_) {
        stop();
    }
    if (out_ >= 0) {
        close(out_);
    }
}

bool ChildProcess::fillBuffer(std::chrono::milliseconds timeout) {
    if (out_ < 0) {
        return false;
    }
    pollfd p{out_, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(timeout.count()));
    if (ready <= 0) {
        return false;
    }
    char chunk[4096];
    const ssize_t n = read(out_, chunk, sizeof chunk);
    if (n <= 0) {
        close(out_);
        out_ = -1;
        return false;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            lines_.push_back(line);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !fillBuffer(left)) {
            if (out_ < 0 && !buffer_.empty()) {  // last line without its newline
                std::string line;
                line.swap(buffer_);
                lines_.push_back(line);
                return line;
            }
            return std::nullopt;
        }
    }
}

std::optional<std::string> ChildProcess::waitForLine(
    const std::function<bool(const std::string&)>& match, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        auto line = readLine(left);
        if (!line) {
            return std::nullopt;
        }
        if (match(*line)) {
            return line;
        }
    }
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    if (status_ || pid_ <= 0) {
        return status_;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int raw = 0;
        const pid_t done = waitpid(pid_, &raw, WNOHANG);
        if (done == pid_) {
            status_ = statusOf(raw);
            return status_;
        }
        if (done < 0 && errno != EINTR) {
            status_ = -1;
            return status_;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        // Keep draining its output so a chatty program never blocks on a full pipe.
        if (!fillBuffer(std::chrono::milliseconds(20))) {
            usleep(20000);
        }
    }
}

int ChildProcess::stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0) {
        return -1;
    }
    if (!status_) {
        kill(pid_, SIGTERM);
        if (!waitForExit(grace)) {
            kill(pid_, SIGKILL);
            waitForExit(std::chrono::milliseconds(5000));
        }
    }
    return status_.value_or(-1);
}

std::optional<std::string> fieldOf(const std::string& line, const std::string& key) {
    const std::string wanted = key + "=";
    size_t at = 0;
    while ((at = line.find(wanted, at)) != std::string::npos) {
        if (at == 0 || line[at - 1] == ' ') {
            const size_t start = at + wanted.size();
            return line.substr(start, line.find(' ', start) - start);
        }
        at += wanted.size();
    }
    return std::nullopt;
}

}  // namespace ostrel::test
