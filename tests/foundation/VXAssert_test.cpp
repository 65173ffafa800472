// Tests of assertions, fatal errors and the command-line debug switches.
#include "foundation/VXAssert.h"

#include "foundation/VXOperatingSystem.h"
#include "foundation/platform/VXRuntimeArgs.h"
#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string pidPrefix() {
    return "pid " + std::to_string(getpid()) + ": ";
}

bool fileExists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

void printFromAtexit() {
    fprintf(stderr, "atexit handler ran\n");
}

// Assertions write their reports into a directory of the test's own.
class VXAssertion : public testing::Test {
protected:
    std::string reportFile() const {
        return m_reports.file("PID" + std::to_string(getpid()) + ".ass");
    }

    TempDir m_reports;
    ScopedEnvironment m_directory{"VX_ASSERTION_BACKTRACE_DIR", m_reports.path().c_str()};
    ScopedEnvironment m_noAbort{"VX_ENABLE_ABORT_ON_ASSERTION", nullptr};
};

TEST_F(VXAssertion, LogsTwoLinesWritesStderrAndAReportThenReturns) {
    SlogCapture capture;
    const uint32_t before = VXAssertionCount();
    testing::internal::CaptureStderr();
    VXAssertionFailed(42, "MurelAdjTypes", "Unknown EMurelAdjAction value.");
    EXPECT_EQ("\nMurelAdjTypes:42: ASSERTION \"Unknown EMurelAdjAction value.\" failed\n",
              testing::internal::GetCapturedStderr());
    EXPECT_EQ(before + 1, VXAssertionCount());

    ASSERT_EQ(2u, capture.lines().size());
    EXPECT_EQ(10000, capture.lines()[0].opcode);
    EXPECT_EQ(VX_SEVERITY_ERROR, capture.lines()[0].severity);
    EXPECT_EQ(pidPrefix() + "MurelAdjTypes:42: ASSERTION \"Unknown EMurelAdjAction value.\" failed",
              capture.lines()[0].text);
    EXPECT_EQ(10000, capture.lines()[1].opcode);
    EXPECT_EQ(VX_SEVERITY_CRITICAL, capture.lines()[1].severity);
    EXPECT_EQ(pidPrefix() +
                  "ASSERTION \"Unknown EMurelAdjAction value.\" failed in MurelAdjTypes 42",
              capture.lines()[1].text);

    const std::string report = readFile(reportFile());
    const std::string expectedStart =
        "\n[QNX backtrace] INFO - ASSERTION \"Unknown EMurelAdjAction value.\" failed in "
        "MurelAdjTypes 42\n\nTID: " +
        std::to_string(gettid()) + " PID: " + std::to_string(getpid()) +
        "\ndata below is the actual callstack created with QNX libbacktrace.so\n"
        "usable for analysis with proper project MAP file\n\n\n";
    EXPECT_EQ(expectedStart, report.substr(0, expectedStart.size()));
}

TEST_F(VXAssertion, MissingMessageUsesTheShortFormsAndQuestionMarks) {
    SlogCapture capture;
    testing::internal::CaptureStderr();
    VXAssertionFailed(7, "CVXString", nullptr);
    EXPECT_EQ("\nCVXString:7: ASSERTION failed\n", testing::internal::GetCapturedStderr());
    ASSERT_EQ(2u, capture.lines().size());
    EXPECT_EQ(pidPrefix() + "CVXString:7: ASSERTION failed", capture.lines()[0].text);
    EXPECT_EQ(pidPrefix() + "ASSERTION \"???\" failed in CVXString 7", capture.lines()[1].text);
    EXPECT_EQ(0u, readFile(reportFile())
                      .find("\n[QNX backtrace] INFO - ASSERTION \"???\" failed in CVXString 7\n"));
}

TEST_F(VXAssertion, ReportsAreAppendedToTheProcessFile) {
    SlogCapture capture;
    testing::internal::CaptureStderr();
    VXAssertionFailed(1, "first", "one");
    VXAssertionFailed(2, "second", "two");
    testing::internal::GetCapturedStderr();
    const std::string report = readFile(reportFile());
    EXPECT_EQ(2u, countOccurrences(report, "\n[QNX backtrace] INFO - "));
    const size_t first = report.find("ASSERTION \"one\" failed in first 1\n");
    const size_t second = report.find("ASSERTION \"two\" failed in second 2\n");
    ASSERT_NE(std::string::npos, first);
    ASSERT_NE(std::string::npos, second);
    EXPECT_LT(first, second);
}

