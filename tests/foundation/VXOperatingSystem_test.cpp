// Tests of the operating-system layer: process log, bounded formatting, allocation policy,
// termination, clocks, deadlines and armed time-outs.
#include "foundation/VXOperatingSystem.h"

#include "foundation/VXAssert.h"
#include "foundation/platform/VXClock.h"
#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <string>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

// Huge requests must fail with a null block instead of a sanitizer report, as plain malloc does.
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

std::string pidPrefix() {
    return "pid " + std::to_string(getpid()) + ": ";
}

int32_t formatInto(char* buffer, int32_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int32_t formatInto(char* buffer, int32_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int32_t result = VXFormat(buffer, size, format, args);
    va_end(args);
    return result;
}

std::vector<std::string> filesIn(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(directory.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') {
                names.emplace_back(entry->d_name);
            }
        }
        closedir(dir);
    }
    return names;
}

void printFromAtexit() {
    fprintf(stderr, "atexit handler ran\n");
}

void fatalFromAtexit() {
    VXFatalExit(0, "second fatal exit during exit");
}

void returningHandler(void* argument) {
    fprintf(stderr, "handler called with %s\n", static_cast<const char*>(argument));
}

// ---- process log ---------------------------------------------------------------------------

TEST(VXLog, WritesOneLineWithPidPrefixOpcodeAndSeverity) {
    SlogCapture capture;
    VXLog(3, VX_SEVERITY_NOTICE, "attached %s (%d items)", "page", 7);
    ASSERT_EQ(1u, capture.lines().size());
    EXPECT_EQ((3 << 20) | 10000, capture.lines()[0].opcode);
    EXPECT_EQ(VX_SEVERITY_NOTICE, capture.lines()[0].severity);
    EXPECT_EQ(pidPrefix() + "attached page (7 items)", capture.lines()[0].text);
}

TEST(VXLog, MissingFormatLogsNothing) {
    SlogCapture capture;
    const char* missingFormat = nullptr;
    VXLog(0, VX_SEVERITY_INFO, missingFormat, 0);
    EXPECT_TRUE(capture.lines().empty());
}

TEST(VXLog, LongMessageIsCutTo1024Characters) {
    SlogCapture capture;
    const std::string message(2000, 'm');
    VXLog(0, VX_SEVERITY_INFO, "%s", message.c_str());
    ASSERT_EQ(1u, capture.lines().size());
    const std::string& text = capture.lines()[0].text;
    ASSERT_EQ(1024u, text.size());
    EXPECT_EQ(pidPrefix() + std::string(1024 - pidPrefix().size(), 'm'), text);
}

TEST(VXLog, AbsentLoggerDropsTheLineSilently) {
    SlogCapture capture;
    capture.failWith(ENOENT);
    testing::internal::CaptureStderr();
    VXLog(0, VX_SEVERITY_ERROR, "nobody listens");
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

TEST(VXLog, LoggerFailureIsReportedOnStandardError) {
    SlogCapture capture;
    capture.failWith(EIO);
    testing::internal::CaptureStderr();
    VXLog(0, VX_SEVERITY_ERROR, "lost line");
    EXPECT_EQ("pid: " + std::to_string(getpid()) + ": cannot write to syslog: Input/output error\n",
              testing::internal::GetCapturedStderr());
}

TEST(VXLog, LeavesErrnoAsItWas) {
    SlogCapture capture;
    capture.failWith(EIO);
    testing::internal::CaptureStderr();
    errno = EACCES;
    VXLog(0, VX_SEVERITY_ERROR, "line");
    EXPECT_EQ(EACCES, errno);
    testing::internal::GetCapturedStderr();
}

TEST(VXLog, OsErrorCarriesNumberAndText) {
    SlogCapture capture;
    VXLogOsError(1, VX_SEVERITY_ERROR, ENOENT, "opening the page failed");
    VXLogOsError(1, VX_SEVERITY_ERROR, 98765, "odd failure");
    ASSERT_EQ(2u, capture.lines().size());
    EXPECT_EQ(pidPrefix() +
                  "opening the page failed (operating system error 2, No such file or directory)",
              capture.lines()[0].text);
    EXPECT_EQ(pidPrefix() + "odd failure (operating system error 98765, unknown)",
              capture.lines()[1].text);
    EXPECT_EQ((1 << 20) | 10000, capture.lines()[0].opcode);
    EXPECT_EQ(VX_SEVERITY_ERROR, capture.lines()[0].severity);
}

// ---- bounded formatting --------------------------------------------------------------------

TEST(VXFormat, CutOutputKeepsSizeMinusOneCharacters) {
    char buffer[8];
    memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(4, formatInto(buffer, 5, "%s", "abcde"));
    EXPECT_STREQ("abcd", buffer);
    EXPECT_EQ('z', buffer[5]);
}

TEST(VXFormat, ShortOutputReturnsItsLength) {
    char buffer[5];
    EXPECT_EQ(3, formatInto(buffer, 5, "%d", 123));
    EXPECT_STREQ("123", buffer);
    EXPECT_EQ(4, formatInto(buffer, 5, "%s", "wxyz"));
    EXPECT_STREQ("wxyz", buffer);
}

TEST(VXFormat, ZeroSizeFormatsNothing) {
    char buffer[4] = {'k', 'k', 'k', '\0'};
    EXPECT_EQ(0, formatInto(buffer, 0, "%s", "abc"));
    EXPECT_STREQ("kkk", buffer);
    EXPECT_EQ(0, formatInto(nullptr, 0, "%s", "abc"));
}

TEST(VXFormat, MissingBufferIsAnAssertion) {
    TempDir reports;
    ScopedEnvironment directory("VX_ASSERTION_BACKTRACE_DIR", reports.path().c_str());
    SlogCapture capture;
    testing::internal::CaptureStderr();
    const uint32_t before = VXAssertionCount();
    EXPECT_EQ(0, formatInto(nullptr, 10, "%s", "abc"));
    EXPECT_EQ(before + 1, VXAssertionCount());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("\nVXOperatingSystemQNX:")) << err;
}

