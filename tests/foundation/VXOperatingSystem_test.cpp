// Tests of the operating-system layer: process log, bounded formatting, allocation policy,
// termination, clocks, deadlines and armed time-outs.
#include "foundation/VXOperatingSystem.h"

#include "foundation/VXAssert.h"
#include "foundation/platform/VXClock.h"
#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/Emulator.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <sys/time.h>

// Huge requests must fail with a null block instead of a sanitizer report, as plain malloc does.
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

int32_t formatInto(char* buffer, int32_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int32_t formatInto(char* buffer, int32_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int32_t result = VXFormat(buffer, size, format, args);
    va_end(args);
    return result;
}

TEST(VXLog, OneLineWithPidPrefixOpcodeAndSeverityCutTo1024Characters) {
    SlogCapture capture;
    VXLog(3, VX_SEVERITY_NOTICE, "attached %s (%d items)", "page", 7);
    const char* missingFormat = nullptr;
    VXLog(0, VX_SEVERITY_INFO, missingFormat, 0); // logs nothing
    VXLog(0, VX_SEVERITY_INFO, "%s", std::string(2000, 'm').c_str());
    VXLogOsError(1, VX_SEVERITY_ERROR, ENOENT, "opening the page failed");
    VXLogOsError(0, VX_SEVERITY_ERROR, 98765, "odd failure");
    EXPECT_EQ(capture.take(),
              (std::vector<SlogLine>{
                  {(3 << 20) | 10000, 4, pidPrefix() + "attached page (7 items)"},
                  processLine(5, std::string(1024 - pidPrefix().size(), 'm')),
                  {(1 << 20) | 10000, 2,
                   pidPrefix() + "opening the page failed (operating system error 2, No such "
                                 "file or directory)"},
                  processLine(2, "odd failure (operating system error 98765, unknown)")}));

    // An absent logger is silent; other failures go to standard error, errno kept.
    for (const auto& [failure, output] :
         {std::pair{ENOENT, std::string()},
          std::pair{EIO, "pid: " + std::to_string(getpid()) +
                             ": cannot write to syslog: Input/output error\n"}}) {
        capture.failWith(failure);
        testing::internal::CaptureStderr();
        errno = EACCES;
        VXLog(0, VX_SEVERITY_ERROR, "lost line");
        EXPECT_EQ(errno, EACCES);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), output);
    }
}

TEST(VXFormat, StoresWhatFitsAndReturnsItsLength) {
    // size, text, result, what the buffer then holds
    const std::tuple<int32_t, const char*, int32_t, const char*> rows[] = {
        {5, "abcde", 4, "abcd"}, {5, "wxyz", 4, "wxyz"}, {0, "abc", 0, "kkkkkkk"}};
    for (const auto& [size, text, result, stored] : rows) {
        char buffer[8] = "kkkkkkk";
        EXPECT_EQ(formatInto(buffer, size, "%s", text), result) << text;
        EXPECT_STREQ(buffer, stored);
        EXPECT_EQ(buffer[5], 'k');
    }
    EXPECT_EQ(formatInto(nullptr, 0, "%s", "abc"), 0);

    TempDir reports;
    ScopedEnvironment directory("VX_ASSERTION_BACKTRACE_DIR", reports.path().c_str());
    SlogCapture capture;
    testing::internal::CaptureStderr();
    char buffer[4] = "kkk";
    EXPECT_EQ(formatInto(nullptr, 10, "%s", "abc"), 0);
    EXPECT_EQ(formatInto(buffer, -1, "%s", "abc"), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_STREQ(buffer, "kkk");
    for (const char* message :
         {"VXFormat: no buffer for a non-zero size", "VXFormat: negative buffer size"}) {
        EXPECT_EQ(countAssertionReports(capture.lines(), "VXOperatingSystemQNX", message), 1);
    }
}

TEST(VXMalloc, ZeroBytesGiveNullAndOthersUsableBlocks) {
    for (void* (*allocate)(size_t) : {VXMalloc, VXMallocOrDie}) {
        errno = EBUSY;
        EXPECT_EQ(allocate(0), nullptr);
        EXPECT_EQ(errno, 0);
    }
    auto* block = static_cast<unsigned char*>(VXMallocOrDie(64));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignof(std::max_align_t), 0u);
    std::memset(block, 0x5A, 64);
    EXPECT_EQ(VXMemoryBytesInUse(), 0u); // no trace in this process
    VXFree(block);
    VXFree(nullptr);
    errno = 0;
    EXPECT_EQ(VXMalloc(SIZE_MAX), nullptr);
    EXPECT_EQ(errno, ENOMEM);
}

