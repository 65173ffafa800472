// The operating-system layer: system and process log, bounded formatting, allocation, armed
// time-outs and pre-faulting.
#include "foundation/VXOperatingSystem.h"

#include "foundation/platform/VXClock.h"
#include "foundation/platform/VXMemory.h"
#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/Emulator.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <sys/mman.h>
#include <sys/time.h>
#include <thread>

// Huge requests must fail with a null block instead of a sanitizer report, as plain malloc does.
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

TEST(VXLog, SinksAndTheProcessLogGetOneLineCutToItsLimit) {
    SlogCapture outer;
    {
        SlogCapture inner;
        EXPECT_EQ(VXSlogf(0x300000 | 10000, VX_SLOG_WARNING, "%s=%d;", "value", 42), 9);
        VXSlogf(1, VX_SLOG_INFO, "%s", std::string(5000, 'q').c_str());
        VXLog(3, VX_SEVERITY_NOTICE, "attached %s (%d items)", "page", 7);
        const char* missingFormat = nullptr;
        VXLog(0, VX_SEVERITY_INFO, missingFormat, 0); // logs nothing
        VXLog(0, VX_SEVERITY_INFO, "%s", std::string(2000, 'm').c_str());
        VXLogOsError(1, VX_SEVERITY_ERROR, ENOENT, "opening the page failed");
        VXLogOsError(0, VX_SEVERITY_ERROR, 98765, "odd failure");
        EXPECT_EQ(inner.take(),
                  (std::vector<SlogLine>{
                      {0x300000 | 10000, 3, "value=42;"},
                      {1, 5, std::string(2047, 'q')},
                      {(3 << 20) | 10000, 4, processLine(4, "attached page (7 items)").text},
                      processLine(5, std::string(1024 - processLine(5, "").text.size(), 'm')),
                      {(1 << 20) | 10000, 2,
                       processLine(2, "opening the page failed (operating system error 2, No "
                                      "such file or directory)")
                           .text},
                      processLine(2, "odd failure (operating system error 98765, unknown)")}));
        inner.failWith(ENOENT);
        errno = 0;
        EXPECT_EQ(VXSlogf(1, VX_SLOG_ERROR, "lost"), -1);
        EXPECT_EQ(errno, ENOENT);
        EXPECT_EQ(VXSlogf(1, VX_SLOG_INFO, missingFormat, 0), -1);
        EXPECT_EQ(errno, EINVAL);
        // A logger that is absent is silent; other failures go to standard error, errno kept.
        for (const auto& [failure, output] :
             {std::pair{ENOENT, std::string()},
              std::pair{EIO, "pid: " + std::to_string(getpid()) +
                                 ": cannot write to syslog: Input/output error\n"}}) {
            inner.failWith(failure);
            testing::internal::CaptureStderr();
            errno = EACCES;
            VXLog(0, VX_SEVERITY_ERROR, "lost line");
            EXPECT_EQ(errno, EACCES);
            EXPECT_EQ(testing::internal::GetCapturedStderr(), output);
        }
    }
    VXSlogf(2, VX_SLOG_INFO, "to outer");
    EXPECT_EQ(outer.take(), (std::vector<SlogLine>{{2, VX_SLOG_INFO, "to outer"}}));
}

