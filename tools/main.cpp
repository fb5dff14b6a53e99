// ostrel-cli: one voice engine without windows, for tests, benchmarks and headless use.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "audio/AudioSelection.h"
#include "engine/NetCore.h"
#include "platform/Platform.h"
#include "recording/ConversationRecorder.h"
#include "recording/PlayRecording.h"
#include "tools/CliOptions.h"
#include "tools/CliSink.h"
#include "tools/ServicePresence.h"

using namespace ostrel;

namespace {

constexpr int kExitStopped = 0;
constexpr int kExitCallFailed = 1;
constexpr int kExitBadOptions = 2;

int play(const std::string& path) {
    const auto outcome = recording::playRecording(path, audio::processWaveBackend());
    std::fprintf(stderr, "ostrel-cli: %s: %s (%u blocks heard)\n", path.c_str(),
                 std::string(recording::playOutcomeText(outcome.result)).c_str(),
                 outcome.blocksHeard);
    return outcome.result == recording::PlayOutcome::Played ? kExitStopped : kExitCallFailed;
}

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
    if (!options->playPath.empty()) {
        return play(options->playPath);
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
    // The recorder asks the engine for the conference GUID, and only once blocks arrive,
    // which is after the engine below exists.
    std::unique_ptr<engine::NetCore> netCore;
    std::unique_ptr<recording::ConversationRecorder> recorder;
    if (!options->recordPath.empty()) {
        recorder = std::make_unique<recording::ConversationRecorder>(
            [&netCore] { return netCore->conferenceGuid(); });
        sink.setRecorder(recorder.get());
    }
    const std::string identity = platform::newGuidText();
    netCore = std::make_unique<engine::NetCore>(identity, options->port, sink, options->user);
    engine::NetCore& core = *netCore;

    std::unique_ptr<tools::ServicePresence> presence;
    if (!options->serviceHost.empty()) {
        presence = std::make_unique<tools::ServicePresence>(
            options->serviceHost, options->loginUser, options->loginPassword, identity,
            core.listeningPort(), stderr);
        if (!presence->login()) {
            core.stop();
            return kExitCallFailed;
        }
        presence->keepAlive();
    }

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
        if (recorder && !core.isRecording() && sink.waitCallActive(0)) {
            core.setRecording(true);
        }
        if (callDone.load() && callFailed.load()) {
            break;  // nothing left to do: the one call we were to make did not happen
        }
    }

    request.requestCancel();
    sink.rejectOpenQuestions();
    // The recording is finished while the engine still runs, as the window does at a call's end.
    if (recorder) {
        core.setRecording(false);
        if (!recorder->isStarted()) {
            std::fprintf(stderr, "ostrel-cli: nothing was recorded\n");
        } else if (recorder->save(options->recordPath)) {
            std::fprintf(stderr, "ostrel-cli: recording saved to %s\n",
                         options->recordPath.c_str());
        } else {
            std::fprintf(stderr, "ostrel-cli: the recording could not be saved to %s\n",
                         options->recordPath.c_str());
        }
    }
    if (presence) {
        presence->logoff();
    }
    core.stop();
    if (caller.joinable()) {
        caller.join();
    }
    return callFailed.load() ? kExitCallFailed : kExitStopped;
}
