// Load generator for talvero-service. Simulates N logged-in clients with B buddies each, every
// one running the client's periodic cycle: a keep-alive, then (after its reply) the
// online-users request, once every 45 s, the clients' cycles spread evenly over the period.
// 10,000 clients make about 445 requests per second. The service runs in this process on a
// loopback port; each request uses a connection of its own, as the client's does.
//
//   service_bench [--clients N] [--buddies B] [--seconds S] [--threads T]
//
// Latency is measured from the moment a request was due, so a generator that falls behind
// shows up in the figures instead of hiding the queueing.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "service/TalveroService.h"

using namespace ostrel::service;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int64_t kCycleMs = 45'000;

struct Settings {
    int clients = 10'000;
    int buddies = 20;
    int seconds = 30;
    int threads = 64;
};

std::string userName(int i) {
    return "user" + std::to_string(i);
}

std::string keepAliveBody(int i) {
    return "User=" + userName(i) + "&Pass=pw&ListeningPort=1720&InstanceGUID=instance%2D" +
           std::to_string(i) + "&IPAddr=203%2E0%2E113%2E" + std::to_string(i % 250) +
           "&IPType=0&Version=6&ClientType=0";
}

std::string onlineBody(int i, const Settings& s) {
    std::string body = "User=" + userName(i) + "&Pass=pw";
    for (int b = 1; b <= s.buddies; ++b) {
        body += "&buddy=" + userName((i + b) % s.clients);
    }
    return body + "&Version=6&ClientType=0";
}

std::string loginBody(int i) {
    return "user=" + userName(i) + "&Pass=pw&ListeningPort=1720&InstanceGUID=instance%2D" +
           std::to_string(i) + "&IPAddr=203%2E0%2E113%2E" + std::to_string(i % 250) +
           "&IPType=0&Version=6&ClientType=0";
}

std::size_t count(const std::string& text, const std::string& piece) {
    std::size_t n = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
        ++n;
    }
    return n;
}

double percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) {
        return 0;
    }
    const auto index = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1));
    return sorted[index];
}

bool parseArgs(int argc, char** argv, Settings& s) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        int* target = nullptr;
        if (std::strcmp(argv[i], "--clients") == 0) {
            target = &s.clients;
        } else if (std::strcmp(argv[i], "--buddies") == 0) {
            target = &s.buddies;
        } else if (std::strcmp(argv[i], "--seconds") == 0) {
            target = &s.seconds;
        } else if (std::strcmp(argv[i], "--threads") == 0) {
            target = &s.threads;
        }
        if (target == nullptr || !hasValue || std::atoi(argv[i + 1]) <= 0) {
            return false;
        }
        *target = std::atoi(argv[++i]);
    }
    return s.buddies < s.clients;
}

