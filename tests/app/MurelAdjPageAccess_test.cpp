#include "app/MurelAdjPageAccess.h"

#include "app/CMurelAdjLog.h"
#include "foundation/VXAssert.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

TEST(MurelAdjPageAccess, ResultNames) {
    const char* const names[] = {"OK",
                                 "INVALID_ID",
                                 "NOT_VALUE",
                                 "PAGE_VERSION_MISMATCH",
                                 "ITEM_VERSION_MISMATCH",
                                 "ERROR_ATTACH_SHMEM",
                                 "ERROR_ATTACH_SHACC",
                                 "LOCK_TIMEOUT",
                                 "ERROR_INIT_SYSPAGE",
                                 "INVALID_SIZE",
                                 "INCONVERTIBLE",
                                 "UNKNOWN"};
    const uint32_t before = VXAssertionCount();
    for (uint32_t value = 0; value < 12; ++value) {
        EXPECT_STREQ(pageResultName(value), names[value]) << value;
    }
    EXPECT_EQ(VXAssertionCount(), before);
}

TEST(MurelAdjPageAccess, UnknownResultIsReportedAndHasAnEmptyName) {
    const uint32_t before = VXAssertionCount();
    EXPECT_STREQ(pageResultName(12), "");
    EXPECT_STREQ(pageResultName(0xFFFFFFFFu), "");
    EXPECT_EQ(VXAssertionCount(), before + 2);
}

TEST(MurelAdjPageAccess, GivenPathIsUsedUnchanged) {
    setenv("MUREL_PAGE", "/from-environment", 1);
    EXPECT_STREQ(settlePagePath("/given", "MUREL_PAGE", "/murelpage").c_str(), "/given");
    EXPECT_STREQ(settlePagePath(" /given ", "MUREL_PAGE", "/murelpage").c_str(), " /given ");
    unsetenv("MUREL_PAGE");
}

TEST(MurelAdjPageAccess, EmptyPathIsTakenTrimmedFromTheEnvironmentElseTheDefault) {
    unsetenv("MUREL_PAGELOCK");
    EXPECT_STREQ(settlePagePath("", "MUREL_PAGELOCK", "/murelpage-lock").c_str(),
                 "/murelpage-lock");
    setenv("MUREL_PAGELOCK", "", 1);
    EXPECT_STREQ(settlePagePath("", "MUREL_PAGELOCK", "/murelpage-lock").c_str(),
                 "/murelpage-lock");
    setenv("MUREL_PAGELOCK", " \t\r\n ", 1);
    EXPECT_STREQ(settlePagePath("", "MUREL_PAGELOCK", "/murelpage-lock").c_str(),
                 "/murelpage-lock");
    setenv("MUREL_PAGELOCK", " \t/x\n ", 1);
    EXPECT_STREQ(settlePagePath("", "MUREL_PAGELOCK", "/murelpage-lock").c_str(), "/x");
    unsetenv("MUREL_PAGELOCK");
}

TEST(MurelAdjPageAccess, FailedAttachIsLoggedAndLeavesTheBufferAsItWas) {
    CMurelAdjLog::setTarget(CMurelAdjLog::TARGET_STDERR);
    const std::string page = uniqueShmName("page");
    const std::string lock = uniqueShmName("lock");

    CVXRCMemoryBuffer buffer(5);
    memcpy(buffer.writableData(), "abcde", 5);
    const uint8_t* before = buffer.data();

    testing::internal::CaptureStderr();
    const bool result = getAdjustBlock(page.c_str(), lock.c_str(), buffer);
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_FALSE(result);
    EXPECT_EQ(buffer.size(), 5u);
    EXPECT_EQ(buffer.data(), before);
    EXPECT_EQ(memcmp(buffer.data(), "abcde", 5), 0);
    const std::string expected = "velkor: ERROR: failed attach, page: '" + page + "', pagelock: '" +
                                 lock + "', res: ERROR_ATTACH_SHMEM\n";
    EXPECT_NE(err.find(expected), std::string::npos) << err;
}

} // namespace
