#include "netconfig/OwnAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <climits>
#include <cstring>
#include <optional>

#include "app/settings/Settings.h"
#include "platform/HostPort.h"
#include "platform/Text.h"
#include "sync/CWorkerThread.h"

namespace ostrel::netconfig {

namespace {

std::optional<int> firstNumber(std::string_view text, size_t& pos) {
    int value = 0;
    size_t start = pos;
    while (pos < text.size() && pos - start < 4 &&
           std::isdigit(static_cast<unsigned char>(text[pos]))) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    if (pos == start) {
        return std::nullopt;
    }
    return value;
}

std::optional<sockaddr_in> resolveTarget(const std::string& target) {
    const auto hostPort = platform::parseHostPort(target, 80);
    if (!hostPort) {
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(hostPort->host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    address.sin_port = htons(hostPort->port);
    return address;
}

// One TCP connection attempt from a given local address. The attempt thread waits on the
// socket and on a cancel event at once, so that "closing the socket" from the caller ends a
// connect that would otherwise hang for the system's own time-out of minutes.
class ConnectAttempt {
public:
    ConnectAttempt(std::optional<in_addr> local, sockaddr_in target)
        : local_(local), target_(target), cancel_(eventfd(0, EFD_CLOEXEC)) {}
    ~ConnectAttempt() {
        if (cancel_ >= 0) {
            close(cancel_);
        }
    }

    bool run(unsigned limitSteps, unsigned stepMs) {
        if (cancel_ < 0) {
            return false;
        }
        sync::CWorkerThread thread([this](void*) { return attempt(); }, nullptr,
                                   "Check socket conectivity thread...");
        if (!thread.Start(false)) {
            return false;
        }
        for (unsigned step = 0; step < limitSteps; ++step) {
            if (thread.Wait(stepMs) != sync::WaitResult::TimedOut) {
                break;
            }
        }
        if (thread.IsRunning()) {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = write(cancel_, &one, sizeof one);
        }
        thread.Wait(sync::kInfinite);
        return connected_.load();
    }

private:
    uint32_t attempt() {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return 0;
        }
        bool ok = true;
        if (local_) {
            sockaddr_in bound{};
            bound.sin_family = AF_INET;
            bound.sin_addr = *local_;
            ok = bind(fd, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) == 0;
        }
        if (ok) {
            const int rc = connect(fd, reinterpret_cast<const sockaddr*>(&target_), sizeof target_);
            if (rc == 0) {
                connected_.store(true);
            } else if (errno == EINPROGRESS) {
                pollfd fds[2] = {{fd, POLLOUT, 0}, {cancel_, POLLIN, 0}};
                int ready = 0;
                do {
                    ready = poll(fds, 2, -1);
                } while (ready < 0 && errno == EINTR);
                if (ready > 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP)) != 0 &&
                    (fds[1].revents & POLLIN) == 0) {
                    int error = 0;
                    socklen_t length = sizeof error;
                    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
                    connected_.store(error == 0);
                }
            }
        }
        close(fd);
        return connected_.load() ? 1 : 0;
    }

    std::optional<in_addr> local_;
    sockaddr_in target_;
    int cancel_;
    std::atomic<bool> connected_{false};
};

}  // namespace

bool IsPrivateAddress(std::string_view dotted) {
    if (dotted == "127.0.0.1" || dotted.starts_with("10.") || dotted.starts_with("192.168.") ||
        dotted.starts_with("169.254.")) {
        return true;
    }
    if (dotted.starts_with("172.")) {
        size_t pos = 4;
        const auto second = firstNumber(dotted, pos);
        return second && *second >= 16 && *second <= 31;
    }
    return false;
}

std::vector<std::string> ListOwnAddresses() {
    std::vector<std::string> addresses;
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return addresses;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0) {
        return addresses;
    }
    for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
        if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) {
            std::string address(text);
            bool seen = false;
            for (const auto& a : addresses) {
                seen = seen || a == address;
            }
            if (!seen) {
                addresses.push_back(address);
            }
        }
    }
    freeaddrinfo(found);
    return addresses;
}

std::string DetectionTarget() {
    if (settings::read(settings::value::UseHttpProxy) == 1) {
        return platform::trimmed(settings::read(settings::value::HttpProxyName)) + ":" +
               std::to_string(settings::read(settings::value::HttpProxyPort));
    }
    return settings::serviceWebHost();
}

std::string DetectOwnAddress(unsigned limitSeconds, const OwnAddressOptions& options) {
    const auto target = resolveTarget(options.target.empty() ? DetectionTarget() : options.target);
    if (!target) {
        return {};
    }
    const unsigned stepMs = options.stepMs == 0 ? 1 : options.stepMs;
    const auto own = options.ownAddresses ? options.ownAddresses() : ListOwnAddresses();
    for (const auto& address : own) {
        in_addr local{};
        if (IsPrivateAddress(address) || inet_pton(AF_INET, address.c_str(), &local) != 1) {
            continue;
        }
        ConnectAttempt attempt(local, *target);
        if (attempt.run(limitSeconds, stepMs)) {
            return address;
        }
    }
    ConnectAttempt anyAddress(std::nullopt, *target);
    return anyAddress.run(limitSeconds, stepMs) ? kLanAddress : std::string();
}

}  // namespace ostrel::netconfig
