#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

std::string sourceFile(const std::string& relativePath) {
    return readFile(std::string(VELKOR_SOURCE_DIR) + "/" + relativePath);
}

} // namespace

ProcessResult runVelkor(const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment) {
    ProcessOptions options;
    options.environment = environment;
    return runProcess(VELKOR_BINARY, arguments, options);
}

void expectRun(const ProcessResult& result, int exitCode, const std::string& out,
               const std::string& err) {
    EXPECT_EQ(result.exitCode, exitCode);
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, err);
}

std::string attachError(const std::string& page, const std::string& lock, const char* result) {
    return "velkor: ERROR: failed attach, page: '" + page + "', pagelock: '" + lock +
           "', res: " + result + "\n";
}

std::string expectedOutput(const std::string& name) {
    return sourceFile("tests/e2e/expected/" + name);
}

std::string sampleBlock() {
    return sourceFile("examples/adjust-block.bin");
}

std::string sampleDescriptionPath() {
    return std::string(VELKOR_SOURCE_DIR) + "/examples/adjust-block.txt";
}

uint32_t storedCrcOf(const std::string& block) {
    uint32_t crc = 0;
    for (int i = 3; i >= 0; --i) {
        crc = (crc << 8) | static_cast<uint8_t>(block[static_cast<size_t>(i)]);
    }
    return crc;
}

uint32_t expectedCrcOf(const std::string& block) {
    // CRC-32 without reflection over bytes 4 to the end but the last four, XORed with those four.
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 4; i + 4 < block.size(); ++i) {
        crc ^= static_cast<uint32_t>(static_cast<uint8_t>(block[i])) << 24;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
        }
    }
    uint32_t lastWord = 0;
    for (size_t i = block.size() - 4; i < block.size(); ++i) {
        lastWord = (lastWord << 8) | static_cast<uint8_t>(block[i]);
    }
    return ~crc ^ lastWord;
}

std::string withValidCrc(std::string block) {
    const uint32_t crc = expectedCrcOf(block);
    for (size_t i = 0; i < 4; ++i) {
        block[i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
    }
    return block;
}

std::string hexRowsOf(const std::string& bytes) {
    std::string rows;
    char text[16];
    for (size_t offset = 0; offset < bytes.size(); offset += 32) {
        snprintf(text, sizeof(text), "%08X: ", static_cast<unsigned>(offset));
        rows += text;
        for (size_t i = offset; i < bytes.size() && i < offset + 32; ++i) {
            snprintf(text, sizeof(text), "%02X", static_cast<uint8_t>(bytes[i]));
            rows += text;
        }
        rows += "\n";
    }
    return rows;
}

E2EPage::E2EPage() : m_page(uniqueShmName("page")), m_lock(uniqueShmName("lock")) {}

E2EPage::~E2EPage() {
    runProcess(MURELPAGE_SIM_BINARY, {"remove", "--page=" + m_page, "--pagelock=" + m_lock});
}

std::vector<std::string> E2EPage::arguments(const std::vector<std::string>& more) const {
    std::vector<std::string> all = {"--page=" + m_page, "--pagelock=" + m_lock};
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

ProcessResult E2EPage::velkor(const std::vector<std::string>& more,
                              const std::vector<std::string>& environment) const {
    return runVelkor(arguments(more), environment);
}

bool E2EPage::write(const std::vector<std::string>& options) {
    std::vector<std::string> all = {"write"};
    const std::vector<std::string> names = arguments(options);
    all.insert(all.end(), names.begin(), names.end());
    const ProcessResult result = runProcess(MURELPAGE_SIM_BINARY, all);
    if (result.exitCode != 0) {
        ADD_FAILURE() << "murelpage-sim write failed (" << result.exitCode << "): " << result.err;
        return false;
    }
    return true;
}

bool E2EPage::writeBlock(const std::string& block, const std::vector<std::string>& options) {
    std::vector<std::string> all = {"--block=" + m_dir.write("block.bin", block)};
    all.insert(all.end(), options.begin(), options.end());
    return write(all);
}
