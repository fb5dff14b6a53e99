// Costs of the voice engine on this machine: the mixer pass by conference size, the
// listener's relay rate, the receive path per voice packet, the mouth-to-ear delay between
// two engines, and the CPU and memory of a call between two ostrel-cli processes.
// ENGINE_BENCH_CALL_SECONDS shortens the call (default 60).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sndfile.h>

#include "audio/FileBackend.h"
#include "audio/SpeechCodec.h"
#include "engine/NetCore.h"
#include "engine/VoiceSession.h"
#include "engine/VoiceStreams.h"
#include "platform/Platform.h"
#include "platform/UdpSocket.h"
#include "sync/CSWMRG.h"

using namespace ostrel;
using namespace ostrel::engine;
using Clock = std::chrono::steady_clock;
using platform::SocketAddress;
using platform::UdpSocket;

namespace {

class QuietSink : public EngineSink {
public:
    void log(std::string_view) override {}
    void notify(Notification n) override {
        if (n.code == NotificationCode::IncomingCall ||
            n.code == NotificationCode::IncomingCallInCall) {
            std::get<IncomingCallRequest*>(n.parameter)->respond(IncomingCallRequest::kAccept);
        }
        if (onNotify) {
            onNotify(n);
        }
    }
    std::function<void(const Notification&)> onNotify;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double threadCpuMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

double microsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

std::vector<int16_t> speechLike(size_t n, double phase = 0) {
    std::vector<int16_t> pcm(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / 8000.0 + phase;
        pcm[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 240 * t) +
                                      3000 * std::sin(2 * M_PI * 1300 * t));
    }
    return pcm;
}

// Adds `count` connected incoming sessions whose remote peer is `peer`.
std::vector<SessionId> addSessions(NetCore& core, size_t count, const SocketAddress& peer) {
    std::vector<SessionId> ids;
    sync::WriteLock lock(core.sessionGuard());
    for (size_t i = 0; i < count; ++i) {
        auto s = std::make_unique<VoiceSession>(core, SessionType::Incoming, peer);
        s->setPeer("peer" + std::to_string(i), "bench", 6);
        s->markConnected();
        ids.push_back(s->id());
        core.appendSessionLocked(std::move(s));
    }
    return ids;
}

void mixerTable() {
    std::printf("mixer pass (sessions incl. local; each remote one gets its own GSM encode)\n");
    std::printf("| sessions | us per pass (CPU) | us per pass (wall) |\n|---|---|---|\n");
    audio::FileBackend silent("", "");
    UdpSocket drain;
    drain.bind(SocketAddress::loopback(0));
    const SocketAddress peer = *drain.localAddress();
    const auto pcm = speechLike(kBlockSamples);
    for (size_t n : {2, 4, 8, 16, 32, 64}) {
        QuietSink sink;
        NetCore core("bench", 0, sink, "bench", 6, {}, &silent);
        addSessions(core, n - 1, peer);
        std::vector<double> times, cpu;
        for (int pass = 0; pass < 150; ++pass) {
            core.forEachSession([&](VoiceSession& s) {
                auto block = std::make_unique<PcmBlockBuffer>();
                std::copy(pcm.begin(), pcm.end(), block->begin());
                s.pcmQueue().push(std::move(block));
            });
            const auto start = Clock::now();
            const double cpuStart = threadCpuMicros();
            core.voiceStreams().mixerPass();
            cpu.push_back(threadCpuMicros() - cpuStart);
            times.push_back(microsSince(start));
        }
        std::printf("| %zu | %.0f | %.0f |\n", n, median(cpu), median(times));
        core.stop();
    }
    std::printf("\n");
}

// CPU nanoseconds used so far by this process's thread named `name` (first 15 characters).
double threadCpuNanosByName(const std::string& name) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::FILE* comm = std::fopen((task.path() / "comm").c_str(), "r");
        char buffer[64] = {};
        if (comm == nullptr) {
            continue;
        }
        const bool read = std::fgets(buffer, sizeof buffer, comm) != nullptr;
        std::fclose(comm);
        std::string n = read ? buffer : "";
        if (!n.empty() && n.back() == '\n') {
            n.pop_back();
        }
        if (n != name.substr(0, 15)) {
            continue;
        }
        std::FILE* stat = std::fopen((task.path() / "schedstat").c_str(), "r");
        unsigned long long ns = 0;
        if (stat != nullptr) {
            if (std::fscanf(stat, "%llu", &ns) != 1) {
                ns = 0;
            }
            std::fclose(stat);
        }
        return double(ns);
    }
    return 0;
}

