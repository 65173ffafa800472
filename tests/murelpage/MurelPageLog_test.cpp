#include "murelpage/MurelPageLog.h"
#include "tests/murelpage/MurelPageTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace {

TEST(MurelPageLogTest, LinesCarryVersionProcessThreadFunctionAndLevel) {
    CCapturedSlog log;
    MURELPAGE_LOG_ERROR("FuncA", "failed with <%d|%s>", 2, "No such file or directory");
    MURELPAGE_LOG_WARNING("FuncB", "MURELPAGE_COND_EINTR");
    MURELPAGE_LOG_INFO("FuncC", "  %x %x", 0xfe, 0xaa);
    ASSERT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(log.lines()[0].text,
              murelPagePrefix("FuncA") + "ERROR: failed with <2|No such file or directory>");
    EXPECT_EQ(log.lines()[1].text, murelPagePrefix("FuncB") + "WARNING: MURELPAGE_COND_EINTR");
    EXPECT_EQ(log.lines()[2].text, murelPagePrefix("FuncC") + "INFO:   fe aa");
    EXPECT_EQ(log.lines()[0].severity, 2);
    EXPECT_EQ(log.lines()[1].severity, 3);
    EXPECT_EQ(log.lines()[2].severity, 3);
    for (const CCapturedLine& line : log.lines()) {
        EXPECT_EQ(line.opcode, 0x100002);
    }
}

TEST(MurelPageLogTest, ThreadIdIsTheCallingThreads) {
    CCapturedSlog log;
    std::string expected;
    std::thread other([&expected] {
        expected = murelPagePrefix("F") + "INFO: x";
        MURELPAGE_LOG_INFO("F", "x");
    });
    other.join();
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].text, expected);
    EXPECT_NE(log.lines()[0].text, murelPagePrefix("F") + "INFO: x");
}

int failingSink(void*, int, int, const char*) {
    errno = ENOENT;
    return -1;
}

TEST(MurelPageLogTest, ErrnoIsTheSameAfterALine) {
    VXSlogSink previous = nullptr;
    void* previousContext = nullptr;
    VXSlogSetSink(&failingSink, nullptr, &previous, &previousContext);
    errno = EBADF;
    MURELPAGE_LOG_ERROR("F", "text");
    EXPECT_EQ(errno, EBADF);
    VXSlogSetSink(previous, previousContext);
}

} // namespace
