#include "fault/FaultContext.h"

#include <ucontext.h>

namespace ostrel::fault {

FaultContext FaultContext::fromSignal(int signo, const siginfo_t* info,
                                      const void* ucontext) noexcept {
    FaultContext c;
    c.signo = signo;
    if (info != nullptr) {
        c.code = info->si_code;
        c.dataAddress = reinterpret_cast<uintptr_t>(info->si_addr);
    }
    if (ucontext == nullptr) {
        return c;
    }
    const greg_t* r = static_cast<const ucontext_t*>(ucontext)->uc_mcontext.gregs;
    const auto reg = [r](int index) { return static_cast<uint64_t>(r[index]); };
    c.rax = reg(REG_RAX);
    c.rbx = reg(REG_RBX);
    c.rcx = reg(REG_RCX);
    c.rdx = reg(REG_RDX);
    c.rsi = reg(REG_RSI);
    c.rdi = reg(REG_RDI);
    c.r8 = reg(REG_R8);
    c.r9 = reg(REG_R9);
    c.r10 = reg(REG_R10);
    c.r11 = reg(REG_R11);
    c.r12 = reg(REG_R12);
    c.r13 = reg(REG_R13);
    c.r14 = reg(REG_R14);
    c.r15 = reg(REG_R15);
    c.rip = reg(REG_RIP);
    c.rsp = reg(REG_RSP);
    c.rbp = reg(REG_RBP);
    c.rflags = reg(REG_EFL);
    // The kernel saves cs, gs, fs and ss as four 16-bit fields of one word.
    const uint64_t selectors = reg(REG_CSGSFS);
    c.cs = static_cast<uint16_t>(selectors);
    c.gs = static_cast<uint16_t>(selectors >> 16);
    c.fs = static_cast<uint16_t>(selectors >> 32);
    c.ss = static_cast<uint16_t>(selectors >> 48);
    // ds and es are not saved in a 64-bit signal frame; delivery does not change them, so the
    // handler's own values are those of the faulting code.
    uint16_t ds = 0;
    uint16_t es = 0;
    asm volatile("mov %%ds, %0" : "=r"(ds));
    asm volatile("mov %%es, %0" : "=r"(es));
    c.ds = ds;
    c.es = es;
    return c;
}

}  // namespace ostrel::fault