// Runs `work(i)` for i in [0, n) on `threads` threads.
template <typename Work>
void parallelFor(int n, int threads, Work work) {
    std::atomic<int> next{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            for (int i = next++; i < n; i = next++) {
                work(i);
            }
        });
    }
    for (auto& thread : pool) {
        thread.join();
    }
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    if (!parseArgs(argc, argv, s)) {
        std::fprintf(stderr,
                     "usage: service_bench [--clients N] [--buddies B] [--seconds S] "
                     "[--threads T]\n");
        return 2;
    }
    std::string folder =
        ostrel::platform::joinPath(ostrel::platform::tempFolder(), "talvero-bench-XXXXXX");
    if (mkdtemp(folder.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    ServiceOptions options;
    options.listenPort = 0;
    options.databasePath = ostrel::platform::joinPath(folder, "bench.db");
    // The benchmark measures the periodic cycle, not password hashing at account creation.
    options.hashCost = HashCost::Minimum;
    std::string error;
    auto service = TalveroService::open(options, error);
    if (!service || !service->start(error)) {
        std::fprintf(stderr, "service_bench: %s\n", error.c_str());
        return 1;
    }
    const int port = service->port();

    auto started = Clock::now();
    const auto hash = service->hasher().hash("pw");
    for (int i = 0; i < s.clients; ++i) {
        service->accounts().addUser(userName(i), *hash, service->now());
    }
    for (const Account& account : service->accounts().users()) {
        const int i = std::atoi(account.name.c_str() + 4);
        std::vector<std::string> buddies;
        for (int b = 1; b <= s.buddies; ++b) {
            buddies.push_back(userName((i + b) % s.clients));
        }
        service->accounts().setBuddies(account.id, buddies);
    }
    const double seedSeconds = std::chrono::duration<double>(Clock::now() - started).count();

    started = Clock::now();
    std::atomic<int> loginFailures{0};
    parallelFor(s.clients, 8, [&](int i) {
        httplib::Client client("127.0.0.1", port);
        auto reply =
            client.Post("/app2/logmein.aspx", loginBody(i), "application/x-www-form-urlencoded");
        if (!reply || reply->body.find("<errorcode>0</errorcode>") == std::string::npos) {
            ++loginFailures;
        }
    });
    const double loginSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf(
        "setup: %d accounts with %d buddies in %.1f s; %d logins in %.1f s (%.0f/s), "
        "%d failed\n",
        s.clients, s.buddies, seedSeconds, s.clients, loginSeconds, s.clients / loginSeconds,
        loginFailures.load());

    // Client i's cycles fall at i * 45 s / N, then every 45 s, until the run ends.
    struct Cycle {
        int64_t dueMs;
        int client;
    };
    std::vector<Cycle> schedule;
    const int64_t runMs = int64_t(s.seconds) * 1000;
    for (int i = 0; i < s.clients; ++i) {
        for (int64_t due = int64_t(i) * kCycleMs / s.clients; due < runMs; due += kCycleMs) {
            schedule.push_back({due, i});
        }
    }
    std::sort(schedule.begin(), schedule.end(),
              [](const Cycle& a, const Cycle& b) { return a.dueMs < b.dueMs; });

    std::mutex resultsLock;  // guards latencies and errors while the workers merge
    std::vector<double> latencies;
    int errors = 0;
    const auto origin = Clock::now();
    parallelFor(static_cast<int>(schedule.size()), s.threads, [&](int k) {
        const Cycle cycle = schedule[k];
        const auto due = origin + std::chrono::milliseconds(cycle.dueMs);
        std::this_thread::sleep_until(due);
        double keepAliveMs = 0;
        double onlineMs = 0;
        bool ok = true;
        {
            httplib::Client client("127.0.0.1", port);
            auto reply = client.Post("/app2/iamup.aspx", keepAliveBody(cycle.client),
                                     "application/x-www-form-urlencoded");
            keepAliveMs = std::chrono::duration<double, std::milli>(Clock::now() - due).count();
            ok = reply && reply->body == "+";
        }
        const auto onlineStart = Clock::now();
        {
            httplib::Client client("127.0.0.1", port);
            auto reply = client.Post("/app2/getuserlist.aspx", onlineBody(cycle.client, s),
                                     "application/x-www-form-urlencoded");
            onlineMs =
                std::chrono::duration<double, std::milli>(Clock::now() - onlineStart).count();
            ok = ok && reply && reply->body.rfind("<?xml", 0) == 0 &&
                 count(reply->body, "<buddy>") == static_cast<std::size_t>(s.buddies);
        }
        std::lock_guard lock(resultsLock);
        latencies.push_back(keepAliveMs);
        latencies.push_back(onlineMs);
        errors += ok ? 0 : 1;
    });
    const double elapsed = std::chrono::duration<double>(Clock::now() - origin).count();

    std::sort(latencies.begin(), latencies.end());
    const double p50 = percentile(latencies, 0.50);
    const double p99 = percentile(latencies, 0.99);
    std::printf(
        "cycle: %d clients, %zu requests in %.1f s: %.1f requests/s, "
        "p50 %.2f ms, p99 %.2f ms, max %.2f ms, %d failed cycles\n",
        s.clients, latencies.size(), elapsed, latencies.size() / elapsed, p50, p99,
        latencies.empty() ? 0.0 : latencies.back(), errors);
    std::printf("target p99 < 50 ms: %s\n", p99 < 50.0 ? "met" : "missed");

    service->stop();
    std::filesystem::remove_all(folder);
    return errors == 0 && loginFailures == 0 ? 0 : 1;
}
