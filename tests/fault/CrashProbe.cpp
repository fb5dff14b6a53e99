// Installs the crash handler and crashes in the way its first argument names.
//   crash_probe WAY PROGRAM_FOLDER REPORTER [GUID]
// PROGRAM_FOLDER stands for the client's folder (the Logs folder goes there), REPORTER is the
// program to start; OSTREL_PROBE_TIME=<seconds> fixes the start-up time. Prints the report
// path before it crashes.
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "fault/CrashHandler.h"
#include "platform/Platform.h"
#include "sync/CWorkerThread.h"

using ostrel::fault::CrashHandler;
using ostrel::fault::CrashValues;

namespace {
CrashHandler handler;
}

extern "C" {

__attribute__((noinline)) void probeNullWrite() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

__attribute__((noinline)) int probeDivide() {
    volatile int one = 1;  // a known numerator would let the compiler avoid the division
    volatile int zero = 0;
    return one / zero;
}

// Never reached; keeps the compiler from treating the recursion as endless.
volatile int recursionLimit = -1;

__attribute__((noinline)) int probeRecurse(int depth) {
    if (depth == recursionLimit) {
        return 0;
    }
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    return probeRecurse(depth + 1) + pad[0];
}

__attribute__((noinline)) void probeBadFramePointer() {
    // rbp is overwritten and the store through it faults at once.
    asm volatile("movq $0x10, %%rbp\n\tmovl $1, 0(%%rbp)" ::: "memory");
}

// The stack slot gives these functions a frame of their own (a leaf without one would be
// skipped by the walk, as it is in any frame-pointer walk).
__attribute__((noinline)) void probeIllegal() {
    volatile int slot = 1;
    asm volatile("ud2" : : "r"(slot));
}

__attribute__((noinline)) void probeBreakpoint() {
    volatile int slot = 1;
    asm volatile("int3" : : "r"(slot));
}

__attribute__((noinline)) int probeInLibrary() {
    const std::string path =
        ostrel::platform::joinPath(ostrel::platform::programFolder(), "libfault_probe_library.so");
    void* library = handler.openLibrary(path.c_str(), RTLD_NOW);
    if (library == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 3;
    }
    auto write = reinterpret_cast<void (*)(volatile int*)>(dlsym(library, "faultProbeWrite"));
    write(nullptr);
    return 0;
}

__attribute__((noinline)) int probeThreadOverflow() {
    ostrel::sync::CWorkerThread worker([](void*) -> uint32_t { return probeRecurse(0); }, nullptr,
                                       "Overflow Thread");
    worker.Start(false);
    worker.Wait(ostrel::sync::kInfinite);
    return 4;
}

__attribute__((noinline)) int runWay(const char* way) {
    if (std::strcmp(way, "null-write") == 0) {
        probeNullWrite();
    } else if (std::strcmp(way, "divide-by-zero") == 0) {
        return probeDivide();
    } else if (std::strcmp(way, "library") == 0) {
        return probeInLibrary();
    } else if (std::strcmp(way, "bad-frame-pointer") == 0) {
        probeBadFramePointer();
    } else if (std::strcmp(way, "stack-overflow") == 0) {
        return probeRecurse(0);
    } else if (std::strcmp(way, "thread-stack-overflow") == 0) {
        return probeThreadOverflow();
    } else if (std::strcmp(way, "illegal-instruction") == 0) {
        probeIllegal();
    } else if (std::strcmp(way, "breakpoint") == 0) {
        probeBreakpoint();
    } else if (std::strcmp(way, "abort") == 0) {
        std::abort();
    }
    return 5;
}

}  // extern "C"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: crash_probe WAY PROGRAM_FOLDER REPORTER [GUID]\n");
        return 2;
    }
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);

    std::time_t start = std::time(nullptr);
    if (const char* fixed = std::getenv("OSTREL_PROBE_TIME")) {
        start = static_cast<std::time_t>(std::strtoll(fixed, nullptr, 10));
    }
    CrashValues values = CrashValues::prepare(argv[2], start);
    values.reporterPath = argv[3];
    if (!handler.install(values)) {
        std::fprintf(stderr, "install failed\n");
        return 2;
    }
    if (argc > 4) {
        handler.setInstanceGuid(argv[4]);
    }
    std::printf("%s\n", values.reportPath.c_str());
    std::fflush(stdout);
    const int result = runWay(argv[1]);
    return 10 + result;
}
