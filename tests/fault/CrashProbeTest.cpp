// Runs crash_probe, which installs the crash handler and crashes on purpose, and checks the
// report it leaves and the command line the stand-in reporter was started with.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/fault/ElfReference.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace ostrel::fault::test;

namespace {

const std::string kProbe = CRASH_PROBE_PATH;
const std::string kStandIn = REPORTER_STAND_IN_PATH;
const std::string kLibrary = fs::canonical(PROBE_LIBRARY_PATH).string();
constexpr size_t kFrameCap = 512;  // the report's limit on call-stack lines

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

uint64_t hexValue(const std::string& text) {
    return std::stoull(text, nullptr, 16);
}

struct ProbeRun {
    int waitStatus = 0;
    std::string reportPath;  // as the probe printed it
};

// One parsed report; the regular expressions are the report layout.
struct ParsedReport {
    uint32_t code = 0;
    std::string name;
    uint64_t faultAddress = 0;
    uint32_t faultSection = 0;
    uint64_t faultOffset = 0;
    std::string faultModule;
    uint64_t rip = 0;
    uint64_t rsp = 0;
    uint64_t rbp = 0;
    struct Frame {
        uint64_t address;
        uint64_t frame;
        uint32_t section;
        uint64_t offset;
        std::string module;
    };
    std::vector<Frame> frames;
};

// Checks every line against the layout and returns the values; fails the test on a mismatch.
ParsedReport parseReport(const std::vector<std::string>& lines) {
    ParsedReport r;
    const std::regex hex16("[0-9A-F]{16}");
    size_t i = 0;
    auto next = [&]() -> std::string {
        if (i >= lines.size()) {
            ADD_FAILURE() << "report ends early";
            return {};
        }
        return lines[i++];
    };
    std::smatch m;
    EXPECT_EQ(next(), "//=====================================================");
    std::string line = next();
    if (std::regex_match(line, m, std::regex("Exception code: ([0-9A-F]{8}) (.+)"))) {
        r.code = static_cast<uint32_t>(hexValue(m[1]));
        r.name = m[2];
    } else {
        ADD_FAILURE() << line;
    }
    line = next();
    if (std::regex_match(
            line, m,
            std::regex("Fault address:  ([0-9A-F]{16}) ([0-9A-F]{2}):([0-9A-F]{8,}) (.*)"))) {
        r.faultAddress = hexValue(m[1]);
        r.faultSection = static_cast<uint32_t>(hexValue(m[2]));
        r.faultOffset = hexValue(m[3]);
        r.faultModule = m[4];
    } else {
        ADD_FAILURE() << line;
    }
    EXPECT_EQ(next(), "");
    EXPECT_EQ(next(), "Registers:");
    for (const char* name : {"RAX", "RBX", "RCX", "RDX", "RSI", "RDI", "R8", "R9", "R10", "R11",
                             "R12", "R13", "R14", "R15"}) {
        line = next();
        EXPECT_TRUE(std::regex_match(line, std::regex(std::string(name) + ":[0-9A-F]{16}")))
            << line;
    }
    line = next();
    if (std::regex_match(line, m, std::regex("CS:RIP:[0-9A-F]{4}:([0-9A-F]{16})"))) {
        r.rip = hexValue(m[1]);
    } else {
        ADD_FAILURE() << line;
    }
    line = next();
    if (std::regex_match(line, m,
                         std::regex("SS:RSP:[0-9A-F]{4}:([0-9A-F]{16})  RBP:([0-9A-F]{16})"))) {
        r.rsp = hexValue(m[1]);
        r.rbp = hexValue(m[2]);
    } else {
        ADD_FAILURE() << line;
    }
    line = next();
    EXPECT_TRUE(std::regex_match(
        line, std::regex("DS:[0-9A-F]{4}  ES:[0-9A-F]{4}  FS:[0-9A-F]{4}  GS:[0-9A-F]{4}")))
        << line;
    line = next();
    EXPECT_TRUE(std::regex_match(line, std::regex("Flags:[0-9A-F]{16}"))) << line;
    EXPECT_EQ(next(), "");
    EXPECT_EQ(next(), "Call stack:");
    EXPECT_EQ(next(), "Address           Frame             Logical addr  Module");
    const std::regex frameLine("([0-9A-F]{16})  ([0-9A-F]{16})  ([0-9A-F]{4}):([0-9A-F]{8,}) (.*)");
    while (i < lines.size() && std::regex_match(lines[i], m, frameLine)) {
        r.frames.push_back({hexValue(m[1]), hexValue(m[2]), static_cast<uint32_t>(hexValue(m[3])),
                            hexValue(m[4]), m[5]});
        ++i;
    }
    EXPECT_EQ(next(), "");
    EXPECT_EQ(i, lines.size()) << "text after the report: " << (i < lines.size() ? lines[i] : "");
    return r;
}

// The reports of one file, split at their first lines.
std::vector<std::vector<std::string>> splitReports(const std::string& text) {
    std::vector<std::vector<std::string>> reports;
    for (const std::string& line : splitLines(text)) {
        if (line == "//=====================================================") {
            reports.emplace_back();
        }
        if (!reports.empty()) {
            reports.back().push_back(line);
        }
    }
    return reports;
}

class CrashProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Parameterised names hold a "/"; one folder per test, removed whole afterwards.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        root_ =
            fs::temp_directory_path() / ("ostrel-crash-" + std::to_string(getpid()) + "-" + name);
        fs::remove_all(root_);
        fs::create_directories(root_ / "client");
        fs::create_directories(root_ / "config");
    }
    void TearDown() override { fs::remove_all(root_); }

    void writeSettings(const std::string& text) {
        std::ofstream(root_ / "config" / "settings.reg") << text;
    }

    std::string probePath() const { return fs::canonical(kProbe).string(); }
    fs::path recordPath() const { return root_ / "reporter-record"; }

    ProbeRun runProbe(const std::vector<std::string>& arguments,
                      const std::vector<std::string>& extraEnvironment = {}) {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (entry.rfind("OSTREL_", 0) != 0 && entry.rfind("ASAN_OPTIONS=", 0) != 0) {
                env.push_back(entry);
            }
        }
        env.push_back("OSTREL_CONFIG_DIR=" + (root_ / "config").string());
        env.push_back("OSTREL_TEST_REPORTER_RECORD=" + recordPath().string());
        // AddressSanitizer would take these signals for itself.
        env.push_back(
            "ASAN_OPTIONS=handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:"
            "handle_abort=0:detect_leaks=0:use_sigaltstack=0");
        env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());

        std::vector<std::string> args{kProbe};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);

        int out[2];
        EXPECT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        pid_t child = 0;
        ProbeRun run;
        const int spawned =
            posix_spawn(&child, kProbe.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        EXPECT_EQ(spawned, 0);
        std::string printed;
        char buffer[512];
        ssize_t n;
        while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
            printed.append(buffer, static_cast<size_t>(n));
        }
        close(out[0]);
        if (spawned == 0) {
            waitpid(child, &run.waitStatus, 0);
        }
        run.reportPath = splitLines(printed).empty() ? "" : splitLines(printed).front();
        return run;
    }

    // The stand-in reporter's arguments once it has written them (it starts after the
    // client's 100 ms pause); empty when it never ran.
    std::vector<std::string> waitForReporter(
        std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!fs::exists(recordPath()) && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::vector<std::string> arguments;
        const std::string text = readFile(recordPath());
        size_t start = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\0') {
                arguments.push_back(text.substr(start, i - start));
                start = i + 1;
            }
        }
        return arguments;
    }

    fs::path root_;
};