// ---- allocation ----------------------------------------------------------------------------

TEST(VXMalloc, ZeroBytesGiveNullAndClearErrno) {
    errno = EBUSY;
    EXPECT_EQ(nullptr, VXMalloc(0));
    EXPECT_EQ(0, errno);
    errno = EBUSY;
    EXPECT_EQ(nullptr, VXMallocOrDie(0));
    EXPECT_EQ(0, errno);
}

TEST(VXMalloc, BlocksAreUsableAndFreeAcceptsNull) {
    auto* block = static_cast<unsigned char*>(VXMallocOrDie(64));
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(block) % alignof(std::max_align_t));
    memset(block, 0x5A, 64);
    EXPECT_EQ(0x5A, block[63]);
    VXFree(block);
    VXFree(nullptr);
}

TEST(VXMalloc, WithoutTraceBytesInUseStayZero) {
    ASSERT_EQ(0u, VXDebugSettings().traceMode);
    void* block = VXMalloc(100);
    EXPECT_EQ(0u, VXMemoryBytesInUse());
    VXFree(block);
}

TEST(VXMalloc, ImpossibleRequestFailsWithEnomem) {
    errno = 0;
    EXPECT_EQ(nullptr, VXMalloc(SIZE_MAX));
    EXPECT_EQ(ENOMEM, errno);
}

class VXMallocOrDieFailure : public testing::Test {
protected:
    TempDir m_reports;
    ScopedEnvironment m_directory{"VX_ASSERTION_BACKTRACE_DIR", m_reports.path().c_str()};
    // Larger than any object may be (PTRDIFF_MAX), so it fails on 32-bit systems too.
    const size_t m_hugeSize = SIZE_MAX / 2 + 1;
    const std::string m_message =
        "failed to allocate " + std::to_string(SIZE_MAX / 2 + 1) + " bytes \\(err: 12\\)";
};

TEST_F(VXMallocOrDieFailure, WritesReportAndExitsThroughTheTerminator) {
    ScopedEnvironment abortSwitch("VX_ENABLE_ABORT_ON_FAILED_MEMORY_ALLOCATION", nullptr);
    EXPECT_EXIT(
        {
            VXSlogSetSink(slogToStderr, nullptr);
            atexit(printFromAtexit);
            VXMallocOrDie(m_hugeSize);
        },
        testing::ExitedWithCode(1),
        "slog 10000 1 pid [0-9]+: " + m_message +
            "\nslog 10000 5 pid [0-9]+: terminating process using exit\\(EXIT_FAILURE\\)\n"
            "atexit handler ran\n");
    const std::vector<std::string> files = filesIn(m_reports.path());
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(0u, files[0].rfind("PID", 0));
    EXPECT_EQ(".ass", files[0].substr(files[0].size() - 4));
    const std::string report = readFile(m_reports.file(files[0]));
    EXPECT_EQ(0u, report.find("\n[QNX backtrace] INFO - failed to allocate " +
                              std::to_string(SIZE_MAX / 2 + 1) + " bytes (err: 12)\n\nTID: "))
        << report;
}

