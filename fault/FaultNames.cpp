#include "fault/FaultNames.h"

#include <signal.h>

#include <cstring>

namespace ostrel::fault {

namespace {

const char* systemDescription(int signo) noexcept {
    // sigdescr_np indexes the C library's untranslated table: no locale, no allocation.
    const char* text = sigdescr_np(signo);
    return text != nullptr ? text : "Unknown signal";
}

const char* segvName(int code, bool stackOverflow) noexcept {
    if (stackOverflow) {
        return "STACK_OVERFLOW";
    }
#ifdef SEGV_BNDERR
    if (code == SEGV_BNDERR) {
        return "ARRAY_BOUNDS_EXCEEDED";
    }
#endif
    // SEGV_MAPERR, SEGV_ACCERR, SEGV_PKUERR and SI_KERNEL (a general-protection fault, such as
    // a non-canonical address) are all what Windows calls an access violation.
    return "ACCESS_VIOLATION";
}

const char* busName(int signo, int code) noexcept {
    switch (code) {
        case BUS_ADRALN:
            return "DATATYPE_MISALIGNMENT";
        case BUS_ADRERR:  // a mapped file page that does not exist any more
        case BUS_OBJERR:
            return "IN_PAGE_ERROR";
        default:
            return systemDescription(signo);  // machine-check memory errors
    }
}

const char* illName(int signo, int code) noexcept {
    switch (code) {
        case ILL_ILLOPC:
        case ILL_ILLOPN:  // ud2 arrives as this one
        case ILL_ILLADR:
        case ILL_ILLTRP:
            return "ILLEGAL_INSTRUCTION";
        case ILL_PRVOPC:
        case ILL_PRVREG:
            return "PRIV_INSTRUCTION";
        default:
            return systemDescription(signo);
    }
}

const char* fpeName(int signo, int code) noexcept {
    switch (code) {
        case FPE_INTDIV:
            return "INT_DIVIDE_BY_ZERO";
        case FPE_INTOVF:
            return "INT_OVERFLOW";
        case FPE_FLTDIV:
            return "FLT_DIVIDE_BY_ZERO";
        case FPE_FLTOVF:
            return "FLT_OVERFLOW";
        case FPE_FLTUND:
            return "FLT_UNDERFLOW";
        case FPE_FLTRES:
            return "FLT_INEXACT_RESULT";
        case FPE_FLTINV:
            return "FLT_INVALID_OPERATION";
        case FPE_FLTSUB:
            return "ARRAY_BOUNDS_EXCEEDED";
        default:
            return systemDescription(signo);
    }
}

}  // namespace

uint32_t faultCode(int signo, int code) noexcept {
    return (static_cast<uint32_t>(signo) << 16) | (static_cast<uint32_t>(code) & 0xFFFFu);
}

const char* faultName(int signo, int code, bool stackOverflow) noexcept {
    switch (signo) {
        case SIGSEGV:
            return segvName(code, stackOverflow);
        case SIGBUS:
            return busName(signo, code);
        case SIGILL:
            return illName(signo, code);
        case SIGFPE:
            return fpeName(signo, code);
        case SIGTRAP:
            // int3 arrives with SI_KERNEL on x86-64, hardware breakpoints with TRAP_BRKPT.
            return code == TRAP_TRACE ? "SINGLE_STEP" : "BREAKPOINT";
        default:
            return systemDescription(signo);
    }
}

}  // namespace ostrel::fault
