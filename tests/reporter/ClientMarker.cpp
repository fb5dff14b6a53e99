#include "tests/reporter/ClientMarker.h"

#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace ostrel::reporter::test {

std::map<std::string, std::string> waitForMarker(const std::string& path, int timeoutMs) {
    std::map<std::string, std::string> values;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!std::filesystem::exists(path)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return values;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const size_t split = line.find_first_of("=:");
        if (split == std::string::npos) {
            continue;
        }
        std::string value = line.substr(split + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        values[line.substr(0, split)] = value;
    }
    return values;
}

int reap(pid_t pid) {
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace ostrel::reporter::test
