#include "fault/CrashReportWriter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

using namespace ostrel::fault;

namespace {

// Runs the writer into a temporary file and returns what it wrote.
std::string writeReport(const FaultContext& fault, bool overflow, const ModuleTable& modules,
                        size_t maxFrames = CrashReportWriter::kMaxFrames) {
    FILE* file = std::tmpfile();
    MemoryProbe memory;
    EXPECT_TRUE(CrashReportWriter(modules, memory, maxFrames).write(fileno(file), fault, overflow));
    std::string text;
    std::rewind(file);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, n);
    }
    std::fclose(file);
    return text;
}

std::vector<std::string> callStackLines(const std::string& report) {
    std::vector<std::string> lines;
    std::istringstream in(report);
    bool inStack = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Address ", 0) == 0) {
            inStack = true;
        } else if (inStack && !line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string hex16(uint64_t v) {
    char text[32];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(v));
    return text;
}

// Three pages: frames live in the first (read-write), the second is read-only and the third
// inaccessible, so links can point at each kind of memory above the frames.
class FakeStack {
public:
    FakeStack() {
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* block =
            mmap(nullptr, 3 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = static_cast<char*>(block);
        mprotect(base_ + page_, page_, PROT_READ);
        mprotect(base_ + 2 * page_, page_, PROT_NONE);
    }
    ~FakeStack() { munmap(base_, 3 * page_); }

    uint64_t frame(size_t index) const { return address(index * 64); }
    uint64_t address(size_t offset) const { return reinterpret_cast<uint64_t>(base_) + offset; }
    uint64_t readOnly() const { return address(page_ + 64); }
    uint64_t inaccessible() const { return address(2 * page_ + 64); }
    // Frame `index` links to `next` with return address `returnAddress`.
    void link(size_t index, uint64_t next, uint64_t returnAddress) {
        auto* words = reinterpret_cast<uint64_t*>(base_ + index * 64);
        words[0] = next;
        words[1] = returnAddress;
    }
    size_t page() const { return page_; }

private:
    char* base_ = nullptr;
    size_t page_ = 0;
};

}  // namespace

TEST(CrashReportWriter, WritesTheWholeLayoutAtFullWidth) {
    FaultContext f;
    f.signo = SIGSEGV;
    f.code = SEGV_MAPERR;
    f.rax = 0x1122334455667788;
    f.rbx = 2;
    f.rcx = 3;
    f.rdx = 4;
    f.rsi = 5;
    f.rdi = 6;
    f.r8 = 8;
    f.r9 = 9;
    f.r10 = 0x10;
    f.r11 = 0x11;
    f.r12 = 0x12;
    f.r13 = 0x13;
    f.r14 = 0x14;
    f.r15 = 0xFFFFFFFFFFFFFFFF;
    f.rip = 0x00007F0012345678;  // no module holds it
    f.rsp = 0x00007FFC00001000;
    f.rbp = 0x10;  // unreadable: the stack ends after the first line
    f.rflags = 0x10246;
    f.cs = 0x33;
    f.ss = 0x2B;
    f.fs = 0x1;
    f.gs = 0x2;
    ModuleTable noModules;
    const std::string expected =
        "//=====================================================\n"
        "Exception code: 000B0001 ACCESS_VIOLATION\n"
        "Fault address:  00007F0012345678 00:00000000 \n"
        "\n"
        "Registers:\n"
        "RAX:1122334455667788\n"
        "RBX:0000000000000002\n"
        "RCX:0000000000000003\n"
        "RDX:0000000000000004\n"
        "RSI:0000000000000005\n"
        "RDI:0000000000000006\n"
        "R8:0000000000000008\n"
        "R9:0000000000000009\n"
        "R10:0000000000000010\n"
        "R11:0000000000000011\n"
        "R12:0000000000000012\n"
        "R13:0000000000000013\n"
        "R14:0000000000000014\n"
        "R15:FFFFFFFFFFFFFFFF\n"
        "CS:RIP:0033:00007F0012345678\n"
        "SS:RSP:002B:00007FFC00001000  RBP:0000000000000010\n"
        "DS:0000  ES:0000  FS:0001  GS:0002\n"
        "Flags:0000000000010246\n"
        "\n"
        "Call stack:\n"
        "Address           Frame             Logical addr  Module\n"
        "00007F0012345678  0000000000000010  0000:00000000 \n"
        "\n";
    EXPECT_EQ(writeReport(f, false, noModules), expected);
}

