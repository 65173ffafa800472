// Shared by the fuzz targets: each defines LLVMFuzzerTestOneInput; FuzzSupport.cpp defines
// LLVMFuzzerInitialize and, with VELKOR_FUZZ_REPLAY, the main of the replay programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// A broken expectation names itself and aborts, which the fuzzer and the replay test count as a
// failure. Internal assertions and fatal errors abort too; log lines are formatted, then dropped;
// standard output goes to /dev/null.
#define FUZZ_EXPECT(condition)                                                                     \
    ((condition) ? static_cast<void>(0) : fuzzFailed(__FILE__, __LINE__, #condition))
[[noreturn]] void fuzzFailed(const char* file, int line, const char* condition);

// Replaces the contents of the file at path with size bytes.
void fuzzWriteFile(const std::string& path, const void* data, size_t size);
