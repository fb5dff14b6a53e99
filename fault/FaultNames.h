// Names of fatal signals in the crash report: the exception names Windows reports use where a
// signal means the same fault, otherwise the system's own description of the signal. Pure
// lookups, safe inside a signal handler.
#pragma once

#include <cstdint>

namespace ostrel::fault {

// The "exception code" of a report line: signal number in the high half, si_code in the low
// 16 bits (negative codes of user-sent signals show as their 16-bit two's complement).
uint32_t faultCode(int signo, int code) noexcept;

// Never null. `stackOverflow` is the handler's finding that a SIGSEGV hit the guard area
// below a thread's stack.
const char* faultName(int signo, int code, bool stackOverflow) noexcept;

}  // namespace ostrel::fault
