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

namespace {

// What a static initialiser sees of the argument vector, walked up to its terminating null.
std::string describeArguments() {
    std::string text = "argc=" + std::to_string(VXRuntimeArgc()) + "\n";
    for (int i = 0; VXRuntimeArgv() != nullptr && VXRuntimeArgv()[i] != nullptr; ++i) {
        text += "argv[" + std::to_string(i) + "]=" + VXRuntimeArgv()[i] + "\n";
    }
    return text;
}

const std::string g_argumentsAtStartUp = describeArguments();

void runMemoryTrace() {
    printf("trace=%u\n", VXDebugSettings().traceMode);
    const uint32_t before = VXMemoryBytesInUse();
    void* block = VXMalloc(100);
    memset(block, 0xA5, 100);
    const uint32_t allocated = VXMemoryBytesInUse();
    const bool aligned = reinterpret_cast<uintptr_t>(block) % alignof(std::max_align_t) == 0;
    VXFree(block);
    printf("allocate=+%u free=-%u aligned=%d\n", allocated - before,
           allocated - VXMemoryBytesInUse(), aligned ? 1 : 0);
}

} // namespace

int main(int argc, char** argv) {
    VXSlogSetSink(slogToStderr, nullptr);
    int at = 1;
    while (at < argc && strncmp(argv[at], "--", 2) == 0) {
        ++at;
    }
    const std::string command = at < argc ? argv[at] : "";
    if (command == "args") {
        fputs(g_argumentsAtStartUp.c_str(), stdout);
    } else if (command == "assert") {
        const int count = at + 1 < argc ? atoi(argv[at + 1]) : 1;
        for (int i = 0; i < count; ++i) {
            VXAssertionFailed(static_cast<unsigned>(100 + i), "probe", "probe assertion");
        }
        printf("count=%u\n", VXAssertionCount());
    } else if (command == "memtrace") {
        runMemoryTrace();
    } else {
        fprintf(stderr, "unknown command '%s'\n", command.c_str());
        return 2;
    }
    return 0;
}
