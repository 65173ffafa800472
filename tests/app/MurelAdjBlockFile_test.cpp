// What the end-to-end tests cannot see of block files: the caller's buffer after a refusal, the
// zero fill of a short file, and errors that need another user than root.
#include "app/MurelAdjBlockFile.h"

#include "app/CMurelAdjLog.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(MurelAdjBlockFile, ShortFileIsZeroFilledAndRefusedFilesLeaveTheBuffer) {
    TempDir dir;
    CVXRCMemoryBuffer buffer;
    ASSERT_TRUE(readAdjustBlockFile(dir.write("short.bin", "0123456789abc").c_str(), buffer));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size()),
              "0123456789abc" + std::string(2036 - 13, '\0'));

    const uint8_t* before = buffer.data();
    CMurelAdjLog::setTarget(CMurelAdjLog::TARGET_SYSLOG);
    for (const std::string& path :
         {dir.write("twelve.bin", "0123456789ab"), dir.path(), dir.file("missing.bin")}) {
        EXPECT_FALSE(readAdjustBlockFile(path.c_str(), buffer)) << path;
        EXPECT_EQ(buffer.data(), before);
        EXPECT_EQ(buffer.size(), 2036u);
    }
}

TEST(MurelAdjBlockFile, UnreadableFileIsAReadFailure) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not keep root from reading";
    }
    TempDir dir;
    const std::string path = dir.write("locked.bin", std::string(2036, 'x'));
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    CVXRCMemoryBuffer buffer;
    CMurelAdjLog::setTarget(CMurelAdjLog::TARGET_STDERR);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(readAdjustBlockFile(path.c_str(), buffer));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velkor: ERROR: failed to read file '" + path + "', errno: <13|Permission denied>\n");
}

} // namespace
