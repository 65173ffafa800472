// Runs what the foundation tests need a fresh process for, with the system log on standard error
// ("slog <opcode> <severity> <text>") and standard output a pipe, which the C library buffers:
//   vx_foundation_probe [--switches...] args        the argument vector as seen before main
//   vx_foundation_probe [--switches...] assert <n>  n assertions, the first without source
//   vx_foundation_probe [--switches...] memtrace    the trace mode and bytes in use for 100 bytes
//   vx_foundation_probe --memtrace=1 nomemory       VXMallocOrDie(SIZE_MAX - 3)
#include "foundation/VXAssert.h"
#include "foundation/VXOperatingSystem.h"
#include "foundation/platform/VXRuntimeArgs.h"
#include "tests/foundation/VXOsTestSupport.h"

#include <cstddef>
#include <cstdint>

// What a static initialiser sees of the argument vector, walked up to its terminating null.
static const std::string s_argumentsAtStartUp = [] {
    std::string text = "argc=" + std::to_string(VXRuntimeArgc()) + "\n";
    for (int i = 0; VXRuntimeArgv() != nullptr && VXRuntimeArgv()[i] != nullptr; ++i) {
        text += "argv[" + std::to_string(i) + "]=" + VXRuntimeArgv()[i] + "\n";
    }
    return text;
}();

int main(int argc, char** argv) {
    VXSlogSetSink(slogToStderr, nullptr);
    int at = 1;
    while (at < argc - 1 && strncmp(argv[at], "--", 2) == 0) {
        ++at;
    }
    const std::string command = argv[at];
    if (command == "args") {
        fputs(s_argumentsAtStartUp.c_str(), stdout);
    } else if (command == "assert") {
        for (int i = 0; i < atoi(argv[at + 1]); ++i) {
            VXAssertionFailed(static_cast<unsigned>(100 + i), i == 0 ? nullptr : "probe",
                              i == 0 ? nullptr : "probe assertion");
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