TEST_F(VXMallocOrDieFailure, AbortSwitchAbortsAfterLogging) {
    ScopedEnvironment abortSwitch("VX_ENABLE_ABORT_ON_FAILED_MEMORY_ALLOCATION", "");
    EXPECT_EXIT(
        {
            VXSlogSetSink(slogToStderr, nullptr);
            VXMallocOrDie(m_hugeSize);
        },
        testing::KilledBySignal(SIGABRT), "slog 10000 1 pid [0-9]+: " + m_message + "\n$");
}

// ---- termination ---------------------------------------------------------------------------

TEST(VXFatalExit, LogsCriticalThenExitsWithFailureRunningAtexitHandlers) {
    EXPECT_EXIT(
        {
            VXSlogSetSink(slogToStderr, nullptr);
            atexit(printFromAtexit);
            VXFatalExit(2, "stopping: %s %d", "code", 5);
        },
        testing::ExitedWithCode(1),
        "^slog 2107152 1 pid [0-9]+: stopping: code 5\n"
        "slog 10000 5 pid [0-9]+: terminating process using exit\\(EXIT_FAILURE\\)\n"
        "atexit handler ran\n$");
}

TEST(VXFatalExit, FatalExitDuringExitAborts) {
    EXPECT_EXIT(
        {
            VXSlogSetSink(slogToStderr, nullptr);
            atexit(fatalFromAtexit);
            VXFatalExit(0, "first");
        },
        testing::KilledBySignal(SIGABRT),
        "terminating process using exit\\(EXIT_FAILURE\\)\n"
        "slog 10000 1 pid [0-9]+: second fatal exit during exit\n"
        "slog 10000 5 pid [0-9]+: terminating process using abort\\(\\)\n$");
}

TEST(VXFatalExit, ReturningHandlerEndsInAbort) {
    EXPECT_EXIT(
        {
            static char argument[] = "the argument";
            VXSlogSetSink(slogToStderr, nullptr);
            VXSetTerminationHandler(returningHandler, argument);
            VXFatalExit(0, "stop");
        },
        testing::KilledBySignal(SIGABRT),
        "^slog 10000 1 pid [0-9]+: stop\nhandler called with the argument\n$");
}

// ---- clocks and deadlines ------------------------------------------------------------------

uint64_t readClock(clockid_t clockId) {
    timespec now{};
    clock_gettime(clockId, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}

TEST(VXClock, ReadsTheRequestedClock) {
    const uint64_t before = readClock(CLOCK_REALTIME);
    const uint64_t reading = VXClockNanoseconds(CLOCK_REALTIME);
    const uint64_t after = readClock(CLOCK_REALTIME);
    EXPECT_LE(before, reading);
    EXPECT_LE(reading, after);

    const uint64_t monotonicBefore = readClock(CLOCK_MONOTONIC);
    const uint64_t monotonic = VXClockNanoseconds(CLOCK_MONOTONIC);
    const uint64_t counter = VXMonotonicNanoseconds();
    EXPECT_LE(monotonicBefore, monotonic);
    EXPECT_LE(monotonic, counter);
    EXPECT_LE(counter, readClock(CLOCK_MONOTONIC));
}

TEST(VXClock, RejectedClockGivesZero) {
    EXPECT_EQ(0u, VXClockNanoseconds(static_cast<clockid_t>(12345)));
}

TEST(VXDeadline, NegativeMeansNoDeadline) {
    EXPECT_EQ(VX_NO_DEADLINE, VXDeadlineFromMilliseconds(-1));
    EXPECT_EQ(VX_NO_DEADLINE, VXDeadlineFromMilliseconds(INT32_MIN));
}

TEST(VXDeadline, IsNowPlusMillisecondsInNanoseconds) {
    const uint64_t before = VXMonotonicNanoseconds();
    const uint64_t deadline = VXDeadlineFromMilliseconds(250);
    const uint64_t after = VXMonotonicNanoseconds();
    EXPECT_LE(before + 250000000ull, deadline);
    EXPECT_LE(deadline, after + 250000000ull);
    EXPECT_LE(before, VXDeadlineFromMilliseconds(0));
    EXPECT_LE(VXDeadlineFromMilliseconds(INT32_MAX) - VXMonotonicNanoseconds(),
              uint64_t{INT32_MAX} * 1000000ull);
}

// ---- armed time-outs -----------------------------------------------------------------------

class VXArmedTimeout : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0, pipe(m_pipe)); }
    void TearDown() override {
        close(m_pipe[0]);
        close(m_pipe[1]);
    }
    void makeReadable() { ASSERT_EQ(1, write(m_pipe[1], "x", 1)); }
    int m_pipe[2] = {-1, -1};
    static constexpr uint32_t SEND_REPLY = VX_TIMEOUT_SEND | VX_TIMEOUT_REPLY;
};

