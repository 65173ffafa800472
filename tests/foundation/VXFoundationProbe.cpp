// A small program that exercises the foundation's process-wide start-up state (argument capture,
// allocation trace, read-once switches) in a fresh process, driven by the foundation tests.
//
// Usage: vx_foundation_probe [--switches...] <command> [count]
//   args          prints the argument vector as the foundation saw it before main
//   assert <n>    reports n assertions, then prints the assertion count
//   memtrace      allocates and frees 100 bytes, printing the trace mode and bytes in use
// System-log lines go to standard error as "slog <opcode> <severity> <text>".
#include "foundation/VXAssert.h"
#include "foundation/VXOperatingSystem.h"
#include "foundation/platform/VXRuntimeArgs.h"
#include "tests/foundation/VXOsTestSupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// What a static initialiser of the program sees of the argument vector.
std::string describeArguments() {
    std::string text = "argc=" + std::to_string(VXRuntimeArgc()) + "\n";
    char** argv = VXRuntimeArgv();
    for (int i = 0; argv != nullptr && i < VXRuntimeArgc(); ++i) {
        text += "argv[" + std::to_string(i) + "]=" + argv[i] + "\n";
    }
    return text;
}

const std::string g_argumentsAtStartUp = describeArguments();

int runAssertions(int count) {
    for (int i = 0; i < count; ++i) {
        VXAssertionFailed(static_cast<unsigned>(100 + i), "probe", "probe assertion");
    }
    printf("count=%u\n", VXAssertionCount());
    return 0;
}

int runMemoryTrace() {
    printf("trace=%u\n", VXDebugSettings().traceMode);
    const uint32_t before = VXMemoryBytesInUse();
    void* block = VXMalloc(100);
    if (block == nullptr) {
        return 2;
    }
    memset(block, 0xA5, 100);
    const uint32_t allocated = VXMemoryBytesInUse();
    const bool aligned = reinterpret_cast<uintptr_t>(block) % alignof(std::max_align_t) == 0;
    VXFree(block);
    const uint32_t freed = VXMemoryBytesInUse();
    printf("allocate=+%u free=-%u aligned=%d\n", allocated - before, allocated - freed,
           aligned ? 1 : 0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    VXSlogSetSink(slogToStderr, nullptr);
    const char* command = nullptr;
    int commandIndex = 0;
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "--", 2) != 0) {
            command = argv[i];
            commandIndex = i;
            break;
        }
    }
    if (command == nullptr) {
        fprintf(stderr, "no command\n");
        return 2;
    }
    if (strcmp(command, "args") == 0) {
        fputs(g_argumentsAtStartUp.c_str(), stdout);
        return 0;
    }
    if (strcmp(command, "assert") == 0) {
        return runAssertions(commandIndex + 1 < argc ? atoi(argv[commandIndex + 1]) : 1);
    }
    if (strcmp(command, "memtrace") == 0) {
        return runMemoryTrace();
    }
    fprintf(stderr, "unknown command %s\n", command);
    return 2;
}
