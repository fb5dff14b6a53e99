#include "fault/CrashHandler.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>

#include "app/settings/Settings.h"
#include "fault/CrashReportWriter.h"
#include "fault/FaultContext.h"
#include "fault/ThreadStacks.h"
#include "platform/Platform.h"
#include "sync/CWorkerThread.h"

extern char** environ;

namespace ostrel::fault {

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT};

std::atomic<CrashHandler*> activeHandler{nullptr};
// Set by the first crashing thread; any other thread that crashes meanwhile waits for it
// to end the process.
std::atomic<bool> handling{false};
ThreadStacks knownStacks;

// A thread's alternate stack and its entry in knownStacks, released when the thread ends.
struct ThreadArming {
    void* stack = nullptr;
    size_t length = 0;
    pid_t tid = 0;

    ~ThreadArming() {
        if (tid != 0) {
            knownStacks.remove(tid);
        }
        if (stack == nullptr) {
            return;
        }
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == base()) {
            if ((current.ss_flags & SS_ONSTACK) != 0) {
                return;  // still in use: leave it mapped
            }
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
        }
        munmap(stack, length);
    }
    void* base() const { return static_cast<char*>(stack) + sysconf(_SC_PAGESIZE); }
};
thread_local ThreadArming threadArming;

void armWorkerThread() {
    CrashHandler::armCurrentThread();
}

void sleepMs(unsigned ms) noexcept {
    timespec delay{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}

// Excludes other processes' crash handlers from the same file (two clients crashing in the
// same second). Gives up after two seconds and writes anyway rather than hang the crash.
void lockReport(int fd) noexcept {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (fcntl(fd, F_SETLK, &lock) == 0) {
            return;
        }
        sleepMs(10);
    }
}

[[noreturn]] void endProcess(int signo) noexcept {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signo, &fallback, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signo);
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    raise(signo);
    _exit(128 + signo);
}

void appendQuoted(std::string& out, const char* text) {
    out += '"';
    out += text;
    out += '"';
}

}  // namespace

CrashHandler::~CrashHandler() {
    uninstall();
}

bool CrashHandler::install() {
    return install(CrashValues::prepare());
}

bool CrashHandler::install(const CrashValues& values) {
    CrashHandler* expected = nullptr;
    if (installed_ || !activeHandler.compare_exchange_strong(expected, this)) {
        return false;
    }
    reportPath_.set(values.reportPath);
    reporterPath_.set(values.reporterPath);
    application_.set(values.application);
    version_.set(values.version);
    build_.set(values.build);
    server_.set(values.server);
    serverPath_.set(values.serverPath);
    modules_.refresh();

    if (posix_spawnattr_init(&spawnAttributes_) == 0) {
        // The reporter starts with no signal blocked (the handler blocks the crash signals)
        // and every signal at its default, in a session of its own so it outlives the client.
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        sigdelset(&all, SIGKILL);
        sigdelset(&all, SIGSTOP);
        posix_spawnattr_setsigmask(&spawnAttributes_, &none);
        posix_spawnattr_setsigdefault(&spawnAttributes_, &all);
        posix_spawnattr_setflags(
            &spawnAttributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
        spawnAttributesReady_ = true;
    }

    armCurrentThread();
    struct sigaction action {};
    action.sa_sigaction = &CrashHandler::onSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signo : kCrashSignals) {
        sigaddset(&action.sa_mask, signo);  // no second crash signal while the report is written
    }
    for (size_t i = 0; i < std::size(kCrashSignals); ++i) {
        if (sigaction(kCrashSignals[i], &action, &previous_[i]) != 0) {
            for (size_t j = 0; j < i; ++j) {
                sigaction(kCrashSignals[j], &previous_[j], nullptr);
            }
            activeHandler.store(nullptr);
            return false;
        }
    }
    installed_ = true;
    sync::CWorkerThread::SetStartHook(armWorkerThread);
    platform::trace("Crash reporter: " + reporterCommandLine());
    return true;
}