struct RelayRun {
    double offered = 0;
    double relayed = 0;
    double listenerMicros = 0;  // listener CPU per relayed datagram
};

// The remote peer sends voice packets to the listening port at `rate` per second (0: as fast
// as it can) for two seconds; the local session's socket counts what the listener relays.
RelayRun relayRun(double rate) {
    audio::FileBackend silent("", "");
    QuietSink sink;
    NetCore core("bench", 0, sink, "bench", 6, {}, &silent);
    UdpSocket remote;
    remote.bind(SocketAddress::loopback(0));
    addSessions(core, 1, *remote.localAddress());
    UdpSocket* session = nullptr;
    core.forEachSession([&](VoiceSession& s) {
        if (s.type() == SessionType::Incoming) {
            session = &s.socket();
        }
    });
    const SocketAddress listener = SocketAddress::loopback(core.listeningPort());
    SessionMessage packet(MSG_VOICE, kVoicePayloadSize);

    std::atomic<bool> sending{true};
    std::atomic<uint64_t> sent{0};
    // The peer and the session's reader batch their system calls too, so that as much of
    // the two cores as possible is left to the listener.
    std::thread sender([&] {
        const std::vector<UdpSocket::Outgoing> burst(
            16, UdpSocket::Outgoing{listener, packet.data(), packet.size()});
        const auto begin = Clock::now();
        uint64_t count = 0;
        while (sending.load()) {
            if (rate > 0 && double(count) > rate * microsSince(begin) / 1e6) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
            count += remote.sendMany(burst);
            sent.store(count);
        }
    });
    uint64_t relayed = 0;
    std::vector<uint8_t> buffers(32 * kReceiveBufferSize);
    std::vector<UdpSocket::Slot> slots(32);
    for (size_t i = 0; i < slots.size(); ++i) {
        slots[i].buffer = buffers.data() + i * kReceiveBufferSize;
        slots[i].capacity = kReceiveBufferSize;
    }
    const double listenerStart = threadCpuNanosByName("Server Thread for Netcore");
    const uint64_t sentStart = sent.load();
    const auto start = Clock::now();
    while (microsSince(start) < 2e6) {
        const size_t got = session->receiveMany(slots);
        if (got > 0) {
            relayed += got;
        } else {
            session->waitReadable(100);
        }
    }
    const double seconds = microsSince(start) / 1e6;
    const double listenerCpu =
        (threadCpuNanosByName("Server Thread for Netcore") - listenerStart) / 1e9;
    const uint64_t offered = sent.load() - sentStart;
    sending.store(false);
    sender.join();
    core.stop();
    return RelayRun{double(offered) / seconds, double(relayed) / seconds,
                    relayed > 0 ? listenerCpu * 1e6 / double(relayed) : 0.0};
}

void relayTable() {
    // On two cores the sender, the listener and the reader share the machine; the
    // listener's own CPU time per datagram gives the rate one core of relaying sustains.
    std::printf("listener relay, remote peer to local session, 349-byte datagrams\n");
    std::printf(
        "| offered per s | relayed per s | lost | listener CPU per datagram | relay rate per "
        "core |\n|---|---|---|---|---|\n");
    for (double rate : {50000.0, 100000.0, 150000.0, 200000.0, 0.0}) {
        const RelayRun run = relayRun(rate);
        std::printf("| %.0f%s | %.0f | %.1f %% | %.2f us | %.0f per s |\n", run.offered,
                    rate > 0 ? "" : " (unpaced)", run.relayed,
                    run.offered > 0 ? std::max(0.0, 100.0 * (1 - run.relayed / run.offered)) : 0.0,
                    run.listenerMicros, run.listenerMicros > 0 ? 1e6 / run.listenerMicros : 0.0);
    }
    std::printf("\n");
}