TEST_F(VXArmedTimeout, NothingArmedMeansReadyWithoutWaiting) {
    EXPECT_EQ(1, VXWaitForArmedTimeout(m_pipe[0], POLLIN));
}

TEST_F(VXArmedTimeout, ExpiresWithEtimedoutAfterTheRelativeTime) {
    ASSERT_EQ(1, VXTimerTimeout(30000000ull, SEND_REPLY));
    const uint64_t start = VXMonotonicNanoseconds();
    errno = 0;
    EXPECT_EQ(0, VXWaitForArmedTimeout(m_pipe[0], POLLIN));
    EXPECT_EQ(ETIMEDOUT, errno);
    EXPECT_GE(VXMonotonicNanoseconds() - start, 30000000ull);
}

TEST_F(VXArmedTimeout, ReadyDescriptorReturnsOneAndDisarms) {
    makeReadable();
    ASSERT_EQ(1, VXTimerTimeout(1000000000ull, SEND_REPLY));
    EXPECT_EQ(1, VXWaitForArmedTimeout(m_pipe[0], POLLIN));
    char byte = 0;
    ASSERT_EQ(1, read(m_pipe[0], &byte, 1));
    // The time-out covered one call only: the next wait does not time out (nor wait).
    EXPECT_EQ(1, VXWaitForArmedTimeout(m_pipe[0], POLLIN));
}

TEST_F(VXArmedTimeout, AbsoluteDeadlineInThePastTimesOutAtOnce) {
    ASSERT_EQ(1, VXTimerTimeoutAbsolute(VXMonotonicNanoseconds() - 1, SEND_REPLY));
    errno = 0;
    EXPECT_EQ(0, VXWaitForArmedTimeout(m_pipe[0], POLLIN));
    EXPECT_EQ(ETIMEDOUT, errno);

    makeReadable();
    ASSERT_EQ(1, VXTimerTimeoutAbsolute(VXMonotonicNanoseconds() - 1, SEND_REPLY));
    EXPECT_EQ(1, VXWaitForArmedTimeout(m_pipe[0], POLLIN));
}

TEST_F(VXArmedTimeout, NoDeadlineWaitsUntilReady) {
    std::thread writer([this] {
        usleep(20000);
        makeReadable();
    });
    ASSERT_EQ(1, VXTimerTimeoutAbsolute(VX_NO_DEADLINE, SEND_REPLY));
    EXPECT_EQ(1, VXWaitForArmedTimeout(m_pipe[0], POLLIN));
    writer.join();
}

TEST_F(VXArmedTimeout, ArmingIsPerThread) {
    ASSERT_EQ(1, VXTimerTimeout(0, SEND_REPLY));
    int otherThreadResult = -1;
    std::thread other([&] { otherThreadResult = VXWaitForArmedTimeout(m_pipe[0], POLLIN); });
    other.join();
    EXPECT_EQ(1, otherThreadResult);
    errno = 0;
    EXPECT_EQ(0, VXWaitForArmedTimeout(m_pipe[0], POLLIN));
    EXPECT_EQ(ETIMEDOUT, errno);
}

void ignoreAlarm(int) {}

TEST_F(VXArmedTimeout, SignalInterruptsTheWaitWithEintr) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = ignoreAlarm;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART
    ASSERT_EQ(0, sigaction(SIGALRM, &action, &previous));
    itimerval timer{};
    timer.it_value.tv_usec = 20000;
    ASSERT_EQ(0, setitimer(ITIMER_REAL, &timer, nullptr));

    ASSERT_EQ(1, VXTimerTimeout(5000000000ull, SEND_REPLY));
    errno = 0;
    EXPECT_EQ(0, VXWaitForArmedTimeout(m_pipe[0], POLLIN));
    EXPECT_EQ(EINTR, errno);

    timer = itimerval{};
    setitimer(ITIMER_REAL, &timer, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
}

} // namespace
