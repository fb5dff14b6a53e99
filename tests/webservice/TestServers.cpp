#include "tests/webservice/TestServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace ostrel::webservice::test {

namespace {

int listenOn(const std::string& address, int port, int& boundPort) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t length = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
    boundPort = ntohs(addr.sin_port);
    return fd;
}

// Accepts one connection, or -1 after 50 ms so the caller can look at its stop flag.
int acceptSoon(int listenFd) {
    pollfd p{listenFd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) {
        return -1;
    }
    return ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
}

}  // namespace

LocalHttpServer::LocalHttpServer(Handler handler) : handler_(std::move(handler)) {
    server_.Post(R"(.*)", [this](const httplib::Request& request, httplib::Response& response) {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back({request.method, request.path, request.body, request.headers});
        }
        if (handler_) {
            handler_(request, response);
        } else {
            response.set_content("OK", "text/plain");
        }
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        throw std::runtime_error("cannot bind the test server");
    }
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

LocalHttpServer::~LocalHttpServer() {
    server_.stop();
    thread_.join();
}

std::vector<ReceivedRequest> LocalHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

ReceivedRequest LocalHttpServer::LastRequest() const {
    std::lock_guard lock(mutex_);
    return requests_.empty() ? ReceivedRequest{} : requests_.back();
}

SilentListener::SilentListener() {
    listenFd_ = listenOn("127.0.0.1", 0, port_);
    if (listenFd_ < 0) {
        throw std::runtime_error("cannot bind the silent listener");
    }
    thread_ = std::thread([this] { run(); });
}

SilentListener::~SilentListener() {
    stop_.store(true);
    thread_.join();
    for (const int fd : clients_) {
        ::close(fd);
    }
    ::close(listenFd_);
}

void SilentListener::run() {
    while (!stop_.load()) {
        const int fd = acceptSoon(listenFd_);
        if (fd >= 0) {
            std::lock_guard lock(mutex_);
            clients_.push_back(fd);
            accepted_.fetch_add(1);
        }
    }
}

bool SilentListener::AllPeersClosedWithin(int ms) {
    std::vector<int> clients;
    {
        std::lock_guard lock(mutex_);
        clients = clients_;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (const int fd : clients) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;
            }
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            char buffer[4096];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;  // end of stream (or reset): the client has let go
            }
        }
    }
    return true;
}

TinyProxy::TinyProxy(const std::string& address, int port) {
    listenFd_ = listenOn(address, port, port_);
    if (listenFd_ >= 0) {
        thread_ = std::thread([this] { run(); });
    }
}

TinyProxy::~TinyProxy() {
    if (listenFd_ >= 0) {
        stop_.store(true);
        thread_.join();
        ::close(listenFd_);
    }
}

std::vector<std::string> TinyProxy::RequestLines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

void TinyProxy::run() {
    while (!stop_.load()) {
        const int fd = acceptSoon(listenFd_);
        if (fd < 0) {
            continue;
        }
        std::string data;
        size_t headerEnd = std::string::npos;
        size_t wanted = 0;
        char buffer[4096];
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) {
                break;
            }
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;
            }
            data.append(buffer, static_cast<size_t>(got));
            if (headerEnd == std::string::npos) {
                headerEnd = data.find("\r\n\r\n");
                if (headerEnd != std::string::npos) {
                    const size_t at = data.find("Content-Length: ");
                    const size_t length =
                        at < headerEnd ? std::strtoul(data.c_str() + at + 16, nullptr, 10) : 0;
                    wanted = headerEnd + 4 + length;
                }
            }
            if (headerEnd != std::string::npos && data.size() >= wanted) {
                break;
            }
        }
        {
            std::lock_guard lock(mutex_);
            lines_.push_back(data.substr(0, data.find("\r\n")));
        }
        const std::string answer =
            "HTTP/1.1 200 OK\r\nContent-Length: 9\r\nConnection: close\r\n\r\nvia proxy";
        ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        ::close(fd);
    }
}

ScopedConfigDir::ScopedConfigDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ostrel-ws-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a settings folder");
    }
    path_ = pattern;
    ::setenv("OSTREL_CONFIG_DIR", path_.c_str(), 1);
}

ScopedConfigDir::~ScopedConfigDir() {
    ::unsetenv("OSTREL_CONFIG_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace ostrel::webservice::test