void CrashHandler::uninstall() {
    if (!installed_) {
        return;
    }
    sync::CWorkerThread::SetStartHook(nullptr);
    for (size_t i = 0; i < std::size(kCrashSignals); ++i) {
        sigaction(kCrashSignals[i], &previous_[i], nullptr);
    }
    if (spawnAttributesReady_) {
        posix_spawnattr_destroy(&spawnAttributes_);
        spawnAttributesReady_ = false;
    }
    installed_ = false;
    activeHandler.store(nullptr);
}

void CrashHandler::setServer(std::string_view server, std::string_view serverPath) {
    server_.set(server);
    serverPath_.set(serverPath);
    settings::write(settings::value::LastKnownServer, server);
    settings::write(settings::value::LastKnownCrashFileServerPath, serverPath);
}

void CrashHandler::setInstanceGuid(std::string_view guid) {
    instanceGuid_.set(guid);
}

void* CrashHandler::openLibrary(const char* path, int flags) {
    void* library = dlopen(path, flags);
    if (library != nullptr) {
        modules_.refreshIfChanged();
    }
    return library;
}

std::string CrashHandler::reporterCommandLine() const {
    std::string line;
    appendQuoted(line, reporterPath_.get());
    line += " -f ";
    appendQuoted(line, reportPath_.get());
    line += " -v ";
    line += version_.get();
    line += " -b ";
    line += build_.get();
    line += " -s ";
    appendQuoted(line, server_.get());
    line += " -p ";
    appendQuoted(line, serverPath_.get());
    line += " -a ";
    appendQuoted(line, application_.get());
    line += "  -i ";
    line += instanceGuid_.get();
    return line;
}

bool CrashHandler::armCurrentThread() {
    ThreadArming& arming = threadArming;
    if (arming.stack == nullptr) {
        // One guard page below the stack: an overflow of the handler itself ends the process
        // instead of running into other memory.
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t length = kAlternateStackSize + page;
        void* block =
            mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) {
            return false;
        }
        mprotect(block, page, PROT_NONE);
        arming.stack = block;
        arming.length = length;
        stack_t alternate{};
        alternate.ss_sp = arming.base();
        alternate.ss_size = kAlternateStackSize;
        if (sigaltstack(&alternate, nullptr) != 0) {
            munmap(block, length);
            arming.stack = nullptr;
            return false;
        }
    }
    uintptr_t low = 0;
    uintptr_t high = 0;
    uintptr_t guard = 0;
    if (ThreadStacks::currentThreadStack(low, high, guard)) {
        arming.tid = gettid();
        knownStacks.add(arming.tid, low, high, guard);
    }
    return true;
}

void CrashHandler::onSignal(int signo, siginfo_t* info, void* ucontext) {
    if (CrashHandler* self = activeHandler.load()) {
        if (handling.exchange(true)) {
            for (;;) {
                sleepMs(1000);
            }
        }
        self->handle(signo, info, ucontext);
    }
    endProcess(signo);
}

void CrashHandler::handle(int signo, siginfo_t* info, void* ucontext) noexcept {
    const FaultContext fault = FaultContext::fromSignal(signo, info, ucontext);
    const bool overflow =
        signo == SIGSEGV && knownStacks.isOverflow(gettid(), fault.dataAddress, fault.rsp);

    const int fd = open(reportPath_.get(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;  // no report, so no reporter either
    }
    lockReport(fd);
    CrashReportWriter(modules_, memory_).write(fd, fault, overflow);
    fsync(fd);
    close(fd);

    sleepMs(kReporterDelayMs);
    startReporter();
}

void CrashHandler::startReporter() noexcept {
    const char* arguments[] = {
        reporterPath_.get(), "-f", reportPath_.get(),   "-v",    version_.get(),    "-b",
        build_.get(),        "-s", server_.get(),       "-p",    serverPath_.get(), "-a",
        application_.get(),  "-i", instanceGuid_.get(), nullptr,
    };
    pid_t child = 0;
    // If it cannot start, the client still ends and the report stays in the Logs folder.
    posix_spawn(&child, reporterPath_.get(), nullptr,
                spawnAttributesReady_ ? &spawnAttributes_ : nullptr,
                const_cast<char* const*>(arguments), environ);
}

}  // namespace ostrel::fault
