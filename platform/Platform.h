// Linux counterparts of the small system services every subsystem uses: the millisecond tick,
// GUID text, the program and temporary folders, and the trace output switched by OSTREL_TRACE.
// Every function here may be called from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::platform {

// Milliseconds of the monotonic clock, truncated to 32 bits. It wraps after about 49.7 days,
// so callers take differences in unsigned 32-bit arithmetic: `tickCount() - then`.
uint32_t tickCount();

// A fresh random GUID as lower-case 8-4-4-4-12 text (36 characters).
std::string newGuidText();

// The folder that holds the running executable, without a trailing "/".
std::string programFolder();

// Full path of the running executable.
std::string programPath();

// The temporary folder ($TMPDIR, else /tmp), without a trailing "/".
std::string tempFolder();

// Joins two path pieces with exactly one "/" between them.
std::string joinPath(std::string_view folder, std::string_view name);

// True when OSTREL_TRACE=1; read once, since it is a process-wide switch.
bool traceEnabled();

// Writes one time-stamped line to standard error when tracing is on; otherwise does nothing,
// as the product's diagnostics are discarded unless a developer asks for them.
void trace(std::string_view text);

}  // namespace ostrel::platform
