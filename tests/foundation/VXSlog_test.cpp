// Tests of the system-logger stand-in: priorities and the capturing sink.
#include "foundation/platform/VXSlog.h"
#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <syslog.h>
#include <unistd.h>

namespace {

TEST(VXSlog, SeveritiesMapToSyslogPriorities) {
    EXPECT_EQ(LOG_EMERG, VXSlogPriority(VX_SLOG_SHUTDOWN));
    EXPECT_EQ(LOG_CRIT, VXSlogPriority(VX_SLOG_CRITICAL));
    EXPECT_EQ(LOG_ERR, VXSlogPriority(VX_SLOG_ERROR));
    EXPECT_EQ(LOG_WARNING, VXSlogPriority(VX_SLOG_WARNING));
    EXPECT_EQ(LOG_NOTICE, VXSlogPriority(VX_SLOG_NOTICE));
    EXPECT_EQ(LOG_INFO, VXSlogPriority(VX_SLOG_INFO));
    EXPECT_EQ(LOG_DEBUG, VXSlogPriority(VX_SLOG_DEBUG1));
    EXPECT_EQ(LOG_DEBUG, VXSlogPriority(VX_SLOG_DEBUG2));
    EXPECT_EQ(LOG_DEBUG, VXSlogPriority(8));
    EXPECT_EQ(LOG_DEBUG, VXSlogPriority(-1));
}

TEST(VXSlog, SinkReceivesOpcodeSeverityAndFormattedText) {
    SlogCapture capture;
    EXPECT_EQ(9, VXSlogf(0x300000 | 10000, VX_SLOG_WARNING, "%s=%d;", "value", 42));
    ASSERT_EQ(1u, capture.lines().size());
    EXPECT_EQ(0x300000 | 10000, capture.lines()[0].opcode);
    EXPECT_EQ(VX_SLOG_WARNING, capture.lines()[0].severity);
    EXPECT_EQ("value=42;", capture.lines()[0].text);
}

TEST(VXSlog, SinkFailureIsReturnedWithErrno) {
    SlogCapture capture;
    capture.failWith(ENOENT);
    errno = 0;
    EXPECT_EQ(-1, VXSlogf(1, VX_SLOG_ERROR, "lost"));
    EXPECT_EQ(ENOENT, errno);
}

TEST(VXSlog, NestedSinksAreRestoredInOrder) {
    SlogCapture outer;
    {
        SlogCapture inner;
        VXSlogf(1, VX_SLOG_INFO, "to inner");
        EXPECT_EQ(1u, inner.lines().size());
    }
    VXSlogf(2, VX_SLOG_INFO, "to outer");
    ASSERT_EQ(1u, outer.lines().size());
    EXPECT_EQ("to outer", outer.lines()[0].text);
}

TEST(VXSlog, OverlongLineIsCutNotDropped) {
    SlogCapture capture;
    const std::string text(5000, 'q');
    VXSlogf(1, VX_SLOG_INFO, "%s", text.c_str());
    ASSERT_EQ(1u, capture.lines().size());
    EXPECT_EQ(std::string(2047, 'q'), capture.lines()[0].text);
}

TEST(VXSlog, WithoutSinkTheSystemLoggerIsUsedOrItsAbsenceReported) {
    errno = 0;
    const int result = VXSlogf(10000, VX_SLOG_DEBUG2, "foundation test line");
    if (access("/dev/log", F_OK) == 0) {
        EXPECT_EQ(20, result);
    } else {
        EXPECT_EQ(-1, result);
        EXPECT_EQ(ENOENT, errno);
    }
}

TEST(VXSlog, MissingFormatFailsWithEinval) {
    SlogCapture capture;
    const char* missingFormat = nullptr;
    errno = 0;
    EXPECT_EQ(-1, VXSlogf(1, VX_SLOG_INFO, missingFormat, 0));
    EXPECT_EQ(EINVAL, errno);
    EXPECT_TRUE(capture.lines().empty());
}

} // namespace
