// The operating-system layer: logs, allocation, assertions, the ways a process ends, and in fresh
// processes the start-up state, the read-once switches and an allocation failure.
#include "foundation/VXOperatingSystem.h"

#include "foundation/CVXRCMemoryBuffer.h"
#include "foundation/VXAssert.h"
#include "foundation/VXThread.h"
#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/Emulator.h"
#include "tests/support/ProcessRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <malloc.h>

namespace {

int32_t format(char* buffer, int32_t size, const char* text, ...) {
    va_list args;
    va_start(args, text);
    const int32_t length = VXFormat(buffer, size, text, args);
    va_end(args);
    return length;
}

TEST(VXLog, OneLineWithItsOpcodeSeverityAndPidCutToItsLimit) {
    SlogCapture log;
    VXLog(3, VX_SEVERITY_NOTICE, "attached %s (%d items)", "page", 7);
    const char* missingFormat = nullptr;
    VXLog(0, VX_SEVERITY_INFO, missingFormat, 0); // logs nothing
    VXLog(0, VX_SEVERITY_INFO, "%s", std::string(2000, 'm').c_str());
    VXLogOsError(1, VX_SEVERITY_ERROR, 98765, "odd failure");
    const std::string cut(1024 - processLine(5, "").text.size(), 'm');
    EXPECT_EQ(log.take(),
              (std::vector<SlogLine>{
                  {(3 << 20) | 10000, 4, processLine(4, "attached page (7 items)").text},
                  processLine(5, cut),
                  {(1 << 20) | 10000, 2,
                   processLine(2, "odd failure (operating system error 98765, unknown)").text}}));
    EXPECT_EQ(VXSlogf(1, VX_SLOG_INFO, missingFormat, 0), -1);
    EXPECT_EQ(errno, EINVAL);
    for (void* (*allocate)(size_t) : {VXMalloc, VXMallocOrDie}) {
        errno = EBUSY;
        EXPECT_EQ(allocate(0), nullptr);
        EXPECT_EQ(errno, 0);
    }
    char text[4]; // VXFormat: cut to the buffer; no buffer, a negative size refused
    EXPECT_EQ(format(text, 4, "%d", 12), 2);
    EXPECT_EQ(format(text, 4, "%d", 12345), 3);
    EXPECT_STREQ(text, "123");
    EXPECT_EQ(format(nullptr, 4, "x") + format(text, -1, "x"), 0);
}

// A 1 MiB block is mapped on its own; the mapped bytes show that the last reference frees it.
TEST(CVXRCMemoryBuffer, TheLastReferenceFreesTheBlock) {
    const size_t before = mallinfo2().hblkhd;
    {
        const CVXRCMemoryBuffer buffer(1u << 20);
        const CVXRCMemoryBuffer shared(buffer);
    }
    EXPECT_EQ(mallinfo2().hblkhd, before);
}

int g_createResult = 0;
int createAsThreadOne(uint64_t* thread, VXPlatformThreadEntry, void*,
                      const VXPlatformThreadAttributes*) {
    *thread = 1;
    return g_createResult;
}
TEST(VXThreadCreate, TheCreationResultDecides) {
    struct : CVXRunnable {
        void run() override { priority = VXThreadGetPriority(VXPlatformThreadSelf()); }
        int32_t priority = -1;
    } idle;
    for (const int result : {EAGAIN, 0}) {
        g_createResult = result;
        EXPECT_EQ(VXThreadCreateWith({VXPlatformSchedGetParam, createAsThreadOne}, &idle, 0, -1, 0),
                  result == 0 ? 1u : 0u);
    }
    EXPECT_TRUE(VXThreadJoin(VXThreadCreate(&idle, 0, -1, 0)));
    EXPECT_EQ(idle.priority, 0); // time-sharing: priority 0
}

// Every row runs in a child with its system log on standard error.
TEST(VXTermination, FatalErrorsExitThroughTheTerminatorOrAbortOnRequest) {
    // A system-log line of category 0, as a pattern.
    const auto slog = [](int severity, const std::string& text) {
        return "slog 10000 " + std::to_string(severity) + " pid [0-9]+: " + text + "\n";
    };
    const std::string fatal = "source:31: FATAL ERROR \"page vanished\" occured";
    const std::string exited =
        slog(5, "terminating process using exit\\(EXIT_FAILURE\\)") + "atexit handler ran\n$";
    const struct {
        const char* abortSwitch; // set to "" for the row (null: none)
        void (*body)();
        std::function<bool(int)> ending;
        std::string output;
    } rows[] = {
        {"VX_ENABLE_ABORT_ON_ASSERTION", [] { VXAssertionFailed(9, "Abortive", "stop here"); },
         testing::KilledBySignal(SIGABRT),
         abortedAfter("^" + slog(2, "Abortive:9: ASSERTION \"stop here\" failed") +
                      "\nAbortive:9: ASSERTION \"stop here\" failed\n" +
                      slog(1, "ASSERTION \"stop here\" failed in Abortive 9"))},
        {nullptr, [] { VXFatalError(31, "source", "page vanished"); }, testing::ExitedWithCode(1),
         "^" + slog(2, fatal) + "\n" + fatal + "\n" + slog(1, fatal) + exited},
        {nullptr, [] { VXFatalError(31, nullptr, nullptr); }, testing::ExitedWithCode(1),
         "^" + slog(2, "\\?\\?\\?:31: FATAL ERROR occured") +
             "\n\\?\\?\\?:31: FATAL ERROR occured\n" +
             slog(1, "\\?\\?\\?:31: FATAL ERROR occured") + exited},
        {"VX_ENABLE_ABORT_ON_FATAL_ERROR", [] { VXFatalError(31, "source", nullptr); },
         testing::KilledBySignal(SIGABRT),
         abortedAfter("occured\n" + slog(1, "source:31: FATAL ERROR \"\\?\\?\\?\" occured"))},
        {nullptr, [] { VXFatalExit(2, "stopping: %s %d", "code", 5); }, testing::ExitedWithCode(1),
         "^slog 2107152 1 pid [0-9]+: stopping: code 5\n" + exited},
        // A fatal exit during exit processing ends in abort; so does a termination handler that
        // returns.
        {nullptr,
         [] {
             atexit([] { VXFatalExit(0, "second fatal exit during exit"); });
             VXFatalExit(0, "stopping");
         },
         testing::KilledBySignal(SIGABRT),
         abortedAfter("exit\\(EXIT_FAILURE\\)\n" + slog(1, "second fatal exit during exit") +
                      slog(5, "terminating process using abort\\(\\)"))},
        {nullptr,
         [] {
             static char argument[] = "the argument";
             VXSetTerminationHandler(
                 [](void* text) { fprintf(stderr, "with %s\n", static_cast<char*>(text)); },
                 argument);
             VXFatalExit(0, "stopping");
         },
         testing::KilledBySignal(SIGABRT),
         abortedAfter("^" + slog(1, "stopping") + "with the argument\n")},
    };
    for (const auto& row : rows) {
        std::optional<ScopedEnvironment> abortSwitch;
        if (row.abortSwitch != nullptr) {
            abortSwitch.emplace(row.abortSwitch, "");
        }
        EXPECT_EXIT(
            {
                VXSlogSetSink(slogToStderr, nullptr);
                atexit(printFromAtexit);
                row.body();
            },
            row.ending, row.output);
    }
}

// ---- fresh processes: standard output is a pipe, which the C library buffers in full --------

struct ProbeRun {
    std::string out;
    std::string err;
    std::string reports; // the report file's contents
    std::string file;
    std::string pid;
};

// Runs the probe with its reports going to a fresh directory (or a missing one within it) and
// the given variables set ("NAME=value").
ProbeRun runProbe(const std::vector<std::string>& arguments,
                  std::vector<std::string> variables = {}, int exitCode = 0,
                  const std::string& within = "") {
    const TempDir reports;
    ProcessOptions options;
    options.environment = {"VX_ASSERTION_BACKTRACE_DIR=" + reports.path() + within,
                           "VX_ENABLE_ABORT_ON_ASSERTION", "VX_ENABLE_ABORT_ON_FATAL_ERROR",
                           "VX_ENABLE_ABORT_ON_FAILED_MEMORY_ALLOCATION",
                           "VX_ASSERTION_BACKTRACE_MAX"};
    options.environment.insert(options.environment.end(), variables.begin(), variables.end());
    RunningProcess probe(VX_FOUNDATION_PROBE, arguments, options);
    const ProcessResult result = probe.wait();
    EXPECT_EQ(result.exitCode, exitCode) << result.err;
    const std::string file =
        reports.path() + within + "/PID" + std::to_string(probe.pid()) + ".ass";
    return {result.out, result.err, within.empty() ? readFile(file) : "", file,
            std::to_string(probe.pid())};
}

TEST(VXProbe, ArgumentsAreCapturedBeforeStaticInitialisationAndSwitchesAreReadOnce) {
    EXPECT_EQ(runProbe({"args", "second", "--third=3"}).out,
              "argc=4\nargv[0]=" + std::string(VX_FOUNDATION_PROBE) +
                  "\nargv[1]=args\nargv[2]=second\nargv[3]=--third=3\n");
    EXPECT_EQ(runProbe({"--memtrace=1", "--memtrace=2", "--memtrace=x", "memtrace"}).out,
              "trace=1 allocate=+100 free=-100 aligned=1\n");
    EXPECT_EQ(runProbe({"--memtrace=1", "--memtrace=0", "memtrace"}).out,
              "trace=0 allocate=+0 free=-0 aligned=1\n");

    // An assertion logs two lines, writes one to standard error and a report (its layout is
    // checked with the writer), then returns; the backtrace limit stops reports, not the logging.
    const ProbeRun run = runProbe({"assert", "3"}, {"VX_ASSERTION_BACKTRACE_MAX=2"});
    const std::string error = "slog 10000 2 pid " + run.pid + ": ";
    const std::string critical = "slog 10000 1 pid " + run.pid + ": ASSERTION \"";
    std::string expected = error + "???:100: ASSERTION failed\n\n???:100: ASSERTION failed\n" +
                           critical + "???\" failed in ??? 100\n";
    for (const std::string line : {"101", "102"}) {
        const std::string where = "probe:" + line + ": ASSERTION \"probe assertion\" failed\n";
        expected += error + where + "\n" + where + critical + "probe assertion\" failed in probe " +
                    line + "\n";
    }
    EXPECT_EQ(run.err, expected);
    EXPECT_EQ(run.out, "count=3\n");
    EXPECT_EQ(
        run.reports.find("\n[QNX backtrace] INFO - ASSERTION \"???\" failed in ??? 100\n\nTID: " +
                         run.pid + " PID: " + run.pid + "\n"),
        0u);
    EXPECT_EQ(countOccurrences(run.reports, "[QNX backtrace] INFO - ") * 10 +
                  countOccurrences(run.reports, " in probe 101\n"),
              21u);
}

// A report that cannot be opened is told on standard output, which reaches the pipe before the
// abort.
TEST(VXProbe, FailedAllocationWritesAReportThenExitsOrAborts) {
    const std::string message =
        "failed to allocate " + std::to_string(SIZE_MAX - 3) + " bytes \\(err: 12\\)\n";
    ProbeRun run = runProbe({"--memtrace=1", "nomemory"}, {}, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err, testing::MatchesRegex("slog 10000 1 pid [0-9]+: " + message +
                                               "slog 10000 5 pid [0-9]+: terminating process using "
                                               "exit\\(EXIT_FAILURE\\)\natexit handler ran\n"));
    EXPECT_EQ(run.reports.find("\n[QNX backtrace] INFO - failed to allocate "), 0u);
    EXPECT_EQ(countOccurrences(run.reports, "[QNX backtrace]"), 1u);
    run = runProbe({"--memtrace=1", "nomemory"}, {"VX_ENABLE_ABORT_ON_FAILED_MEMORY_ALLOCATION="},
                   -1, "/missing");
    EXPECT_EQ(run.out, "Cannot open " + run.file + "\n");
    EXPECT_THAT(run.err,
                testing::MatchesRegex(abortedAfter("slog 10000 1 pid [0-9]+: " + message)));
}

} // namespace