void receiveTable() {
    audio::FileBackend silent("", "");
    QuietSink sink;
    NetCore core("bench", 0, sink, "bench", 6, {}, &silent);
    UdpSocket sender;
    sender.bind(SocketAddress::loopback(0));
    addSessions(core, 1, *sender.localAddress());
    VoiceSession* session = nullptr;
    core.forEachSession([&](VoiceSession& s) {
        if (s.type() == SessionType::Incoming) {
            session = &s;
        }
    });
    auto codec = audio::SpeechCodec::create();
    const auto pcm = speechLike(kBlockSamples);
    uint32_t sequence = 1;
    std::vector<double> times;
    for (int i = 0; i < 2000; ++i) {
        SessionMessage voice(MSG_VOICE);
        codec->encodeMessage(pcm.data(), pcm.size(), voice);
        voice.appendVoiceTrailer(sequence);
        sender.sendTo(session->ownAddress(), voice.data(), voice.size());
        session->socket().waitReadable(100);
        const auto start = Clock::now();
        core.voiceStreams().receivePass(0);
        times.push_back(microsSince(start));
        session->pcmQueue().pop();
    }
    std::printf("receive path, one voice packet: poll, read, sequence check, GSM decode, queue\n");
    std::printf("| us per packet |\n|---|\n| %.0f |\n\n", median(times));
    core.stop();
}

void writeWav(const std::string& path, const std::vector<int16_t>& s) {
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    sf_write_short(f, s.data(), static_cast<sf_count_t>(s.size()));
    sf_close(f);
}

std::vector<int16_t> readWav(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) {
        return {};
    }
    std::vector<int16_t> s(static_cast<size_t>(info.frames));
    sf_read_short(f, s.data(), static_cast<sf_count_t>(s.size()));
    sf_close(f);
    return s;
}