TEST_F(VXAssertion, CheckMacroReportsOnlyFalseConditions) {
    SlogCapture capture;
    testing::internal::CaptureStderr();
    const uint32_t before = VXAssertionCount();
    EXPECT_TRUE(VX_CHECK(1 + 1 == 2, "Checks", "arithmetic"));
    EXPECT_EQ(before, VXAssertionCount());
    const unsigned line = __LINE__ + 1;
    EXPECT_FALSE(VX_CHECK(1 + 1 == 3, "Checks", "arithmetic"));
    EXPECT_EQ(before + 1, VXAssertionCount());
    EXPECT_EQ("\nChecks:" + std::to_string(line) + ": ASSERTION \"arithmetic\" failed\n",
              testing::internal::GetCapturedStderr());
}

TEST_F(VXAssertion, AbortSwitchAbortsAfterLoggingWithoutAReport) {
    ScopedEnvironment abortSwitch("VX_ENABLE_ABORT_ON_ASSERTION", "1");
    EXPECT_EXIT(
        {
            VXSlogSetSink(slogToStderr, nullptr);
            VXAssertionFailed(9, "Abortive", "stop here");
        },
        testing::KilledBySignal(SIGABRT),
        "^slog 10000 2 pid [0-9]+: Abortive:9: ASSERTION \"stop here\" failed\n"
        "\nAbortive:9: ASSERTION \"stop here\" failed\n"
        "slog 10000 1 pid [0-9]+: ASSERTION \"stop here\" failed in Abortive 9\n$");
    EXPECT_FALSE(fileExists(m_reports.path() + "/PID" + std::to_string(getpid()) + ".ass"));
}

// ---- fatal errors --------------------------------------------------------------------------

class VXFatal : public testing::Test {
protected:
    ScopedEnvironment m_noAbort{"VX_ENABLE_ABORT_ON_FATAL_ERROR", nullptr};
};

TEST_F(VXFatal, ExitsWithFailureAndRunsAtexitHandlers) {
    EXPECT_EXIT(
        {
            VXSlogSetSink(slogToStderr, nullptr);
            atexit(printFromAtexit);
            VXFatalError(31, "murelpagegetsh", "page vanished");
        },
        testing::ExitedWithCode(1),
        "^slog 10000 2 pid [0-9]+: murelpagegetsh:31: FATAL ERROR \"page vanished\" occured\n"
        "\nmurelpagegetsh:31: FATAL ERROR \"page vanished\" occured\n"
        "slog 10000 1 pid [0-9]+: murelpagegetsh:31: FATAL ERROR \"page vanished\" occured\n"
        "slog 10000 5 pid [0-9]+: terminating process using exit\\(EXIT_FAILURE\\)\n"
        "atexit handler ran\n$");
}

TEST_F(VXFatal, MissingMessageUsesTheShortForms) {
    EXPECT_EXIT(
        {
            VXSlogSetSink(slogToStderr, nullptr);
            VXFatalError(5, "VXThread", nullptr);
        },
        testing::ExitedWithCode(1),
        "^slog 10000 2 pid [0-9]+: VXThread:5: FATAL ERROR occured\n"
        "\nVXThread:5: FATAL ERROR occured\n"
        "slog 10000 1 pid [0-9]+: VXThread:5: FATAL ERROR occured\n"
        "slog 10000 5 pid [0-9]+: terminating process using exit\\(EXIT_FAILURE\\)\n$");
}

