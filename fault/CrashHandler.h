// Fault reporting in the client: on a fatal signal the handler appends a report to the Logs
// folder and starts the problem reporter `ferrule`, then the process ends. The GUI thread
// installs it first thing and calls the setters; the handler runs on the crashing thread.
#pragma once

#include <signal.h>
#include <spawn.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "fault/CrashValues.h"
#include "fault/MemoryProbe.h"
#include "fault/ModuleTable.h"
#include "fault/SignalSafeText.h"

namespace ostrel::fault {

class CrashHandler {
public:
    static constexpr size_t kPathSize = 4096;    // PATH_MAX: a cut path would name no file
    static constexpr size_t kSettingSize = 260;  // the settings' own reader buffers
    static constexpr size_t kShortSize = 64;     // version, build, GUID
    // Big enough for the handler after a stack overflow, with room to spare (at least 64 KiB).
    static constexpr size_t kAlternateStackSize = 256 * 1024;
    // Pause between closing the report and starting the reporter, so the file is complete on
    // disk when the reporter opens it.
    static constexpr unsigned kReporterDelayMs = 100;

    CrashHandler() = default;
    // Uninstalls.
    ~CrashHandler();

    CrashHandler(const CrashHandler&) = delete;
    CrashHandler& operator=(const CrashHandler&) = delete;

    // Stores the values, reads the module table, gives the calling thread its alternate
    // stack and installs the handlers for SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP and SIGABRT
    // (the earlier ones are kept for uninstall). Every CWorkerThread started afterwards arms
    // itself. False when a handler is installed already or the system refuses.
    bool install(const CrashValues& values);
    bool install();  // with CrashValues::prepare()
    // Restores the handlers that were installed before.
    void uninstall();
    bool isInstalled() const { return installed_; }

    // The service directory named the report server: keep both for the reporter and store
    // them as "LastKnownServer" and "LastKnownCrashFileServerPath".
    void setServer(std::string_view server, std::string_view serverPath);
    // The running client's instance GUID; empty until set.
    void setInstanceGuid(std::string_view guid);

    // The module table is read at install; call this after loading a library.
    void refreshModules() { modules_.refresh(); }
    bool refreshModulesIfChanged() { return modules_.refreshIfChanged(); }
    // dlopen, then the table is read again so a crash in the library names it.
    void* openLibrary(const char* path, int flags);
    const ModuleTable& modules() const { return modules_; }

    // The command line the reporter receives, as text with its quotes (for the trace); the
    // program gets the same values as separate arguments, without quotes.
    std::string reporterCommandLine() const;

    // Gives the calling thread an alternate signal stack and records its stack bounds, so
    // its stack overflows are reported too. Undone when the thread ends. Any thread.
    static bool armCurrentThread();

private:
    static void onSignal(int signo, siginfo_t* info, void* ucontext);
    void handle(int signo, siginfo_t* info, void* ucontext) noexcept;
    void startReporter() noexcept;

    SignalSafeText<kPathSize> reportPath_;
    SignalSafeText<kPathSize> reporterPath_;
    SignalSafeText<kPathSize> application_;
    SignalSafeText<kShortSize> version_;
    SignalSafeText<kShortSize> build_;
    SignalSafeText<kShortSize> instanceGuid_;
    SignalSafeText<kSettingSize> server_;
    SignalSafeText<kSettingSize> serverPath_;

    ModuleTable modules_;
    MemoryProbe memory_;
    struct sigaction previous_[6] = {};
    posix_spawnattr_t spawnAttributes_{};
    bool spawnAttributesReady_ = false;
    bool installed_ = false;
};

}  // namespace ostrel::fault
