#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

uint32_t referenceCrc(const uint8_t* data, size_t count) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < count; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
        }
    }
    return ~crc;
}

} // namespace

ProcessResult runVelkor(const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment) {
    ProcessOptions options;
    options.environment = environment;
    return runProcess(VELKOR_BINARY, arguments, options);
}

ProcessResult runMurelPageSim(const std::vector<std::string>& arguments) {
    return runProcess(MURELPAGE_SIM_BINARY, arguments);
}

std::string sourceFile(const std::string& relativePath) {
    return readFile(std::string(VELKOR_SOURCE_DIR) + "/" + relativePath);
}

std::string sampleBlock() {
    return sourceFile("examples/adjust-block.bin");
}

std::string sampleDescriptionPath() {
    return std::string(VELKOR_SOURCE_DIR) + "/examples/adjust-block.txt";
}

uint32_t storedCrcOf(const std::string& block) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(block.data());
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

uint32_t expectedCrcOf(const std::string& block) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(block.data());
    const size_t n = block.size();
    const uint32_t lastWord = (static_cast<uint32_t>(bytes[n - 4]) << 24) |
                              (static_cast<uint32_t>(bytes[n - 3]) << 16) |
                              (static_cast<uint32_t>(bytes[n - 2]) << 8) | bytes[n - 1];
    return referenceCrc(bytes + 4, n - 8) ^ lastWord;
}

std::string withValidCrc(std::string block) {
    const uint32_t crc = expectedCrcOf(block);
    for (int i = 0; i < 4; ++i) {
        block[static_cast<size_t>(i)] = static_cast<char>((crc >> (8 * i)) & 0xFF);
    }
    return block;
}

std::string hexRowsOf(const std::string& bytes) {
    std::string rows;
    for (size_t offset = 0; offset < bytes.size(); offset += 32) {
        char label[32];
        snprintf(label, sizeof(label), "%08X: ", static_cast<unsigned>(offset));
        rows += label;
        for (size_t i = offset; i < bytes.size() && i < offset + 32; ++i) {
            char digits[3];
            snprintf(digits, sizeof(digits), "%02X", static_cast<uint8_t>(bytes[i]));
            rows += digits;
        }
        rows += "\n";
    }
    return rows;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

E2EPage::E2EPage() : m_page(uniqueShmName("page")), m_lock(uniqueShmName("lock")) {}

E2EPage::~E2EPage() {
    runMurelPageSim({"remove", "--page=" + m_page, "--pagelock=" + m_lock});
}

std::vector<std::string> E2EPage::arguments(const std::vector<std::string>& more) const {
    std::vector<std::string> all = {"--page=" + m_page, "--pagelock=" + m_lock};
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

bool E2EPage::write(const std::vector<std::string>& options) {
    std::vector<std::string> all = {"write", "--page=" + m_page, "--pagelock=" + m_lock};
    all.insert(all.end(), options.begin(), options.end());
    const ProcessResult result = runMurelPageSim(all);
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

bool E2EPage::writeRaw(const std::string& image, const std::vector<std::string>& options) {
    std::vector<std::string> all = {"--raw=" + m_dir.write("page.bin", image)};
    all.insert(all.end(), options.begin(), options.end());
    return write(all);
}
