// Shared by the fuzz targets; FuzzSupport.cpp defines the replay programs' main.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// A broken expectation names itself and aborts, as do assertions and fatal errors; log lines are
// formatted, then dropped; standard output goes to /dev/null.
#define FUZZ_EXPECT(condition)                                                                     \
    ((condition) ? static_cast<void>(0) : fuzzFailed(__FILE__, __LINE__, #condition))
[[noreturn]] void fuzzFailed(const char* file, int line, const char* condition);

void fuzzWriteFile(const std::string& path, const void* data, size_t size);
