// Writes one crash report to an open file: exception, faulting module and section, registers
// and the frame-pointer call stack, each line straight to the file. Async-signal-safe: it
// only formats into a fixed buffer and reads memory it has checked first.
#pragma once

#include <cstddef>

#include "fault/FaultContext.h"
#include "fault/MemoryProbe.h"
#include "fault/ModuleTable.h"

namespace ostrel::fault {

class CrashReportWriter {
public:
    // A stack overflow leaves hundreds of thousands of frames; the top ones tell the story
    // and keep the report small enough to post.
    static constexpr size_t kMaxFrames = 512;

    CrashReportWriter(const ModuleTable& modules, const MemoryProbe& memory,
                      size_t maxFrames = kMaxFrames) noexcept
        : modules_(modules), memory_(memory), maxFrames_(maxFrames) {}

    // False when a write to `fd` failed.
    bool write(int fd, const FaultContext& fault, bool stackOverflow) const noexcept;

private:
    bool usableFrame(uint64_t frame) const noexcept;

    const ModuleTable& modules_;
    const MemoryProbe& memory_;
    size_t maxFrames_;
};

}  // namespace ostrel::fault
