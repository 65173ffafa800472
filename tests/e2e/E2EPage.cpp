#include "tests/e2e/E2EPage.h"

#include "tools/murelpage-sim/MurelPageSimBlockCrc.h"

#include <gtest/gtest.h>

#include <cstdio>

ProcessResult runVelkor(const Args& arguments, const Args& environment) {
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

std::string parsedLine(const std::string& path, int nodes) {
    return "velkor: INFO: config: '" + path + "' successfully parsed, " + std::to_string(nodes) +
           " adjust nodes found\n";
}

std::string expectedOutput(const std::string& name) {
    return readFile(VELKOR_SOURCE_DIR "/tests/e2e/expected/" + name);
}

std::string sampleBlock() {
    return readFile(VELKOR_SOURCE_DIR "/examples/adjust-block.bin");
}

std::string sampleDescriptionPath() {
    return VELKOR_SOURCE_DIR "/examples/adjust-block.txt";
}

uint32_t storedCrcOf(const std::string& block) {
    uint32_t crc = 0;
    for (int i = 3; i >= 0; --i) {
        crc = (crc << 8) | static_cast<uint8_t>(block.at(static_cast<size_t>(i)));
    }
    return crc;
}

uint32_t blockCrcOf(const std::string& block) {
    return MurelPageSimBlockCrc(reinterpret_cast<const uint8_t*>(block.substr(0, 2036).data()));
}

std::string withValidCrc(std::string block) {
    MurelPageSimStoreCrc(reinterpret_cast<uint8_t*>(block.data()), blockCrcOf(block));
    return block;
}

std::string hexRowsOf(const std::string& bytes) {
    std::string rows;
    char text[16];
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 32 == 0) {
            snprintf(text, sizeof(text), "%s%08X: ", i == 0 ? "" : "\n", static_cast<unsigned>(i));
            rows += text;
        }
        snprintf(text, sizeof(text), "%02X", static_cast<uint8_t>(bytes[i]));
        rows += text;
    }
    return rows.empty() ? rows : rows + "\n";
}

E2EPage::~E2EPage() {
    runProcess(MURELPAGE_SIM_BINARY, {"remove", "--page=" + m_page, "--pagelock=" + m_lock});
}

Args E2EPage::arguments(const Args& more) const {
    Args all = {"--page=" + m_page, "--pagelock=" + m_lock};
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

bool E2EPage::write(const Args& options) {
    Args all = arguments(options);
    all.insert(all.begin(), "write");
    const ProcessResult result = runProcess(MURELPAGE_SIM_BINARY, all);
    if (result.exitCode != 0) {
        ADD_FAILURE() << "murelpage-sim write failed (" << result.exitCode << "): " << result.err;
    }
    return result.exitCode == 0;
}

bool E2EPage::writeBlock(const std::string& block, const Args& options) {
    Args all = options;
    all.push_back("--block=" + m_dir.write("block.bin", block));
    return write(all);
}
