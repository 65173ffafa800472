#include "app/MurelAdjPageAccess.h"

#include "app/CMurelAdjLog.h"
#include "foundation/VXAssert.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(MurelAdjPageAccess, ResultNamesAndOutOfRangeResults) {
    const uint32_t before = VXAssertionCount();
    std::string names;
    for (uint32_t result = 0; result < 12; ++result) {
        names += std::string(pageResultName(result)) + " ";
    }
    EXPECT_EQ(names, "OK INVALID_ID NOT_VALUE PAGE_VERSION_MISMATCH ITEM_VERSION_MISMATCH "
                     "ERROR_ATTACH_SHMEM ERROR_ATTACH_SHACC LOCK_TIMEOUT ERROR_INIT_SYSPAGE "
                     "INVALID_SIZE INCONVERTIBLE UNKNOWN ");
    EXPECT_EQ(VXAssertionCount(), before);
    EXPECT_STREQ(pageResultName(12), "");
    EXPECT_STREQ(pageResultName(0xFFFFFFFFu), "");
    EXPECT_EQ(VXAssertionCount(), before + 2);
}

TEST(MurelAdjPageAccess, FailedAttachLeavesTheBufferAsItWas) {
    CMurelAdjLog::setTarget(CMurelAdjLog::TARGET_STDERR);
    CVXRCMemoryBuffer buffer(5);
    memcpy(buffer.writableData(), "abcde", 5);
    const uint8_t* before = buffer.data();
    const std::string page = uniqueShmName("page");
    const std::string lock = uniqueShmName("lock");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(getAdjustBlock(page.c_str(), lock.c_str(), buffer));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "velkor: ERROR: failed attach, page: '" +
                                                          page + "', pagelock: '" + lock +
                                                          "', res: ERROR_ATTACH_SHMEM\n");
    EXPECT_EQ(buffer.data(), before);
    EXPECT_EQ(buffer.size(), 5u);
    EXPECT_EQ(memcmp(buffer.data(), "abcde", 5), 0);
}

} // namespace