TEST_F(VXFatal, AbortSwitchAborts) {
    ScopedEnvironment abortSwitch("VX_ENABLE_ABORT_ON_FATAL_ERROR", "");
    EXPECT_EXIT(
        {
            VXSlogSetSink(slogToStderr, nullptr);
            atexit(printFromAtexit);
            VXFatalError(12, "CVXFile", nullptr);
        },
        testing::KilledBySignal(SIGABRT),
        "^slog 10000 2 pid [0-9]+: CVXFile:12: FATAL ERROR occured\n"
        "\nCVXFile:12: FATAL ERROR occured\n"
        "slog 10000 1 pid [0-9]+: CVXFile:12: FATAL ERROR \"\\?\\?\\?\" occured\n$");
}

// ---- debug switches ------------------------------------------------------------------------

CVXDebugSettingsData scan(std::vector<const char*> arguments) {
    return VXScanDebugSettings(static_cast<int>(arguments.size()),
                               const_cast<char* const*>(arguments.data()));
}

TEST(VXDebugSwitches, DefaultsWithoutSwitches) {
    CVXDebugSettingsData settings = scan({"velkor", "--dump"});
    EXPECT_TRUE(settings.breakEnabled);
    EXPECT_EQ(0u, settings.traceMode);
    EXPECT_TRUE(VXScanDebugSettings(0, nullptr).breakEnabled);
}

TEST(VXDebugSwitches, NobreakClearsTheBreakFlag) {
    EXPECT_FALSE(scan({"velkor", "--nobreak"}).breakEnabled);
    EXPECT_TRUE(scan({"velkor", "--nobreak=1"}).breakEnabled);
}

TEST(VXDebugSwitches, MemtraceTakesZeroOrOneOnly) {
    EXPECT_EQ(1u, scan({"velkor", "--memtrace=1"}).traceMode);
    EXPECT_EQ(0u, scan({"velkor", "--memtrace=2"}).traceMode);
    EXPECT_EQ(1u, scan({"velkor", "--memtrace=1", "--memtrace=2"}).traceMode);
    EXPECT_EQ(0u, scan({"velkor", "--memtrace=1", "--memtrace=0"}).traceMode);
    EXPECT_EQ(0u, scan({"velkor", "--memtrace="}).traceMode);
    EXPECT_EQ(0u, scan({"velkor", "--memtrace=x1"}).traceMode);
    EXPECT_EQ(0u, scan({"velkor", "--memtrace=-1"}).traceMode);
    EXPECT_EQ(1u, scan({"velkor", "--memtrace=1trailing"}).traceMode);
    EXPECT_EQ(0u, scan({"velkor", "--memtrace"}).traceMode);
}

TEST(VXDebugSwitches, ScanStopsAtCountOrMissingArgument) {
    std::vector<const char*> withGap = {"velkor", nullptr, "--memtrace=1"};
    EXPECT_EQ(0u, scan(withGap).traceMode);
    std::vector<const char*> counted = {"velkor", "--nobreak"};
    EXPECT_TRUE(VXScanDebugSettings(1, const_cast<char* const*>(counted.data())).breakEnabled);
    EXPECT_TRUE(VXScanDebugSettings(-3, const_cast<char* const*>(counted.data())).breakEnabled);
}

TEST(VXDebugSwitches, ThisProcessRunsWithoutTrace) {
    EXPECT_EQ(0u, VXDebugSettings().traceMode);
    EXPECT_EQ(&VXDebugSettings(), &VXDebugSettings());
}

TEST(VXRuntimeArgs, TestProgramSeesItsOwnArgumentVector) {
    ASSERT_NE(nullptr, VXRuntimeArgv());
    ASSERT_GE(VXRuntimeArgc(), 1);
    EXPECT_NE(std::string::npos, std::string(VXRuntimeArgv()[0]).find("foundation_os_tests"));
    EXPECT_EQ(nullptr, VXRuntimeArgv()[VXRuntimeArgc()]);
}

TEST(VXRuntimeArgs, PublishedVectorCanBeReplacedAndRestored) {
    const int argc = VXRuntimeArgc();
    char** const argv = VXRuntimeArgv();
    char program[] = "replaced";
    char* replacement[] = {program, nullptr};
    VXRuntimeSetArgs(1, replacement);
    EXPECT_EQ(1, VXRuntimeArgc());
    EXPECT_EQ(replacement, VXRuntimeArgv());
    VXRuntimeSetArgs(argc, argv);
    EXPECT_EQ(argv, VXRuntimeArgv());
}

