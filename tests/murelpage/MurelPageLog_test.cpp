#include "murelpage/MurelPageLog.h"
#include "tests/murelpage/MurelPageTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace {

int failingSink(void*, int, int, const char*) {
    errno = ENOENT;
    return -1;
}

// Lines carry the version, process, thread, function and level; a line leaves errno as it was.
TEST(MurelPageLogTest, LineFormatAndErrno) {
    CCapturedSlog log;
    MURELPAGE_LOG_ERROR("FuncA", "failed with <%d|%s>", 2, "No such file or directory");
    MURELPAGE_LOG_WARNING("FuncB", "MURELPAGE_COND_EINTR");
    MURELPAGE_LOG_INFO("FuncC", "  %x %x", 0xfe, 0xaa);
    std::string otherThread; // the prefix of another thread differs in its id
    std::thread([&otherThread] {
        otherThread = murelPagePrefix("F") + "INFO: x";
        MURELPAGE_LOG_INFO("F", "x");
    }).join();
    EXPECT_NE(otherThread, murelPagePrefix("F") + "INFO: x");
    const std::vector<std::string> expected = {
        murelPagePrefix("FuncA") + "ERROR: failed with <2|No such file or directory>",
        murelPagePrefix("FuncB") + "WARNING: MURELPAGE_COND_EINTR",
        murelPagePrefix("FuncC") + "INFO:   fe aa", otherThread};
    EXPECT_EQ(log.texts, expected);
    EXPECT_EQ(log.severities, (std::vector<int>{2, 3, 3, 3}));
    EXPECT_EQ(log.opcodes, std::vector<int>(4, 0x100002));

    VXSlogSetSink(&failingSink, nullptr);
    errno = EBADF;
    MURELPAGE_LOG_ERROR("F", "text");
    EXPECT_EQ(errno, EBADF);
}

} // namespace
