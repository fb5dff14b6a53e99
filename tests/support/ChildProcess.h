// A program started by a test: its standard output read line by line with time-outs, its
// standard error passed through, stopped with SIGTERM (then SIGKILL) when the test is done.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::test {

class ChildProcess {
public:
    // Starts `program` with `args`; `environment` entries are set (an empty value unsets).
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // The next line of standard output, or nothing at end of output or time-out.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // Reads lines until one satisfies `match` (returned), or nothing by the time-out.
    std::optional<std::string> waitForLine(const std::function<bool(const std::string&)>& match,
                                           std::chrono::milliseconds timeout);
    // Every line read so far.
    const std::vector<std::string>& lines() const { return lines_; }

    // Sends SIGTERM and waits up to `grace`, then SIGKILL; the exit status, or -1 for a
    // signal death.
    int stop(std::chrono::milliseconds grace = std::chrono::milliseconds(5000));
    // Waits for the program to end on its own; the exit status, -1 for a signal death, or
    // nothing by the time-out.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);

private:
    bool fillBuffer(std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
    std::vector<std::string> lines_;
    std::optional<int> status_;
};

// "name=value" out of a line of key=value fields ("23 PEER_JOINED name=bob version=6").
std::optional<std::string> fieldOf(const std::string& line, const std::string& key);

}  // namespace ostrel::test