int32_t formatInto(char* buffer, int32_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int32_t formatInto(char* buffer, int32_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int32_t result = VXFormat(buffer, size, format, args);
    va_end(args);
    return result;
}

TEST(VXFormat, StoresWhatFitsAndReturnsItsLength) {
    const TempDir reports;
    ScopedEnvironment directory("VX_ASSERTION_BACKTRACE_DIR", reports.path().c_str());
    // buffer given, size, result, what the buffer then holds, report
    const std::tuple<bool, int32_t, int32_t, const char*, const char*> rows[] = {
        {true, 5, 4, "abcd", nullptr},
        {true, 4, 3, "abc", nullptr},
        {true, 0, 0, "kkkkkkk", nullptr},
        {false, 0, 0, "kkkkkkk", nullptr},
        {false, 10, 0, "kkkkkkk", "VXFormat: no buffer for a non-zero size"},
        {true, -1, 0, "kkkkkkk", "VXFormat: negative buffer size"},
    };
    for (const auto& [given, size, result, stored, report] : rows) {
        char buffer[8] = "kkkkkkk";
        SlogCapture log;
        testing::internal::CaptureStderr();
        EXPECT_EQ(formatInto(given ? buffer : nullptr, size, "%s", "abcd"), result) << size;
        testing::internal::GetCapturedStderr();
        EXPECT_STREQ(buffer, stored);
        EXPECT_EQ(countAssertionReports(log.take(), "VXOperatingSystemQNX", report ? report : ""),
                  report ? 1 : 0);
    }
}

TEST(VXMalloc, ZeroBytesGiveNullHugeRequestsFailAndOthersUsableBlocks) {
    for (void* (*allocate)(size_t) : {VXMalloc, VXMallocOrDie}) {
        errno = EBUSY;
        EXPECT_EQ(allocate(0), nullptr);
        EXPECT_EQ(errno, 0);
    }
    void* block = VXMallocOrDie(64);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignof(std::max_align_t), 0u);
    std::memset(block, 0x5A, 64);
    EXPECT_EQ(VXMemoryBytesInUse(), 0u); // no trace in this process
    VXFree(block);
    VXFree(nullptr);
    EXPECT_EQ(VXMalloc(SIZE_MAX), nullptr);
    EXPECT_EQ(errno, ENOMEM);
}

// A time-out armed on a thread bounds that thread's next wait for a pipe, and that one only.
TEST(VXArmedTimeout, BoundsTheNextWaitOfThisThreadOnly) {
    int pipeEnds[2] = {-1, -1};
    ASSERT_EQ(pipe(pipeEnds), 0);
    const auto wait = [&pipeEnds](uint64_t nanoseconds) {
        if (nanoseconds != 0) {
            EXPECT_EQ(VXTimerTimeout(nanoseconds, VX_TIMEOUT_SEND | VX_TIMEOUT_REPLY), 1);
        }
        errno = 0;
        return VXWaitForArmedTimeout(pipeEnds[0], POLLIN) == 1 ? "ready" : strerrorname_np(errno);
    };
    const uint64_t start = VXMonotonicNanoseconds();
    EXPECT_STREQ(wait(30000000), "ETIMEDOUT");
    EXPECT_GE(VXMonotonicNanoseconds() - start, 30000000u);
    EXPECT_STREQ(wait(0), "ready");
    EXPECT_EQ(VXTimerTimeoutAbsolute(start, VX_TIMEOUT_SEND), 1); // a deadline in the past
    std::thread([&] { EXPECT_STREQ(wait(0), "ready"); }).join();
    EXPECT_STREQ(wait(0), "ETIMEDOUT");
    ASSERT_EQ(write(pipeEnds[1], "x", 1), 1);
    EXPECT_EQ(VXTimerTimeoutAbsolute(start, VX_TIMEOUT_SEND), 1);
    EXPECT_STREQ(wait(0), "ready"); // a ready descriptor wins

    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = [](int) {}; // no SA_RESTART
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    char byte = 0;
    ASSERT_EQ(read(pipeEnds[0], &byte, 1), 1);
    const itimerval once{{0, 0}, {0, 20000}};
    ASSERT_EQ(setitimer(ITIMER_REAL, &once, nullptr), 0);
    EXPECT_STREQ(wait(60000000000), "EINTR");
    sigaction(SIGALRM, &previous, nullptr);
    close(pipeEnds[0]), close(pipeEnds[1]);
}

TEST(VXPlatformPrefault, BacksTheWholePagesOfTheRangeAndKeepsTheirContents) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* mapped =
        mmap(nullptr, 8 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    auto* memory = static_cast<unsigned char*>(mapped);
    memory[2 * page + 5] = 0xA5;
    errno = EBADF;
    VXPlatformPrefault(memory + page + page / 2, 5 * page); // pages 2 to 5 are whole
    EXPECT_EQ(errno, EBADF);
    unsigned char resident[8] = {};
    ASSERT_EQ(mincore(mapped, 8 * page, resident), 0);
    for (size_t index = 0; index < 8 && !kUnderEmulator; ++index) { // qemu ignores the hint
        EXPECT_EQ(resident[index] & 1, index >= 2 && index <= 5 ? 1 : 0) << "page " << index;
    }
    EXPECT_EQ(memory[2 * page + 5], 0xA5);
    EXPECT_EQ(memory[3 * page], 0);
    VXPlatformPrefault(nullptr, page); // nothing to do, no crash
    munmap(mapped, 8 * page);
}

} // namespace