TEST(VXMallocOrDie, FailureWritesAReportAndExitsThroughTheTerminatorOrAbortsOnRequest) {
    const TempDir reports;
    ScopedEnvironment directory{"VX_ASSERTION_BACKTRACE_DIR", reports.path().c_str()};
    // Larger than any object may be (PTRDIFF_MAX), so it fails on 32-bit systems too.
    constexpr size_t hugeSize = SIZE_MAX / 2 + 1;
    const std::string message = "failed to allocate " + std::to_string(hugeSize) + " bytes";
    const auto allocate = [] {
        VXSlogSetSink(slogToStderr, nullptr);
        atexit(printFromAtexit);
        VXMallocOrDie(hugeSize);
    };
    {
        ScopedEnvironment abortSwitch("VX_ENABLE_ABORT_ON_FAILED_MEMORY_ALLOCATION", nullptr);
        EXPECT_EXIT(allocate(), testing::ExitedWithCode(1),
                    "slog 10000 1 pid [0-9]+: " + message +
                        " \\(err: 12\\)\nslog 10000 5 pid [0-9]+: terminating process using "
                        "exit\\(EXIT_FAILURE\\)\natexit handler ran\n");
    }
    const std::string report = reportsIn(reports.path());
    EXPECT_EQ(report.find("\n[QNX backtrace] INFO - " + message + " (err: 12)\n\nTID: "), 0u);
    EXPECT_EQ(countOccurrences(report, "[QNX backtrace]"), 1u);

    ScopedEnvironment abortSwitch("VX_ENABLE_ABORT_ON_FAILED_MEMORY_ALLOCATION", "");
    EXPECT_EXIT(allocate(), testing::KilledBySignal(SIGABRT),
                abortedAfter("slog 10000 1 pid [0-9]+: " + message + " \\(err: 12\\)\n"));
}

void fatalFromAtexit() {
    VXFatalExit(0, "second fatal exit during exit");
}

void returningHandler(void* argument) {
    fprintf(stderr, "handler called with %s\n", static_cast<const char*>(argument));
}

TEST(VXFatalExit, LogsCriticalThenRunsTheTerminationHandler) {
    static char argument[] = "the argument";
    const struct {
        std::function<void()> prepare;
        std::function<bool(int)> ending;
        std::string output;
    } rows[] = {
        {[] { atexit(printFromAtexit); }, testing::ExitedWithCode(1),
         "^slog 2107152 1 pid [0-9]+: stopping: code 5\n"
         "slog 10000 5 pid [0-9]+: terminating process using exit\\(EXIT_FAILURE\\)\n"
         "atexit handler ran\n$"},
        // A fatal exit during exit processing ends in abort.
        {[] { atexit(fatalFromAtexit); }, testing::KilledBySignal(SIGABRT),
         abortedAfter("terminating process using exit\\(EXIT_FAILURE\\)\n"
                      "slog 10000 1 pid [0-9]+: second fatal exit during exit\n"
                      "slog 10000 5 pid [0-9]+: terminating process using abort\\(\\)\n")},
        // So does a termination handler that returns.
        {[] { VXSetTerminationHandler(returningHandler, argument); },
         testing::KilledBySignal(SIGABRT),
         abortedAfter("^slog 2107152 1 pid [0-9]+: stopping: code 5\n"
                      "handler called with the argument\n")},
    };
    for (const auto& row : rows) {
        EXPECT_EXIT(
            {
                VXSlogSetSink(slogToStderr, nullptr);
                row.prepare();
                VXFatalExit(2, "stopping: %s %d", "code", 5);
            },
            row.ending, row.output);
    }
}

