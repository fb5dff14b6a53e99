// The machine state of a fault as the report prints it: the signal, its code and data
// address, and the x86-64 registers at full width. Filled from a signal's ucontext_t inside
// the handler (async-signal-safe), or by hand in tests.
#pragma once

#include <signal.h>

#include <cstdint>

namespace ostrel::fault {

struct FaultContext {
    int signo = 0;
    int code = 0;
    uintptr_t dataAddress = 0;  // si_addr: the address whose access faulted

    uint64_t rax = 0, rbx = 0, rcx = 0, rdx = 0, rsi = 0, rdi = 0;
    uint64_t r8 = 0, r9 = 0, r10 = 0, r11 = 0, r12 = 0, r13 = 0, r14 = 0, r15 = 0;
    uint64_t rip = 0, rsp = 0, rbp = 0, rflags = 0;
    uint16_t cs = 0, ss = 0, ds = 0, es = 0, fs = 0, gs = 0;

    static FaultContext fromSignal(int signo, const siginfo_t* info, const void* ucontext) noexcept;
};

}  // namespace ostrel::fault
