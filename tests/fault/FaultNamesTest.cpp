#include "fault/FaultNames.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <string>

using namespace ostrel::fault;

namespace {

struct NameCase {
    int signo;
    int code;
    bool overflow;
    const char* name;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.signo << "/" << c.code << (c.overflow ? " overflow" : "");
}

class FaultNames : public ::testing::TestWithParam<NameCase> {};

}  // namespace

TEST_P(FaultNames, NameTheFault) {
    const NameCase& c = GetParam();
    EXPECT_STREQ(faultName(c.signo, c.code, c.overflow), c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, FaultNames,
    ::testing::Values(NameCase{SIGSEGV, SEGV_MAPERR, false, "ACCESS_VIOLATION"},
                      NameCase{SIGSEGV, SEGV_ACCERR, false, "ACCESS_VIOLATION"},
                      NameCase{SIGSEGV, SI_KERNEL, false, "ACCESS_VIOLATION"},
                      NameCase{SIGSEGV, SEGV_MAPERR, true, "STACK_OVERFLOW"},
                      NameCase{SIGSEGV, SEGV_ACCERR, true, "STACK_OVERFLOW"},
                      NameCase{SIGSEGV, SEGV_BNDERR, false, "ARRAY_BOUNDS_EXCEEDED"},
                      NameCase{SIGBUS, BUS_ADRALN, false, "DATATYPE_MISALIGNMENT"},
                      NameCase{SIGBUS, BUS_ADRERR, false, "IN_PAGE_ERROR"},
                      NameCase{SIGBUS, BUS_MCEERR_AR, false, "Bus error"},
                      NameCase{SIGILL, ILL_ILLOPN, false, "ILLEGAL_INSTRUCTION"},
                      NameCase{SIGILL, ILL_ILLOPC, false, "ILLEGAL_INSTRUCTION"},
                      NameCase{SIGILL, ILL_PRVOPC, false, "PRIV_INSTRUCTION"},
                      NameCase{SIGILL, ILL_PRVREG, false, "PRIV_INSTRUCTION"},
                      NameCase{SIGILL, ILL_COPROC, false, "Illegal instruction"},
                      NameCase{SIGFPE, FPE_INTDIV, false, "INT_DIVIDE_BY_ZERO"},
                      NameCase{SIGFPE, FPE_INTOVF, false, "INT_OVERFLOW"},
                      NameCase{SIGFPE, FPE_FLTDIV, false, "FLT_DIVIDE_BY_ZERO"},
                      NameCase{SIGFPE, FPE_FLTOVF, false, "FLT_OVERFLOW"},
                      NameCase{SIGFPE, FPE_FLTUND, false, "FLT_UNDERFLOW"},
                      NameCase{SIGFPE, FPE_FLTRES, false, "FLT_INEXACT_RESULT"},
                      NameCase{SIGFPE, FPE_FLTINV, false, "FLT_INVALID_OPERATION"},
                      NameCase{SIGFPE, FPE_FLTSUB, false, "ARRAY_BOUNDS_EXCEEDED"},
                      NameCase{SIGFPE, SI_USER, false, "Floating point exception"},
                      NameCase{SIGTRAP, SI_KERNEL, false, "BREAKPOINT"},
                      NameCase{SIGTRAP, TRAP_BRKPT, false, "BREAKPOINT"},
                      NameCase{SIGTRAP, TRAP_TRACE, false, "SINGLE_STEP"},
                      NameCase{SIGABRT, SI_TKILL, false, "Aborted"},
                      NameCase{SIGABRT, SI_USER, true, "Aborted"},
                      NameCase{SIGSYS, 0, false, "Bad system call"},
                      NameCase{200, 0, false, "Unknown signal"}));

TEST(FaultCodes, CarryTheSignalAndItsCode) {
    EXPECT_EQ(faultCode(SIGSEGV, SEGV_MAPERR), 0x000B0001u);
    EXPECT_EQ(faultCode(SIGFPE, FPE_INTDIV), 0x00080001u);
    EXPECT_EQ(faultCode(SIGTRAP, SI_KERNEL), 0x00050080u);
    EXPECT_EQ(faultCode(SIGABRT, SI_TKILL), 0x0006FFFAu);
}
