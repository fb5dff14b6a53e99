// ostrel-cli: one voice engine without windows, for tests, benchmarks and headless use.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "engine/NetCore.h"
#include "platform/Platform.h"
#include "tools/CliOptions.h"
#include "tools/CliSink.h"

using namespace ostrel;

namespace {

constexpr int kExitStopped = 0;
constexpr int kExitCallFailed = 1;
constexpr int kExitBadOptions = 2;

// Waits up to `ms` for SIGINT or SIGTERM, which every thread has blocked; true when one came.
bool waitForStopSignal(const sigset_t& signals, int ms) {
    timespec timeout{ms / 1000, (ms % 1000) * 1000000L};
    return sigtimedwait(&signals, nullptr, &timeout) > 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options =
        tools::CliOptions::parse(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "ostrel-cli: %s\n%s", error.c_str(), tools::CliOptions::usage());
        return kExitBadOptions;
    }
    if (options->help) {
        std::fputs(tools::CliOptions::usage(), stdout);
        return kExitStopped;
    }

    // Blocked before any thread starts, so that every engine thread inherits the mask and
    // the signals wait for the main thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    tools::CliSink sink(options->answer, stdout);
    engine::NetCore core(platform::newGuidText(), options->port, sink, options->user);

    std::atomic<bool> callFailed{false};
    std::atomic<bool> callDone{options->callHost.empty()};
    engine::ConnectionRequest request;
    std::thread caller;
    if (!options->callHost.empty()) {
        request.address = options->callHost;
        request.port = options->callPort;
        request.expectedUser = options->expectUser;
        request.confirmUser = !options->expectUser.empty();
        caller = std::thread([&] {
            callFailed.store(!core.connect(request));
            callDone.store(true);
        });
    }

    const uint32_t start = platform::tickCount();
    const uint64_t limitMs = static_cast<uint64_t>(options->seconds) * 1000;
    bool digitsSent = options->dtmf.empty();
    // The main thread only waits: for a stop signal, the end of --seconds, the call becoming
    // active (for --dtmf) or the call failing. A quarter-second step keeps it nearly idle.
    constexpr uint32_t kStepMs = 250;
    for (;;) {
        uint32_t step = kStepMs;
        if (limitMs != 0) {
            const uint32_t elapsed = platform::tickCount() - start;
            if (elapsed >= limitMs) {
                break;
            }
            step = static_cast<uint32_t>(std::min<uint64_t>(step, limitMs - elapsed));
        }
        if (!digitsSent) {
            step = std::min<uint32_t>(step, 50);  // digits go out soon after the call starts
        }
        if (waitForStopSignal(stopSignals, static_cast<int>(step))) {
            break;
        }
        if (!digitsSent && sink.waitCallActive(0)) {
            core.sendDigits(options->dtmf);
            digitsSent = true;
        }
        if (callDone.load() && callFailed.load()) {
            break;  // nothing left to do: the one call we were to make did not happen
        }
    }

    request.requestCancel();
    sink.rejectOpenQuestions();
    core.stop();
    if (caller.joinable()) {
        caller.join();
    }
    return callFailed.load() ? kExitCallFailed : kExitStopped;
}