TEST(CrashReportWriter, NamesAnOverflowAndAnUnknownSignal) {
    ModuleTable noModules;
    FaultContext f;
    f.signo = SIGSEGV;
    f.code = SEGV_ACCERR;
    EXPECT_NE(writeReport(f, true, noModules).find("\nException code: 000B0002 STACK_OVERFLOW\n"),
              std::string::npos);
    f.signo = SIGABRT;
    f.code = SI_TKILL;  // -6
    EXPECT_NE(writeReport(f, false, noModules).find("\nException code: 0006FFFA Aborted\n"),
              std::string::npos);
}

TEST(CrashReportWriter, FollowsFramePointersUntilTheChainEnds) {
    FakeStack stack;
    stack.link(0, stack.frame(1), 0xA1);
    stack.link(1, stack.frame(2), 0xA2);
    stack.link(2, 0, 0xA3);  // zero is not above: the walk stops
    FaultContext f;
    f.signo = SIGSEGV;
    f.rip = 0xA0;
    f.rbp = stack.frame(0);
    ModuleTable noModules;
    const auto lines = callStackLines(writeReport(f, false, noModules));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], hex16(0xA0) + "  " + hex16(stack.frame(0)) + "  0000:00000000 ");
    EXPECT_EQ(lines[1], hex16(0xA1) + "  " + hex16(stack.frame(1)) + "  0000:00000000 ");
    EXPECT_EQ(lines[2], hex16(0xA2) + "  " + hex16(stack.frame(2)) + "  0000:00000000 ");
}

// Where frame 1 links to, and how many lines the walk then writes.
struct StopCase {
    const char* name;
    uint64_t (*target)(const FakeStack&);
    size_t lines;
};

class CrashReportStops : public ::testing::TestWithParam<StopCase> {};

TEST_P(CrashReportStops, StopAtABadNextFrame) {
    FakeStack stack;
    stack.link(0, stack.frame(1), 0xA1);
    stack.link(1, GetParam().target(stack), 0xA2);
    stack.link(2, 0, 0xA3);
    FaultContext f;
    f.rip = 0xA0;
    f.rbp = stack.frame(0);
    ModuleTable noModules;
    EXPECT_EQ(callStackLines(writeReport(f, false, noModules)).size(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CrashReportStops,
    ::testing::Values(StopCase{"Valid", [](const FakeStack& s) { return s.frame(2); }, 3},
                      StopCase{"Misaligned", [](const FakeStack& s) { return s.frame(2) + 4; }, 2},
                      StopCase{"Below", [](const FakeStack& s) { return s.frame(0); }, 2},
                      StopCase{"Same", [](const FakeStack& s) { return s.frame(1); }, 2},
                      StopCase{"ReadOnly", [](const FakeStack& s) { return s.readOnly(); }, 2},
                      StopCase{"Inaccessible", [](const FakeStack& s) { return s.inaccessible(); },
                               2},
                      StopCase{"AcrossIntoReadOnly",
                               [](const FakeStack& s) { return s.address(s.page() - 8); }, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CrashReportWriter, ChecksTheFirstFramePointerBeforeReadingIt) {
    FakeStack stack;
    ModuleTable noModules;
    for (uint64_t rbp : {uint64_t{0}, uint64_t{0x10}, stack.readOnly(), stack.inaccessible(),
                         uint64_t{0xFFFF800000000000}}) {
        FaultContext f;
        f.rip = 0xA0;
        f.rbp = rbp;
        const auto lines = callStackLines(writeReport(f, false, noModules));
        ASSERT_EQ(lines.size(), 1u) << std::hex << rbp;
        EXPECT_EQ(lines[0].substr(18, 16), hex16(rbp));
    }
}

TEST(CrashReportWriter, StopsAtTheFrameLimit) {
    FakeStack stack;
    for (size_t i = 0; i < 40; ++i) {
        stack.link(i, stack.frame(i + 1), 0xB0 + i);
    }
    FaultContext f;
    f.rip = 0xA0;
    f.rbp = stack.frame(0);
    ModuleTable noModules;
    EXPECT_EQ(callStackLines(writeReport(f, false, noModules, 10)).size(), 10u);
}

TEST(CrashReportWriter, ReportsAFailedWrite) {
    ModuleTable noModules;
    MemoryProbe memory;
    FaultContext f;
    EXPECT_FALSE(CrashReportWriter(noModules, memory).write(999, f, false));
}
