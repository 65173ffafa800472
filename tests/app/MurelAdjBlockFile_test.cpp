#include "app/MurelAdjBlockFile.h"

#include "app/CMurelAdjLog.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string patternBytes(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>(0x80 + (i % 97));
    }
    return bytes;
}

class MurelAdjBlockFile : public testing::Test {
protected:
    void SetUp() override { CMurelAdjLog::setTarget(CMurelAdjLog::TARGET_STDERR); }

    TempDir m_dir;
};

TEST_F(MurelAdjBlockFile, ShortFileIsReadIntoAZeroFilledBlock) {
    const std::string bytes = patternBytes(13);
    const std::string path = m_dir.write("short.bin", bytes);
    CVXRCMemoryBuffer buffer;
    ASSERT_TRUE(readAdjustBlockFile(path.c_str(), buffer));
    ASSERT_EQ(buffer.size(), 2036u);
    EXPECT_EQ(memcmp(buffer.data(), bytes.data(), 13), 0);
    for (uint32_t i = 13; i < 2036; ++i) {
        ASSERT_EQ(buffer.data()[i], 0) << i;
    }
}

TEST_F(MurelAdjBlockFile, LongFileContributesItsFirstBlockOnly) {
    const std::string bytes = patternBytes(5000);
    const std::string path = m_dir.write("long.bin", bytes);
    CVXRCMemoryBuffer buffer;
    ASSERT_TRUE(readAdjustBlockFile(path.c_str(), buffer));
    ASSERT_EQ(buffer.size(), 2036u);
    EXPECT_EQ(memcmp(buffer.data(), bytes.data(), 2036), 0);
}

TEST_F(MurelAdjBlockFile, RejectedFilesLeaveTheBufferAsItWas) {
    const std::string twelve = m_dir.write("twelve.bin", patternBytes(12));
    CVXRCMemoryBuffer buffer(3);
    memcpy(buffer.writableData(), "xyz", 3);
    const uint8_t* before = buffer.data();

    for (const std::string& path : {twelve, m_dir.path(), m_dir.file("missing.bin")}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(readAdjustBlockFile(path.c_str(), buffer)) << path;
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(buffer.data(), before);
        EXPECT_EQ(buffer.size(), 3u);
    }
}

TEST_F(MurelAdjBlockFile, ReadFailuresAreLoggedWithTheirReason) {
    CVXRCMemoryBuffer buffer;
    const std::string twelve = m_dir.write("twelve.bin", patternBytes(12));
    testing::internal::CaptureStderr();
    readAdjustBlockFile(twelve.c_str(), buffer);
    readAdjustBlockFile(m_dir.path().c_str(), buffer);
    readAdjustBlockFile(m_dir.file("missing.bin").c_str(), buffer);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "velkor: ERROR: '" + twelve +
                       "' file size is less than minimum valid size: 13, reading skipped\n"
                       "velkor: ERROR: '" +
                       m_dir.path() +
                       "' is not a regular file, reading skipped\n"
                       "velkor: ERROR: failed to get '" +
                       m_dir.file("missing.bin") +
                       "' status, errno: <2|No such file or directory>\n");
}

TEST_F(MurelAdjBlockFile, UnreadableFileIsAReadFailure) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not keep root from reading";
    }
    const std::string path = m_dir.write("locked.bin", patternBytes(2036));
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    CVXRCMemoryBuffer buffer;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(readAdjustBlockFile(path.c_str(), buffer));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velkor: ERROR: failed to read file '" + path + "', errno: <13|Permission denied>\n");
}

TEST_F(MurelAdjBlockFile, WrittenFileHoldsExactlyTheBuffer) {
    const std::string bytes = patternBytes(2036);
    CVXRCMemoryBuffer buffer(2036);
    memcpy(buffer.writableData(), bytes.data(), 2036);
    const std::string path = m_dir.write("backup.bin", std::string(3000, 'x'));
    ASSERT_TRUE(writeAdjustBlockFile(path.c_str(), buffer));
    EXPECT_EQ(readFile(path), bytes);
}

TEST_F(MurelAdjBlockFile, WriteFailuresAreLogged) {
    CVXRCMemoryBuffer buffer(2036);
    memset(buffer.writableData(), 0, 2036);
    const std::string missing = m_dir.file("no-such-dir/backup.bin");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writeAdjustBlockFile(missing.c_str(), buffer));
    EXPECT_FALSE(writeAdjustBlockFile("/dev/full", buffer));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velkor: ERROR: failed to open '" + missing +
                  "', errno: <2|No such file or directory>\n"
                  "velkor: ERROR: failed to write 2036 bytes to '/dev/full', errno: <28|No space "
                  "left on device>\n");
}

} // namespace
