// Tests of the system-logger stand-in and its capturing sink.
#include "foundation/platform/VXSlog.h"
#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(VXSlog, SinksReceiveWholeLinesAndNestInOrder) {
    SlogCapture outer;
    {
        SlogCapture inner;
        EXPECT_EQ(VXSlogf(0x300000 | 10000, VX_SLOG_WARNING, "%s=%d;", "value", 42), 9);
        VXSlogf(1, VX_SLOG_INFO, "%s", std::string(5000, 'q').c_str()); // cut, not dropped
        EXPECT_EQ(inner.lines(), (std::vector<SlogLine>{{0x300000 | 10000, 3, "value=42;"},
                                                        {1, 5, std::string(2047, 'q')}}));
        inner.failWith(ENOENT);
        errno = 0;
        EXPECT_EQ(VXSlogf(1, VX_SLOG_ERROR, "lost"), -1);
        EXPECT_EQ(errno, ENOENT);
        const char* missingFormat = nullptr;
        EXPECT_EQ(VXSlogf(1, VX_SLOG_INFO, missingFormat, 0), -1);
        EXPECT_EQ(errno, EINVAL);
        EXPECT_EQ(inner.lines().size(), 3u);
    }
    VXSlogf(2, VX_SLOG_INFO, "to outer");
    EXPECT_EQ(outer.lines(), (std::vector<SlogLine>{{2, VX_SLOG_INFO, "to outer"}}));
}

TEST(VXSlog, WithoutSinkTheSystemLoggerIsUsedOrItsAbsenceReported) {
    errno = 0;
    const int result = VXSlogf(10000, VX_SLOG_DEBUG2, "foundation test line");
    if (access("/dev/log", F_OK) == 0) {
        EXPECT_EQ(result, 20);
    } else {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(errno, ENOENT);
    }
}

} // namespace
