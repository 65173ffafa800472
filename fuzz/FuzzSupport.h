// Helpers shared by the fuzz targets and their replay programs.
//
// Every target defines LLVMFuzzerInitialize and LLVMFuzzerTestOneInput. Built with libFuzzer the
// fuzzer drives them; built as a replay program (FuzzReplayMain.cpp) they run over the committed
// corpus, so the corpora are replayed by every build, also where libFuzzer is missing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// A broken expectation: reports the condition and ends the process with abort(), which the fuzzer
// and the replay test both count as a failure.
[[noreturn]] void fuzzExpectationFailed(const char* file, int line, const char* condition);

#define FUZZ_EXPECT(condition)                                                                     \
    ((condition) ? static_cast<void>(0) : fuzzExpectationFailed(__FILE__, __LINE__, #condition))

// Common set-up of a target: internal assertions and fatal errors abort (so the fuzzer sees them),
// the system-log stand-in and the application log discard their lines (after formatting them),
// standard output goes to /dev/null.
void fuzzQuietProcess();

// A file that holds the bytes of one input: a memory file with a path that names it
// ("/proc/self/fd/N"), rewritten for every input. Nothing is left on disk.
class CFuzzMemoryFile {
public:
    CFuzzMemoryFile();
    ~CFuzzMemoryFile();
    CFuzzMemoryFile(const CFuzzMemoryFile&) = delete;
    CFuzzMemoryFile& operator=(const CFuzzMemoryFile&) = delete;

    // Replaces the contents; false when the system refuses.
    bool assign(const uint8_t* data, size_t size);
    const std::string& path() const { return m_path; }

private:
    int m_descriptor = -1;
    std::string m_path;
};

// A private directory under $TMPDIR (or /tmp) that the process removes at exit; the option-file
// target keeps the names of its files there.
const std::string& fuzzScratchDirectory();
