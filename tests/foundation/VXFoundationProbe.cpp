// A small program that exercises the foundation's process-wide state (argument capture, allocation
// trace, read-once switches, an allocation failure) in a fresh process, driven by the foundation
// tests. Standard output is then a pipe, which the C library buffers in full.
//
// Usage: vx_foundation_probe [--switches...] <command> [count]
//   args          prints the argument vector as the foundation saw it before main
//   assert <n>    reports n assertions, then prints the assertion count
//   memtrace      allocates and frees 100 bytes, printing the trace mode and bytes in use
//   nomemory      asks VXMallocOrDie for SIZE_MAX - 3 bytes (with --memtrace=1 the trace header
//                 does not fit: the request fails before it reaches the allocator)
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
        for (int i = 0; i < atoi(argv[at + 1]); ++i) {
            VXAssertionFailed(static_cast<unsigned>(100 + i), "probe", "probe assertion");
        }
        printf("count=%u\n", VXAssertionCount());
    } else if (command == "memtrace") {
        const uint32_t before = VXMemoryBytesInUse();
        void* block = VXMalloc(100);
        memset(block, 0xA5, 100);
        const uint32_t allocated = VXMemoryBytesInUse();
        const bool aligned = reinterpret_cast<uintptr_t>(block) % alignof(std::max_align_t) == 0;
        VXFree(block);
        printf("trace=%u allocate=+%u free=-%u aligned=%d\n", VXDebugSettings().traceMode,
               allocated - before, allocated - VXMemoryBytesInUse(), aligned ? 1 : 0);
    } else if (command == "nomemory") {
        atexit(printFromAtexit);
        VXMallocOrDie(SIZE_MAX - 3);
    }
    return 0;
}
