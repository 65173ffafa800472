// Tests of assertions, fatal errors and the command-line debug switches.
#include "foundation/VXAssert.h"

#include "foundation/VXOperatingSystem.h"
#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/Emulator.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

// Assertions write their reports into a directory of the test's own.
class VXAssertion : public testing::Test {
protected:
    TempDir m_reports;
    ScopedEnvironment m_directory{"VX_ASSERTION_BACKTRACE_DIR", m_reports.path().c_str()};
    ScopedEnvironment m_noAbort{"VX_ENABLE_ABORT_ON_ASSERTION", nullptr};
};

TEST_F(VXAssertion, LogsTwoLinesWritesStderrAndAppendsAReportThenReturns) {
    SlogCapture capture;
    const uint32_t before = VXAssertionCount();
    testing::internal::CaptureStderr();
    VXAssertionFailed(42, "MurelAdjTypes", "Unknown EMurelAdjAction value.");
    VXAssertionFailed(7, "CVXString", nullptr);
    EXPECT_TRUE(VX_CHECK(1 + 1 == 2, "Checks", "arithmetic"));
    const std::string line = std::to_string(__LINE__ + 1);
    EXPECT_FALSE(VX_CHECK(1 + 1 == 3, "Checks", "arithmetic"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\nMurelAdjTypes:42: ASSERTION \"Unknown EMurelAdjAction value.\" failed\n"
              "\nCVXString:7: ASSERTION failed\n\nChecks:" +
                  line + ": ASSERTION \"arithmetic\" failed\n");
    EXPECT_EQ(VXAssertionCount(), before + 3);
    EXPECT_EQ(capture.lines(),
              (std::vector<SlogLine>{
                  processLine(2, "MurelAdjTypes:42: ASSERTION \"Unknown EMurelAdjAction value.\" "
                                 "failed"),
                  processLine(1, "ASSERTION \"Unknown EMurelAdjAction value.\" failed in "
                                 "MurelAdjTypes 42"),
                  processLine(2, "CVXString:7: ASSERTION failed"),
                  processLine(1, "ASSERTION \"???\" failed in CVXString 7"),
                  processLine(2, "Checks:" + line + ": ASSERTION \"arithmetic\" failed"),
                  processLine(1, "ASSERTION \"arithmetic\" failed in Checks " + line)}));

    const std::string report = reportsIn(m_reports.path());
    const std::string expectedStart =
        "\n[QNX backtrace] INFO - ASSERTION \"Unknown EMurelAdjAction value.\" failed in "
        "MurelAdjTypes 42\n\nTID: " +
        std::to_string(gettid()) + " PID: " + std::to_string(getpid()) +
        "\ndata below is the actual callstack created with QNX libbacktrace.so\n"
        "usable for analysis with proper project MAP file\n\n\n";
    EXPECT_EQ(report.substr(0, expectedStart.size()), expectedStart);
    EXPECT_EQ(countOccurrences(report, "\n[QNX backtrace] INFO - "), 3u);
    EXPECT_NE(report.find("\n[QNX backtrace] INFO - ASSERTION \"???\" failed in CVXString 7\n"),
              std::string::npos);
}

TEST_F(VXAssertion, AbortSwitchAbortsAfterLoggingWithoutAReport) {
    ScopedEnvironment abortSwitch("VX_ENABLE_ABORT_ON_ASSERTION", "1");
    EXPECT_EXIT(
        {
            VXSlogSetSink(slogToStderr, nullptr);
            VXAssertionFailed(9, "Abortive", "stop here");
        },
        testing::KilledBySignal(SIGABRT),
        abortedAfter("^slog 10000 2 pid [0-9]+: Abortive:9: ASSERTION \"stop here\" failed\n"
                     "\nAbortive:9: ASSERTION \"stop here\" failed\n"
                     "slog 10000 1 pid [0-9]+: ASSERTION \"stop here\" failed in Abortive 9\n"));
    EXPECT_EQ(reportsIn(m_reports.path()), "");
}

TEST(VXFatal, ExitsWithFailureRunningAtexitHandlersOrAbortsOnRequest) {
    const std::string exited =
        "slog 10000 5 pid [0-9]+: terminating process using exit\\(EXIT_FAILURE\\)\n"
        "atexit handler ran\n$";
    const struct {
        const char* abortSwitch;
        const char* message;
        std::function<bool(int)> ending;
        std::string output;
    } rows[] = {
        {nullptr, "page vanished", testing::ExitedWithCode(1),
         "^slog 10000 2 pid [0-9]+: source:31: FATAL ERROR \"page vanished\" occured\n"
         "\nsource:31: FATAL ERROR \"page vanished\" occured\n"
         "slog 10000 1 pid [0-9]+: source:31: FATAL ERROR \"page vanished\" occured\n" +
             exited},
        {nullptr, nullptr, testing::ExitedWithCode(1),
         "^slog 10000 2 pid [0-9]+: source:31: FATAL ERROR occured\n"
         "\nsource:31: FATAL ERROR occured\n"
         "slog 10000 1 pid [0-9]+: source:31: FATAL ERROR occured\n" +
             exited},
        {"", nullptr, testing::KilledBySignal(SIGABRT),
         abortedAfter("^slog 10000 2 pid [0-9]+: source:31: FATAL ERROR occured\n"
                      "\nsource:31: FATAL ERROR occured\n"
                      "slog 10000 1 pid [0-9]+: source:31: FATAL ERROR \"\\?\\?\\?\" occured\n")},
    };
    for (const auto& row : rows) {
        ScopedEnvironment abortSwitch("VX_ENABLE_ABORT_ON_FATAL_ERROR", row.abortSwitch);
        EXPECT_EXIT(
            {
                VXSlogSetSink(slogToStderr, nullptr);
                atexit(printFromAtexit);
                VXFatalError(31, "source", row.message);
            },
            row.ending, row.output);
    }
}

TEST(VXDebugSwitches, NobreakAndMemtraceOfZeroOrOne) {
    const auto scan = [](std::vector<const char*> arguments, int argc) {
        const CVXDebugSettingsData settings = VXScanDebugSettings(
            argc, argc == 0 ? nullptr : const_cast<char* const*>(arguments.data()));
        return "break=" + std::to_string(settings.breakEnabled) +
               " trace=" + std::to_string(settings.traceMode);
    };
    const std::pair<const char*, const char*> rows[] = {
        {"--dump", "break=1 trace=0"},        {"--nobreak", "break=0 trace=0"},
        {"--nobreak=1", "break=1 trace=0"},   {"--memtrace=1", "break=1 trace=1"},
        {"--memtrace=2", "break=1 trace=0"},  {"--memtrace=1trailing", "break=1 trace=1"},
        {"--memtrace=", "break=1 trace=0"},   {"--memtrace=x1", "break=1 trace=0"},
        {"--memtrace=-1", "break=1 trace=0"}, {"--memtrace", "break=1 trace=0"}};
    for (const auto& [argument, settings] : rows) {
        EXPECT_EQ(scan({"velkor", argument}, 2), settings) << argument;
    }
    EXPECT_EQ(scan({"velkor", "--memtrace=1", "--memtrace=2"}, 3), "break=1 trace=1");
    EXPECT_EQ(scan({"velkor", "--memtrace=1", "--memtrace=0"}, 3), "break=1 trace=0");
    // The scan stops at the count or at the first missing argument.
    EXPECT_EQ(scan({"velkor", "--nobreak"}, 1), "break=1 trace=0");
    EXPECT_EQ(scan({"velkor", "--nobreak"}, -3), "break=1 trace=0");
    EXPECT_EQ(scan({}, 0), "break=1 trace=0");
    EXPECT_EQ(scan({"velkor", nullptr, "--memtrace=1"}, 3), "break=1 trace=0");
    EXPECT_EQ(VXDebugSettings().traceMode, 0u); // this process runs without trace
}

// ---- fresh processes: start-up state and read-once switches --------------------------------

// Runs the probe program with its reports going to directory, and, when given, a backtrace limit.
ProcessResult runProbe(const TempDir& directory, const std::vector<std::string>& arguments,
                       const char* limit = nullptr) {
    ProcessOptions options;
    options.environment = {"VX_ASSERTION_BACKTRACE_DIR=" + directory.path(),
                           "VX_ENABLE_ABORT_ON_ASSERTION", "VX_ENABLE_ABORT_ON_FATAL_ERROR",
                           limit != nullptr ? std::string("VX_ASSERTION_BACKTRACE_MAX=") + limit
                                            : "VX_ASSERTION_BACKTRACE_MAX"};
    const ProcessResult result = runProcess(VX_FOUNDATION_PROBE, arguments, options);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result;
}

TEST(VXProbe, ArgumentsAreCapturedBeforeStaticInitialisationAndMemtraceIsReadOnce) {
    const TempDir reports;
    EXPECT_EQ(runProbe(reports, {"args", "second", "--third=3"}).out,
              "argc=4\nargv[0]=" + std::string(VX_FOUNDATION_PROBE) +
                  "\nargv[1]=args\nargv[2]=second\nargv[3]=--third=3\n");
    EXPECT_EQ(runProbe(reports, {"--memtrace=1", "memtrace"}).out,
              "trace=1\nallocate=+100 free=-100 aligned=1\n");
    EXPECT_EQ(runProbe(reports, {"--memtrace=2", "memtrace"}).out,
              "trace=0\nallocate=+0 free=-0 aligned=1\n");
}

TEST(VXProbe, BacktraceLimitStopsReportsButNotTheLogging) {
    const TempDir reports;
    const ProcessResult result = runProbe(reports, {"assert", "4"}, "2");
    EXPECT_EQ(result.out, "count=4\n");
    EXPECT_EQ(countOccurrences(result.err, "\nprobe:"), 4u);
    EXPECT_EQ(countOccurrences(result.err, "failed in probe"), 4u);
    const std::string all = reportsIn(reports.path());
    EXPECT_EQ(countOccurrences(all, "[QNX backtrace] INFO - "), 2u);
    EXPECT_NE(all.find("failed in probe 100\n"), std::string::npos);
    EXPECT_NE(all.find("failed in probe 101\n"), std::string::npos);

    // A limit that is no number means none; a negative one allows no report.
    for (const auto& [limit, expected] : {std::pair{"many", 3u}, std::pair{"-1", 0u}}) {
        const TempDir others;
        EXPECT_EQ(runProbe(others, {"assert", "3"}, limit).out, "count=3\n");
        EXPECT_EQ(countOccurrences(reportsIn(others.path()), "[QNX backtrace] INFO - "), expected)
            << limit;
    }
}

} // namespace