void delayTable(const std::string& folder) {
    // A steady tone (so that every block is sent and B plays without gaps) with a loud click
    // three seconds in.
    constexpr double kClickAt = 3.0;
    std::vector<int16_t> mic(8000 * 6);
    for (size_t i = 0; i < mic.size(); ++i) {
        mic[i] = static_cast<int16_t>(4000 * std::sin(2 * M_PI * 300 * double(i) / 8000));
    }
    for (size_t i = 0; i < 160; ++i) {
        mic[static_cast<size_t>(kClickAt * 8000) + i] =
            static_cast<int16_t>(30000 * std::sin(2 * M_PI * 1500 * double(i) / 8000));
    }
    const std::string a = folder + "/a-mic.wav", b = folder + "/b-played.wav";
    writeWav(a, mic);
    audio::FileBackend aAudio(a, ""), bAudio("", b);
    std::mutex m;
    Clock::time_point aClickSent{}, bClickWritten{};
    const auto hasClick = [](const PcmBlock& b) {
        return std::any_of(b.samples.begin(), b.samples.end(),
                           [](int16_t x) { return std::abs(x) > 15000; });
    };
    QuietSink aSink, bSink;
    aSink.onNotify = [&](const Notification& n) {
        std::lock_guard lock(m);
        if (n.code == NotificationCode::VoiceSent && aClickSent == Clock::time_point{} &&
            hasClick(std::get<PcmBlock>(n.parameter))) {
            aClickSent = Clock::now();
        }
    };
    bSink.onNotify = [&](const Notification& n) {
        if (n.code != NotificationCode::VoicePlayed) {
            return;
        }
        std::lock_guard lock(m);
        const auto now = Clock::now();
        if (hasClick(std::get<PcmBlock>(n.parameter)) && bClickWritten == Clock::time_point{}) {
            bClickWritten = now;
        }
    };
    NetCore aCore("a", 0, aSink, "a", 6, {}, &aAudio);
    NetCore bCore("b", 0, bSink, "b", 6, {}, &bAudio);
    // The file speaker writes 20 ms pieces at the real pace, so the moment the click shows
    // up in B's playback file is the moment B's speaker plays it.
    std::atomic<bool> watching{true};
    Clock::time_point clickHeard{};
    std::thread watcher([&] {
        while (watching.load() && clickHeard == Clock::time_point{}) {
            const auto played = readWav(b);
            if (std::any_of(played.begin(), played.end(),
                            [](int16_t x) { return std::abs(x) > 15000; })) {
                clickHeard = Clock::now();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    ConnectionRequest r;
    r.address = "127.0.0.1";
    r.port = bCore.listeningPort();
    aCore.connect(r);
    std::this_thread::sleep_for(std::chrono::milliseconds(5000));
    watching.store(false);
    watcher.join();
    aCore.stop();
    bCore.stop();
    std::lock_guard lock(m);
    if (clickHeard == Clock::time_point{} || aClickSent == Clock::time_point{} ||
        bClickWritten == Clock::time_point{}) {
        std::printf("mouth-to-ear delay: click not found\n\n");
        return;
    }
    // The click opens a 200 ms block, which is complete (and sent) 200 ms after the click.
    const auto clickSpoken = aClickSent - std::chrono::milliseconds(200);
    const auto ms = [&](Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(t - clickSpoken).count();
    };
    std::printf(
        "mouth-to-ear delay on loopback (click in A's capture file, found in B's playback)\n");
    std::printf("| to B's playback device | to B's ear |\n|---|---|\n| %.0f ms | %.0f ms |\n\n",
                ms(bClickWritten), ms(clickHeard));
}

struct ChildUsage {
    double cpuSeconds = 0;
    long maxRssKiB = 0;
    int status = -1;
};

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<char*> argv, envp;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    for (const auto& e : env) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

ChildUsage reap(pid_t pid) {
    ChildUsage u;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) == pid) {
        u.cpuSeconds = double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) / 1e6 +
                       double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) / 1e6;
        u.maxRssKiB = usage.ru_maxrss;
        u.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return u;
}

void callTable(const std::string& folder) {
    const char* env = std::getenv("ENGINE_BENCH_CALL_SECONDS");
    const int seconds = env != nullptr ? std::max(5, std::atoi(env)) : 60;
    writeWav(folder + "/a.wav", speechLike(8000 * size_t(seconds + 5)));
    writeWav(folder + "/b.wav", speechLike(8000 * size_t(seconds + 5), 0.37));
    const std::string cli = CLI_PROGRAM;
    const std::string portB = "17841", portA = "17840";
    const pid_t b =
        spawn({cli, "--port", portB, "--user", "bob", "--seconds", std::to_string(seconds + 2)},
              {"OSTREL_CAPTURE_FILE=" + folder + "/b.wav",
               "OSTREL_PLAYBACK_FILE=" + folder + "/b-out.wav"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const pid_t a = spawn({cli, "--port", portA, "--user", "alice", "--call", "127.0.0.1:" + portB,
                           "--seconds", std::to_string(seconds)},
                          {"OSTREL_CAPTURE_FILE=" + folder + "/a.wav",
                           "OSTREL_PLAYBACK_FILE=" + folder + "/a-out.wav"});
    const ChildUsage ua = reap(a);
    const ChildUsage ub = reap(b);
    std::printf(
        "%d-second two-party call between two ostrel-cli processes (file audio, "
        "speech-like tones both ways)\n",
        seconds);
    std::printf("| process | CPU s per minute of call | peak RSS | exit |\n|---|---|---|---|\n");
    std::printf("| caller | %.3f | %.1f MiB | %d |\n", ua.cpuSeconds * 60 / seconds,
                double(ua.maxRssKiB) / 1024, ua.status);
    std::printf("| callee | %.3f | %.1f MiB | %d |\n\n", ub.cpuSeconds * 60 / (seconds + 2),
                double(ub.maxRssKiB) / 1024, ub.status);
}

}  // namespace

// With arguments, only the named tables run: mixer, receive, relay, delay, call.
int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    std::string folder = (std::filesystem::temp_directory_path() / "engine-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        return 1;
    }
    const std::vector<std::string> only(argv + 1, argv + argc);
    const auto wanted = [&](const char* name) {
        return only.empty() || std::find(only.begin(), only.end(), name) != only.end();
    };
    if (wanted("mixer")) {
        mixerTable();
    }
    if (wanted("receive")) {
        receiveTable();
    }
    if (wanted("relay")) {
        relayTable();
    }
    if (wanted("delay")) {
        delayTable(folder);
    }
    if (wanted("call")) {
        callTable(folder);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
