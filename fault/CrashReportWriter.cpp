#include "fault/CrashReportWriter.h"

#include "fault/FaultNames.h"
#include "fault/SignalSafeWriter.h"

namespace ostrel::fault {

namespace {

constexpr int kAddressDigits = 16;  // full 64-bit addresses and registers

void registerLine(SignalSafeWriter& out, const char* name, uint64_t value) {
    out.text(name).character(':').hex(value, kAddressDigits).endLine();
}

}  // namespace

bool CrashReportWriter::usableFrame(uint64_t frame) const noexcept {
    // Stack memory: both words readable and writable.
    return memory_.readWrite(frame, 2 * sizeof(uint64_t));
}

bool CrashReportWriter::write(int fd, const FaultContext& fault,
                              bool stackOverflow) const noexcept {
    SignalSafeWriter out(fd);
    out.text("//=====================================================").endLine();
    out.text("Exception code: ")
        .hex(faultCode(fault.signo, fault.code), 8)
        .character(' ')
        .text(faultName(fault.signo, fault.code, stackOverflow))
        .endLine();

    const LogicalAddress where = modules_.resolve(fault.rip);
    out.text("Fault address:  ")
        .hex(fault.rip, kAddressDigits)
        .character(' ')
        .hex(where.section, 2)
        .character(':')
        .hex(where.offset, 8)
        .character(' ')
        .text(where.module)
        .endLine();

    out.endLine().text("Registers:").endLine();
    registerLine(out, "RAX", fault.rax);
    registerLine(out, "RBX", fault.rbx);
    registerLine(out, "RCX", fault.rcx);
    registerLine(out, "RDX", fault.rdx);
    registerLine(out, "RSI", fault.rsi);
    registerLine(out, "RDI", fault.rdi);
    registerLine(out, "R8", fault.r8);
    registerLine(out, "R9", fault.r9);
    registerLine(out, "R10", fault.r10);
    registerLine(out, "R11", fault.r11);
    registerLine(out, "R12", fault.r12);
    registerLine(out, "R13", fault.r13);
    registerLine(out, "R14", fault.r14);
    registerLine(out, "R15", fault.r15);
    out.text("CS:RIP:").hex(fault.cs, 4).character(':').hex(fault.rip, kAddressDigits).endLine();
    out.text("SS:RSP:")
        .hex(fault.ss, 4)
        .character(':')
        .hex(fault.rsp, kAddressDigits)
        .text("  RBP:")
        .hex(fault.rbp, kAddressDigits)
        .endLine();
    out.text("DS:")
        .hex(fault.ds, 4)
        .text("  ES:")
        .hex(fault.es, 4)
        .text("  FS:")
        .hex(fault.fs, 4)
        .text("  GS:")
        .hex(fault.gs, 4)
        .endLine();
    out.text("Flags:").hex(fault.rflags, kAddressDigits).endLine();

    out.endLine().text("Call stack:").endLine();
    out.text("Address           Frame             Logical addr  Module").endLine();
    uint64_t pc = fault.rip;
    uint64_t frame = fault.rbp;
    for (size_t n = 0; n < maxFrames_; ++n) {
        const LogicalAddress logical = modules_.resolve(pc);
        out.hex(pc, kAddressDigits)
            .text("  ")
            .hex(frame, kAddressDigits)
            .text("  ")
            .hex(logical.section, 4)
            .character(':')
            .hex(logical.offset, 8)
            .character(' ')
            .text(logical.module)
            .endLine();
        // A frame holds the caller's frame pointer and then the return address. The first
        // frame pointer comes straight from a register and may be anything, so it is checked
        // before it is read; every later one is checked before it gets a line.
        if (n == 0 && !usableFrame(frame)) {
            break;
        }
        uint64_t words[2];
        if (!memory_.read(frame, words, sizeof words)) {
            break;
        }
        const uint64_t next = words[0];
        pc = words[1];
        if (next % sizeof(uint64_t) != 0 || next <= frame || !usableFrame(next)) {
            break;
        }
        frame = next;
    }
    out.endLine();
    return out.flush();
}

}  // namespace ostrel::fault