TEST(VXClock, ReadsTheRequestedClockAndGivesDeadlines) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    EXPECT_NEAR(VXMonotonicNanoseconds() / 1e9, static_cast<double>(now.tv_sec), 2.0);
    EXPECT_NEAR(VXClockNanoseconds(CLOCK_MONOTONIC) / 1e9, static_cast<double>(now.tv_sec), 2.0);
    EXPECT_NEAR(VXClockNanoseconds(CLOCK_REALTIME) / 1e9, static_cast<double>(time(nullptr)), 2.0);
    EXPECT_EQ(VXClockNanoseconds(static_cast<clockid_t>(12345)), 0u); // rejected by the kernel

    EXPECT_EQ(VXDeadlineFromMilliseconds(-1), VX_NO_DEADLINE);
    EXPECT_EQ(VXDeadlineFromMilliseconds(INT32_MIN), VX_NO_DEADLINE);
    const uint64_t start = VXMonotonicNanoseconds();
    const uint64_t deadline = VXDeadlineFromMilliseconds(250);
    EXPECT_LE(start + 250000000ull, deadline);
    EXPECT_LE(deadline, VXMonotonicNanoseconds() + 250000000ull);
    EXPECT_LE(start, VXDeadlineFromMilliseconds(0));
    EXPECT_LE(VXDeadlineFromMilliseconds(INT32_MAX) - VXMonotonicNanoseconds(),
              uint64_t{INT32_MAX} * 1000000ull);
}

class VXArmedTimeout : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(pipe(m_pipe), 0); }
    void TearDown() override { close(m_pipe[0]), close(m_pipe[1]); }
    void makeReadable() { ASSERT_EQ(write(m_pipe[1], "x", 1), 1); }
    // The wait's result, and errno when it is 0.
    std::string waitForReading() {
        errno = 0;
        const int result = VXWaitForArmedTimeout(m_pipe[0], POLLIN);
        return result == 1 ? "ready" : std::to_string(result) + " " + std::strerror(errno);
    }
    int m_pipe[2] = {-1, -1};
    static constexpr uint32_t SEND_REPLY = VX_TIMEOUT_SEND | VX_TIMEOUT_REPLY;
    const std::string m_timedOut = "0 " + std::string(std::strerror(ETIMEDOUT));
};

TEST_F(VXArmedTimeout, ExpiresAfterTheTimeOnThisThreadOnly) {
    EXPECT_EQ(waitForReading(), "ready"); // nothing armed: no wait
    // Read before arming: the time-out runs from the arming.
    const uint64_t start = VXMonotonicNanoseconds();
    ASSERT_EQ(VXTimerTimeout(30000000ull, SEND_REPLY), 1);
    EXPECT_EQ(waitForReading(), m_timedOut);
    EXPECT_GE(VXMonotonicNanoseconds() - start, 30000000ull);

    ASSERT_EQ(VXTimerTimeout(0, SEND_REPLY), 1);
    std::string otherThread;
    std::thread([&] { otherThread = waitForReading(); }).join();
    EXPECT_EQ(otherThread, "ready");
    EXPECT_EQ(waitForReading(), m_timedOut);

    ASSERT_EQ(VXTimerTimeoutAbsolute(VXMonotonicNanoseconds() - 1, SEND_REPLY), 1);
    EXPECT_EQ(waitForReading(), m_timedOut); // a deadline in the past: at once
}

TEST_F(VXArmedTimeout, ReadyDescriptorEndsTheWaitAndDisarms) {
    makeReadable();
    ASSERT_EQ(VXTimerTimeout(1000000000ull, SEND_REPLY), 1);
    EXPECT_EQ(waitForReading(), "ready");
    ASSERT_EQ(VXTimerTimeoutAbsolute(VXMonotonicNanoseconds() - 1, SEND_REPLY), 1);
    EXPECT_EQ(waitForReading(), "ready");
    char byte = 0;
    ASSERT_EQ(read(m_pipe[0], &byte, 1), 1);
    EXPECT_EQ(waitForReading(), "ready"); // the time-out covered one call only

    std::thread writer([this] {
        usleep(20000);
        makeReadable();
    });
    ASSERT_EQ(VXTimerTimeoutAbsolute(VX_NO_DEADLINE, SEND_REPLY), 1);
    EXPECT_EQ(waitForReading(), "ready");
    writer.join();
}

TEST_F(VXArmedTimeout, SignalInterruptsTheWaitWithEintr) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = [](int) {}; // no SA_RESTART
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    const itimerval once{{0, 0}, {0, 20000}};
    const itimerval stop{};
    ASSERT_EQ(setitimer(ITIMER_REAL, &once, nullptr), 0);
    ASSERT_EQ(VXTimerTimeout(5000000000ull, SEND_REPLY), 1);
    EXPECT_EQ(waitForReading(), "0 " + std::string(std::strerror(EINTR)));
    setitimer(ITIMER_REAL, &stop, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
}

} // namespace
