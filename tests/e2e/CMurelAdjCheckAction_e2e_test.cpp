// velkor --check, --backup and --getver, from pages written by murelpage-sim and from files.
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

std::string crcLine(const char* level, uint32_t stored, uint32_t calculated) {
    char line[128];
    snprintf(line, sizeof(line), "velkor: %s: check: stored CRC: %08X, calculated CRC: %08X\n",
             level, stored, calculated);
    return line;
}

std::string passed(const std::string& block) {
    return crcLine("INFO", storedCrcOf(block), storedCrcOf(block)) + "SUCCESS\n";
}

std::string versionLine(int stored) {
    return "Compiled version: 2, stored version: " + std::to_string(stored) + "\n";
}

TEST(BlockE2E, CheckAndGetverOfThePage) {
    E2EPage page;
    std::string block = sampleBlock();
    ASSERT_EQ(storedCrcOf(block), blockCrcOf(block));
    ASSERT_TRUE(page.writeBlock(block));
    EXPECT_RUN(page.velkor({"--check"}), 0, "", passed(block));
    EXPECT_RUN(page.velkor({"--check="}), 0, "", passed(block));
    EXPECT_RUN(page.velkor({"--getver"}), 0, versionLine(2), "SUCCESS\n");

    // A mismatch is a warning: --loglevel=error leaves only the verdict.
    const uint32_t crc = storedCrcOf(block);
    ASSERT_TRUE(page.writeBlock(block, {"--break-crc"}));
    EXPECT_RUN(page.velkor({"--check"}), 1, "", crcLine("WARNING", crc ^ 1u, crc) + "FAILURE\n");
    EXPECT_RUN(page.velkor({"--loglevel=error", "--check"}), 1, "", "FAILURE\n");

    block[2035] = static_cast<char>(block[2035] ^ 0x80);
    block[8] = '\xFF';
    ASSERT_TRUE(page.writeBlock(block));
    EXPECT_RUN(page.velkor({"--check"}), 1, "",
               crcLine("WARNING", crc, blockCrcOf(block)) + "FAILURE\n");
    // The versions are printed, not compared; the line ignores the log options.
    EXPECT_RUN(page.velkor({"--log=slog", "--getver="}), 0, versionLine(255), "SUCCESS\n");
}

TEST(BlockE2E, BackupWritesTheBlockAsFile) {
    E2EPage page;
    E2EPage absent;
    std::string block = sampleBlock();
    block[8] = 5;
    block = withValidCrc(block);
    ASSERT_TRUE(page.writeBlock(block));
    const std::string path = page.dir().file("backup.bin");
    EXPECT_RUN(page.velkor({"--backup=" + path}), 0, "",
               "velkor: INFO: backup: MurelPage data block successfully saved to '" + path +
                   "'\nSUCCESS\n");
    EXPECT_EQ(readFile(path), block);
    // The file gives the verdict that the page gives, without the page.
    EXPECT_RUN(page.velkor({"--check"}), 0, "", passed(block));
    EXPECT_RUN(absent.velkor({"--check=" + path}), 0, "", passed(block));
    EXPECT_RUN(absent.velkor({"--getver=" + path}), 0, versionLine(5), "SUCCESS\n");

    const std::string existing = page.dir().write("existing.bin", std::string(4096, 'x'));
    EXPECT_RUN(page.velkor({"--loglevel=error", "--backup= " + existing + " "}), 0, "",
               "SUCCESS\n");
    EXPECT_EQ(readFile(existing), block);

    const std::string missing = page.dir().file("missing/backup.bin");
    EXPECT_RUN(page.velkor({"--backup=" + missing}), 1, "",
               "velkor: ERROR: failed to open '" + missing +
                   "', errno: <2|No such file or directory>\nFAILURE\n");
    EXPECT_NE(access(missing.c_str(), F_OK), 0);
    EXPECT_RUN(page.velkor({"--backup=/dev/full"}), 1, "",
               "velkor: ERROR: failed to write 2036 bytes to '/dev/full', errno: <28|No space "
               "left on device>\nFAILURE\n");
}

TEST(BlockE2E, BlockImageFiles) {
    E2EPage absent;
    const TempDir& dir = absent.dir();
    const std::string missing = dir.file("missing.bin");
    const std::string twelve = dir.write("twelve.bin", sampleBlock().substr(0, 12));
    for (const std::string action : {"--check=", "--getver="}) {
        SCOPED_TRACE(action);
        EXPECT_RUN(absent.velkor({action + missing}), 1, "",
                   "velkor: ERROR: failed to get '" + missing +
                       "' status, errno: <2|No such file or directory>\nFAILURE\n");
        EXPECT_RUN(absent.velkor({action + dir.path()}), 1, "",
                   "velkor: ERROR: '" + dir.path() +
                       "' is not a regular file, reading skipped\nFAILURE\n");
        EXPECT_RUN(absent.velkor({action + twelve}), 1, "",
                   "velkor: ERROR: '" + twelve +
                       "' file size is less than minimum valid size: 13, reading skipped\n"
                       "FAILURE\n");
    }

    // Of 13 bytes, the rest of the block is zero; of 5000 bytes only the first 2036 count.
    std::string image(2036, '\0');
    image.replace(4, 9, "\x01\x02\x03\x04\x07\x06\x07\x08\x09", 9);
    image = withValidCrc(image);
    const std::string thirteen = dir.write("thirteen.bin", image.substr(0, 13));
    EXPECT_RUN(absent.velkor({"--check=" + thirteen}), 0, "", passed(image));
    EXPECT_RUN(absent.velkor({"--getver=" + thirteen}), 0, versionLine(7), "SUCCESS\n");

    std::string longFile = sampleBlock() + std::string(5000 - 2036, '\x5A');
    const std::string path = dir.write("long.bin", longFile);
    EXPECT_RUN(absent.velkor({"--check=" + path}), 0, "", passed(sampleBlock()));
    EXPECT_RUN(absent.velkor({"--getver=" + path}), 0, versionLine(2), "SUCCESS\n");
    longFile[2035] = static_cast<char>(longFile[2035] ^ 1);
    dir.write("long.bin", longFile);
    EXPECT_RUN(absent.velkor({"--check=" + path}), 1, "",
               crcLine("WARNING", storedCrcOf(longFile), blockCrcOf(longFile)) + "FAILURE\n");
}

} // namespace