struct CrashCase {
    const char* way;
    int signal;
    const char* name;           // the exception line's name
    const char* faultFunction;  // where the fault address lies
    bool inLibrary;
    enum Stack { ThroughMain, FirstLineOnly, Capped } stack;
};

void PrintTo(const CrashCase& c, std::ostream* os) {
    *os << c.way;
}

class CrashWays : public CrashProbeTest, public ::testing::WithParamInterface<CrashCase> {};

}  // namespace

TEST_P(CrashWays, LeavesAReportAndStartsTheReporter) {
    const CrashCase& c = GetParam();
    writeSettings(
        "\"LastKnownServer\"=\"reports.example.net:8081\"\n"
        "\"LastKnownCrashFileServerPath\"=\"app2/log problem.aspx\"\n");
    const std::string guid = "0f8fad5b-d9cb-469f-a165-70867728950e";
    const ProbeRun run = runProbe({c.way, (root_ / "client").string(), kStandIn, guid});

    ASSERT_TRUE(WIFSIGNALED(run.waitStatus)) << "status " << run.waitStatus;
    EXPECT_EQ(WTERMSIG(run.waitStatus), c.signal);

    // The report goes beside the "client", named by the start-up time.
    ASSERT_FALSE(run.reportPath.empty());
    const fs::path report(run.reportPath);
    EXPECT_EQ(report.parent_path(), root_ / "client" / "Logs");
    EXPECT_TRUE(std::regex_match(report.filename().string(),
                                 std::regex("\\d{4}_\\d{2}_\\d{2}_\\d{2}-\\d{2}-\\d{2}\\.RPT")));

    const std::vector<std::string> arguments = waitForReporter();
    const std::vector<std::string> expected{kStandIn,
                                            "-f",
                                            run.reportPath,
                                            "-v",
                                            EXPECTED_VERSION,
                                            "-b",
                                            EXPECTED_BUILD,
                                            "-s",
                                            "reports.example.net:8081",
                                            "-p",
                                            "app2/log problem.aspx",
                                            "-a",
                                            probePath(),
                                            "-i",
                                            guid};
    EXPECT_EQ(arguments, expected);
    // The handler runs with the crash signals blocked; the reporter must not inherit that.
    EXPECT_EQ(readFile(recordPath().string() + ".sigmask").find_first_not_of("0\t \n"),
              std::string::npos);

    const auto reports = splitReports(readFile(report));
    ASSERT_EQ(reports.size(), 1u);
    const ParsedReport r = parseReport(reports[0]);
    EXPECT_EQ(r.code >> 16, static_cast<uint32_t>(c.signal));
    EXPECT_EQ(r.name, c.name);
    EXPECT_EQ(r.faultAddress, r.rip);

    const std::string module = c.inLibrary ? kLibrary : probePath();
    EXPECT_EQ(r.faultModule, module);
    const auto sections = readelfSections(module);
    const auto section = sectionNumbered(sections, r.faultSection);
    ASSERT_TRUE(section.has_value()) << "section " << r.faultSection;
    EXPECT_EQ(section->name, ".text");
    EXPECT_EQ(functionAt(nmFunctions(module), section->address + r.faultOffset), c.faultFunction);

    ASSERT_FALSE(r.frames.empty());
    EXPECT_EQ(r.frames[0].address, r.rip);
    EXPECT_EQ(r.frames[0].frame, r.rbp);
    EXPECT_EQ(r.frames[0].module, module);
    EXPECT_EQ(r.frames[0].section, r.faultSection);
    EXPECT_EQ(r.frames[0].offset, r.faultOffset);
    for (size_t i = 1; i < r.frames.size(); ++i) {
        EXPECT_GT(r.frames[i].frame, r.frames[i - 1].frame) << "frame " << i;
        EXPECT_EQ(r.frames[i].frame % 8, 0u) << "frame " << i;
    }

    switch (c.stack) {
        case CrashCase::FirstLineOnly:
            EXPECT_EQ(r.frames.size(), 1u);
            break;
        case CrashCase::Capped:
            EXPECT_EQ(r.frames.size(), kFrameCap);
            break;
        case CrashCase::ThroughMain: {
            // The callers up to main, found by their return addresses (minus one: the call
            // may be a function's last instruction).
            const std::string probe = probePath();
            const auto probeSections = readelfSections(probe);
            const auto probeFunctions = nmFunctions(probe);
            std::vector<std::string> callers;
            for (size_t i = 1; i < r.frames.size(); ++i) {
                if (r.frames[i].module != probe) {
                    continue;
                }
                const auto s = sectionNumbered(probeSections, r.frames[i].section);
                ASSERT_TRUE(s.has_value());
                callers.push_back(
                    functionAt(probeFunctions, s->address + r.frames[i].offset - 1).value_or("?"));
            }
            ASSERT_GE(callers.size(), 2u);
            EXPECT_EQ(callers[callers.size() - 2], "runWay");
            EXPECT_EQ(callers.back(), "main");
            EXPECT_LT(r.frames.size(), kFrameCap);
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, CrashWays,
    ::testing::Values(CrashCase{"null-write", SIGSEGV, "ACCESS_VIOLATION", "probeNullWrite", false,
                                CrashCase::ThroughMain},
                      CrashCase{"divide-by-zero", SIGFPE, "INT_DIVIDE_BY_ZERO", "probeDivide",
                                false, CrashCase::ThroughMain},
                      CrashCase{"library", SIGSEGV, "ACCESS_VIOLATION", "faultProbeWrite", true,
                                CrashCase::ThroughMain},
                      CrashCase{"bad-frame-pointer", SIGSEGV, "ACCESS_VIOLATION",
                                "probeBadFramePointer", false, CrashCase::FirstLineOnly},
                      CrashCase{"stack-overflow", SIGSEGV, "STACK_OVERFLOW", "probeRecurse", false,
                                CrashCase::Capped},
                      CrashCase{"thread-stack-overflow", SIGSEGV, "STACK_OVERFLOW", "probeRecurse",
                                false, CrashCase::Capped},
                      CrashCase{"illegal-instruction", SIGILL, "ILLEGAL_INSTRUCTION",
                                "probeIllegal", false, CrashCase::ThroughMain},
                      CrashCase{"breakpoint", SIGTRAP, "BREAKPOINT", "probeBreakpoint", false,
                                CrashCase::ThroughMain}),
    [](const auto& info) {
        std::string name = info.param.way;
        for (char& ch : name) {
            if (ch == '-') {
                ch = '_';
            }
        }
        return name;
    });

TEST_F(CrashProbeTest, AbortIsNamedByTheSystemsDescription) {
    const ProbeRun run = runProbe({"abort", (root_ / "client").string(), kStandIn, "g"});
    ASSERT_TRUE(WIFSIGNALED(run.waitStatus));
    EXPECT_EQ(WTERMSIG(run.waitStatus), SIGABRT);
    EXPECT_FALSE(waitForReporter().empty());
    const auto reports = splitReports(readFile(run.reportPath));
    ASSERT_EQ(reports.size(), 1u);
    const ParsedReport r = parseReport(reports[0]);
    EXPECT_EQ(r.code >> 16, static_cast<uint32_t>(SIGABRT));
    EXPECT_EQ(r.name, "Aborted");
    // abort() raises the signal inside the C library.
    EXPECT_NE(r.faultModule.find("libc.so"), std::string::npos) << r.faultModule;
    const auto section = sectionNumbered(readelfSections(r.faultModule), r.faultSection);
    ASSERT_TRUE(section.has_value());
    EXPECT_EQ(section->name, ".text");
}

TEST_F(CrashProbeTest, ASecondCrashInTheSameSecondIsAppended) {
    const std::vector<std::string> fixedTime{"OSTREL_PROBE_TIME=1700000000"};
    const ProbeRun first =
        runProbe({"null-write", (root_ / "client").string(), kStandIn, "a"}, fixedTime);
    ASSERT_FALSE(waitForReporter().empty());
    const std::string afterFirst = readFile(first.reportPath);
    fs::remove(recordPath());

    const ProbeRun second =
        runProbe({"divide-by-zero", (root_ / "client").string(), kStandIn, "b"}, fixedTime);
    ASSERT_EQ(second.reportPath, first.reportPath);
    ASSERT_FALSE(waitForReporter().empty());
    const std::string text = readFile(second.reportPath);
    ASSERT_GT(text.size(), afterFirst.size());
    EXPECT_EQ(text.substr(0, afterFirst.size()), afterFirst);

    const auto reports = splitReports(text);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(parseReport(reports[0]).name, "ACCESS_VIOLATION");
    EXPECT_EQ(parseReport(reports[1]).name, "INT_DIVIDE_BY_ZERO");
}

TEST_F(CrashProbeTest, DefaultsAndAnUnsetGuidReachTheReporter) {
    // No settings at all: the built-in service host and report page; no GUID set yet.
    const ProbeRun run = runProbe({"null-write", (root_ / "client").string(), kStandIn});
    ASSERT_TRUE(WIFSIGNALED(run.waitStatus));
    const std::vector<std::string> expected{kStandIn,
                                            "-f",
                                            run.reportPath,
                                            "-v",
                                            EXPECTED_VERSION,
                                            "-b",
                                            EXPECTED_BUILD,
                                            "-s",
                                            "127.0.0.1:8080",
                                            "-p",
                                            "app2/logproblem.aspx",
                                            "-a",
                                            probePath(),
                                            "-i",
                                            ""};
    EXPECT_EQ(waitForReporter(), expected);
}

TEST_F(CrashProbeTest, AMissingReporterStillEndsTheClientAndKeepsTheReport) {
    const ProbeRun run = runProbe(
        {"null-write", (root_ / "client").string(), (root_ / "no-such-reporter").string(), "g"});
    ASSERT_TRUE(WIFSIGNALED(run.waitStatus));
    EXPECT_EQ(WTERMSIG(run.waitStatus), SIGSEGV);
    const auto reports = splitReports(readFile(run.reportPath));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(parseReport(reports[0]).name, "ACCESS_VIOLATION");
    EXPECT_TRUE(waitForReporter(std::chrono::milliseconds(300)).empty());
}

TEST_F(CrashProbeTest, AnUnwritableReportFileMeansNoReporter) {
    // The report path is taken by a folder: the file cannot be opened.
    const std::vector<std::string> fixedTime{"OSTREL_PROBE_TIME=1700000000"};
    std::tm local{};
    const std::time_t when = 1700000000;
    localtime_r(&when, &local);
    char name[64];
    std::strftime(name, sizeof name, "%Y_%m_%d_%H-%M-%S.RPT", &local);
    fs::create_directories(root_ / "client" / "Logs" / name);

    const ProbeRun run =
        runProbe({"null-write", (root_ / "client").string(), kStandIn, "g"}, fixedTime);
    ASSERT_TRUE(WIFSIGNALED(run.waitStatus));
    EXPECT_EQ(WTERMSIG(run.waitStatus), SIGSEGV);
    EXPECT_TRUE(waitForReporter(std::chrono::milliseconds(500)).empty());
}
