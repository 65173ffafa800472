// velkor --check, --backup and --getver, from pages written by murelpage-sim and from files.
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

std::string crcLine(const char* level, uint32_t stored, uint32_t calculated) {
    char line[128];
    snprintf(line, sizeof(line), "velkor: %s: check: stored CRC: %08X, calculated CRC: %08X\n",
             level, stored, calculated);
    return line;
}

class BlockE2E : public testing::Test {
protected:
    void SetUp() override {
        m_block = sampleBlock();
        ASSERT_EQ(m_block.size(), E2E_BLOCK_SIZE);
        ASSERT_EQ(storedCrcOf(m_block), expectedCrcOf(m_block));
    }

    ProcessResult velkor(const std::vector<std::string>& more) {
        return runVelkor(m_page.arguments(more));
    }
    // velkor with a page that does not exist, so that any attach attempt would fail.
    ProcessResult velkorWithoutPage(const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {"--page=" + uniqueShmName("absent"),
                                        "--pagelock=" + uniqueShmName("absent-lock")};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return runVelkor(all);
    }

    std::string m_block;
    E2EPage m_page;
};

TEST_F(BlockE2E, CheckOfAValidPage) {
    ASSERT_TRUE(m_page.writeBlock(m_block));
    const ProcessResult result = velkor({"--check"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    const uint32_t crc = storedCrcOf(m_block);
    EXPECT_EQ(result.err, crcLine("INFO", crc, crc) + "SUCCESS\n");
    EXPECT_EQ(velkor({"--check="}).exitCode, 0);
}

TEST_F(BlockE2E, CheckOfABrokenPageIsAWarningAndFailure) {
    ASSERT_TRUE(m_page.writeBlock(m_block, {"--break-crc"}));
    const uint32_t crc = storedCrcOf(m_block);
    ProcessResult result = velkor({"--check"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, crcLine("WARNING", crc ^ 1u, crc) + "FAILURE\n");

    result = velkor({"--loglevel=error", "--check"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "FAILURE\n");
}

TEST_F(BlockE2E, ChangedCoveredByteFailsTheCheck) {
    m_block[2035] = static_cast<char>(m_block[2035] ^ 0x80);
    ASSERT_TRUE(m_page.writeBlock(m_block));
    const ProcessResult result = velkor({"--check"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              crcLine("WARNING", storedCrcOf(m_block), expectedCrcOf(m_block)) + "FAILURE\n");
}

TEST_F(BlockE2E, BackupThenCheckOfTheFileRoundTrip) {
    ASSERT_TRUE(m_page.writeBlock(m_block, {"--version=5", "--fix-crc"}));
    const std::string path = m_page.dir().file("backup.bin");
    ProcessResult result = velkor({"--backup=" + path});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "velkor: INFO: backup: MurelPage data block successfully saved to '" +
                              path + "'\nSUCCESS\n");
    std::string expected = m_block;
    expected[8] = 5;
    expected = withValidCrc(expected);
    EXPECT_EQ(readFile(path), expected);

    const uint32_t crc = storedCrcOf(expected);
    result = velkorWithoutPage({"--check=" + path});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, crcLine("INFO", crc, crc) + "SUCCESS\n");
    EXPECT_EQ(velkor({"--check"}).err, result.err);

    result = velkorWithoutPage({"--getver=" + path});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "Compiled version: 2, stored version: 5\n");
}

TEST_F(BlockE2E, BackupReplacesAnExistingFileAndIsQuietAtErrorLevel) {
    ASSERT_TRUE(m_page.writeBlock(m_block));
    const std::string path = m_page.dir().write("backup.bin", std::string(4096, 'x'));
    const ProcessResult result = velkor({"--loglevel=error", "--backup= " + path + " "});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "SUCCESS\n");
    EXPECT_EQ(readFile(path), m_block);
}

TEST_F(BlockE2E, BackupIntoAMissingDirectoryFails) {
    ASSERT_TRUE(m_page.writeBlock(m_block));
    const std::string path = m_page.dir().file("missing/backup.bin");
    const ProcessResult result = velkor({"--backup=" + path});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "velkor: ERROR: failed to open '" + path +
                              "', errno: <2|No such file or directory>\nFAILURE\n");
    struct stat status;
    EXPECT_NE(stat(path.c_str(), &status), 0);
}