// ---- fresh processes: start-up state and read-once switches --------------------------------

class VXProbe : public testing::Test {
protected:
    ProcessResult run(const std::vector<std::string>& arguments,
                      std::vector<std::string> environment = {}) {
        environment.push_back("VX_ASSERTION_BACKTRACE_DIR=" + m_reports.path());
        environment.push_back("VX_ENABLE_ABORT_ON_ASSERTION");
        environment.push_back("VX_ENABLE_ABORT_ON_FATAL_ERROR");
        ProcessOptions options;
        options.environment = environment;
        return runProcess(VX_FOUNDATION_PROBE, arguments, options);
    }
    // All reports written into the directory (one file per probe process).
    std::string reports() const;

    TempDir m_reports;
};

std::string VXProbe::reports() const {
    std::string all;
    if (DIR* directory = opendir(m_reports.path().c_str())) {
        while (dirent* entry = readdir(directory)) {
            if (entry->d_name[0] != '.') {
                all += readFile(m_reports.file(entry->d_name));
            }
        }
        closedir(directory);
    }
    return all;
}

TEST_F(VXProbe, ArgumentsAreCapturedBeforeStaticInitialisation) {
    ProcessResult result = run({"args", "second", "--third=3"});
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ("argc=4\nargv[0]=" + std::string(VX_FOUNDATION_PROBE) +
                  "\nargv[1]=args\nargv[2]=second\nargv[3]=--third=3\n",
              result.out);
}

TEST_F(VXProbe, MemtraceOneCountsBytesInUse) {
    ProcessResult result = run({"--memtrace=1", "memtrace"});
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ("trace=1\nallocate=+100 free=-100 aligned=1\n", result.out);
}

TEST_F(VXProbe, MemtraceTwoLeavesTracingOff) {
    ProcessResult result = run({"--memtrace=2", "memtrace"});
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ("trace=0\nallocate=+0 free=-0 aligned=1\n", result.out);
}

TEST_F(VXProbe, BacktraceLimitTwoKeepsLoggingButStopsReports) {
    ProcessResult result = run({"assert", "4"}, {"VX_ASSERTION_BACKTRACE_MAX=2"});
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ("count=4\n", result.out);
    EXPECT_EQ(4u, countOccurrences(result.err, "\nprobe:"));
    EXPECT_EQ(4u, countOccurrences(result.err, "failed in probe"));
    const std::string all = reports();
    EXPECT_EQ(2u, countOccurrences(all, "[QNX backtrace] INFO - "));
    EXPECT_NE(std::string::npos, all.find("failed in probe 100\n"));
    EXPECT_NE(std::string::npos, all.find("failed in probe 101\n"));
}

TEST_F(VXProbe, BacktraceLimitThatIsNoNumberMeansNoLimit) {
    ProcessResult result = run({"assert", "3"}, {"VX_ASSERTION_BACKTRACE_MAX=many"});
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ(3u, countOccurrences(reports(), "[QNX backtrace] INFO - "));
}

TEST_F(VXProbe, NegativeBacktraceLimitAllowsNone) {
    ProcessResult result = run({"assert", "2"}, {"VX_ASSERTION_BACKTRACE_MAX=-1"});
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ("count=2\n", result.out);
    EXPECT_EQ(0u, countOccurrences(reports(), "[QNX backtrace] INFO - "));
}

TEST_F(VXProbe, FatalErrorDuringExitEndsInAbort) {
    ProcessResult result = run({"fatal-in-exit"});
    EXPECT_EQ(SIGABRT, result.termSignal) << result.err;
    const size_t exiting = result.err.find("terminating process using exit(EXIT_FAILURE)\n");
    const size_t second =
        result.err.find("\nprobe:88: FATAL ERROR \"raised during exit\" occured\n");
    const size_t aborting = result.err.find(": terminating process using abort()\n");
    ASSERT_NE(std::string::npos, exiting) << result.err;
    ASSERT_NE(std::string::npos, second) << result.err;
    ASSERT_NE(std::string::npos, aborting) << result.err;
    EXPECT_LT(exiting, second);
    EXPECT_LT(second, aborting);
}

} // namespace
