// Shared helpers of the end-to-end tests: running velkor and murelpage-sim, pages under names
// unique to the test, and the sample adjust block of examples/.
#pragma once

#include "tests/support/ProcessRunner.h"

#include <cstdint>
#include <string>
#include <vector>

// Size of the adjust block, as the binaries see it.
constexpr size_t E2E_BLOCK_SIZE = 2036;

ProcessResult runVelkor(const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment = {});
ProcessResult runMurelPageSim(const std::vector<std::string>& arguments);

// Reads a file that belongs to the sources (examples/..., tests/e2e/expected/...).
std::string sourceFile(const std::string& relativePath);
// The committed sample block (2036 bytes, version 2, valid CRC) and its description file path.
std::string sampleBlock();
std::string sampleDescriptionPath();

// Bytes 0 to 3 of a block as the little-endian stored CRC, and the CRC the block should carry (bit
// by bit, independent of the program's table).
uint32_t storedCrcOf(const std::string& block);
uint32_t expectedCrcOf(const std::string& block);
// The block with the expected CRC stored in bytes 0 to 3.
std::string withValidCrc(std::string block);

// The hex rows of bytes as the hex dump should print them, formatted here independently.
std::string hexRowsOf(const std::string& bytes);

// Splits text into lines (without their line feeds).
std::vector<std::string> linesOf(const std::string& text);

// A page and its shared access object under names unique to this test, removed when destroyed.
class E2EPage {
public:
    E2EPage();
    ~E2EPage();
    E2EPage(const E2EPage&) = delete;
    E2EPage& operator=(const E2EPage&) = delete;

    const std::string& page() const { return m_page; }
    const std::string& lock() const { return m_lock; }
    // "--page=..." and "--pagelock=..." followed by the given arguments.
    std::vector<std::string> arguments(const std::vector<std::string>& more) const;

    // Writes a page that holds block (2036 bytes) as the adjust block; options go to
    // murelpage-sim write (e.g. "--version=3", "--break-crc"). False (with a test failure) when the
    // simulator fails.
    bool writeBlock(const std::string& block, const std::vector<std::string>& options = {});
    // Writes image as the raw page bytes (murelpage-sim write --raw).
    bool writeRaw(const std::string& image, const std::vector<std::string>& options = {});
    // Runs murelpage-sim write with only the given options (no block).
    bool write(const std::vector<std::string>& options);

    const TempDir& dir() const { return m_dir; }

private:
    TempDir m_dir;
    std::string m_page;
    std::string m_lock;
};