TEST_F(BlockE2E, BackupOntoAFullDeviceFails) {
    ASSERT_TRUE(m_page.writeBlock(m_block));
    const ProcessResult result = velkor({"--backup=/dev/full"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "velkor: ERROR: failed to write 2036 bytes to '/dev/full', errno: "
                          "<28|No space left on device>\nFAILURE\n");
}

TEST_F(BlockE2E, GetverOfThePage) {
    ASSERT_TRUE(m_page.writeBlock(m_block));
    ProcessResult result = velkor({"--getver"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "Compiled version: 2, stored version: 2\n");
    EXPECT_EQ(result.err, "SUCCESS\n");

    ASSERT_TRUE(m_page.writeBlock(m_block, {"--version=255"}));
    result = velkor({"--log=slog", "--getver="});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "Compiled version: 2, stored version: 255\n");
    EXPECT_EQ(result.err, "SUCCESS\n");
}

TEST_F(BlockE2E, FilesThatAreNotBlockImages) {
    const std::string missing = m_page.dir().file("missing.bin");
    const std::string twelve = m_page.dir().write("twelve.bin", m_block.substr(0, 12));
    for (const char* action : {"--check=", "--getver="}) {
        ProcessResult result = velkorWithoutPage({action + missing});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "velkor: ERROR: failed to get '" + missing +
                                  "' status, errno: <2|No such file or directory>\nFAILURE\n");

        result = velkorWithoutPage({action + m_page.dir().path()});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "velkor: ERROR: '" + m_page.dir().path() +
                                  "' is not a regular file, reading skipped\nFAILURE\n");

        result = velkorWithoutPage({action + twelve});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "velkor: ERROR: '" + twelve +
                                  "' file size is less than minimum valid size: 13, reading "
                                  "skipped\nFAILURE\n");
    }
}

TEST_F(BlockE2E, ThirteenByteFileIsCheckedAsIfTheRestWereZero) {
    std::string image(E2E_BLOCK_SIZE, '\0');
    image.replace(4, 9, "\x01\x02\x03\x04\x07\x06\x07\x08\x09", 9);
    image = withValidCrc(image);
    const std::string path = m_page.dir().write("thirteen.bin", image.substr(0, 13));
    const uint32_t crc = storedCrcOf(image);

    // Repeated runs give the same verdict: the missing bytes are zero, not left-over memory.
    for (int run = 0; run < 3; ++run) {
        const ProcessResult result = velkorWithoutPage({"--check=" + path});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err, crcLine("INFO", crc, crc) + "SUCCESS\n");
    }
    const ProcessResult result = velkorWithoutPage({"--getver=" + path});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "Compiled version: 2, stored version: 7\n");
}

TEST_F(BlockE2E, LongFileIsCheckedOverItsFirstBlock) {
    std::string image = m_block + std::string(5000 - E2E_BLOCK_SIZE, '\x5A');
    const std::string path = m_page.dir().write("long.bin", image);
    const uint32_t crc = storedCrcOf(m_block);
    ProcessResult result = velkorWithoutPage({"--check=" + path});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, crcLine("INFO", crc, crc) + "SUCCESS\n");
    result = velkorWithoutPage({"--getver=" + path});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "Compiled version: 2, stored version: 2\n");

    image[E2E_BLOCK_SIZE - 1] = static_cast<char>(image[E2E_BLOCK_SIZE - 1] ^ 1);
    m_page.dir().write("long.bin", image);
    result = velkorWithoutPage({"--check=" + path});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, crcLine("WARNING", crc, expectedCrcOf(image.substr(0, E2E_BLOCK_SIZE))) +
                              "FAILURE\n");
}

} // namespace
