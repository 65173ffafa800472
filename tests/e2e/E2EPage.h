// Shared helpers of the end-to-end tests: running velkor, pages under names unique to the test
// (written with murelpage-sim), and the sample adjust block of examples/.
#pragma once

#include "tests/support/ProcessRunner.h"

#include <cstdint>
#include <string>
#include <vector>

using Args = std::vector<std::string>;

ProcessResult runVelkor(const Args& arguments, const Args& environment = {});

// Expects the exit status, standard output and standard error of a run.
#define EXPECT_RUN(result, exitCode, out, err)                                                     \
    do {                                                                                           \
        SCOPED_TRACE("the run checked here");                                                      \
        expectRun(result, exitCode, out, err);                                                     \
    } while (false)
void expectRun(const ProcessResult& result, int exitCode, const std::string& out,
               const std::string& err);
// The error line of a failed attach.
std::string attachError(const std::string& page, const std::string& lock, const char* result);
// The info line of a description file that parsed.
std::string parsedLine(const std::string& path, int nodes = 139);

// A file of tests/e2e/expected/.
std::string expectedOutput(const std::string& name);
// The committed sample block (2036 bytes, version 2, valid CRC) and its description file.
std::string sampleBlock();
std::string sampleDescriptionPath();

// The little-endian CRC stored in bytes 0 to 3, and the CRC the first 2036 bytes should carry
// (murelpage-sim's, independent of the program's).
uint32_t storedCrcOf(const std::string& block);
uint32_t blockCrcOf(const std::string& block);
std::string withValidCrc(std::string block);

// The hex rows of bytes as the hex dump should print them, formatted here independently.
std::string hexRowsOf(const std::string& bytes);

// A page and its shared access object under names unique to this test (not created until
// written), removed when destroyed.
class E2EPage {
public:
    ~E2EPage();
    const std::string& page() const { return m_page; }
    const std::string& lock() const { return m_lock; }
    const TempDir& dir() const { return m_dir; }
    // "--page=..." and "--pagelock=..." followed by more.
    Args arguments(const Args& more) const;
    ProcessResult velkor(const Args& more, const Args& environment = {}) const {
        return runVelkor(arguments(more), environment);
    }
    // Runs murelpage-sim write with the options; false (with a test failure) when it fails.
    bool write(const Args& options);
    // The same with block (2036 bytes) as the adjust block.
    bool writeBlock(const std::string& block, const Args& options = {});

private:
    TempDir m_dir;
    std::string m_page = uniqueShmName("page");
    std::string m_lock = uniqueShmName("lock");
};
