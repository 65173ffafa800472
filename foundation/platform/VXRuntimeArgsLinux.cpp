// Linux capture of the runtime's argument vector.
//
// glibc calls the functions of an executable's .preinit_array with argc, argv and envp before any
// shared-library or static initialiser runs, which is the moment QNX publishes _argc and _argv.
#include "foundation/platform/VXRuntimeArgs.h"

namespace {

int g_argc = 0;
char** g_argv = nullptr;

void captureArguments(int argc, char** argv, char** /*environment*/) {
    g_argc = argc;
    g_argv = argv;
}

} // namespace

// The linker keeps this object in every executable through the --undefined anchor set by the
// foundation's build description, so the .preinit_array entry below is never dropped.
extern "C" {
extern const int VXRuntimeArgsAnchor;
const int VXRuntimeArgsAnchor = 1;
}

__attribute__((section(".preinit_array"),
               used)) static void (*const s_captureArguments)(int, char**,
                                                              char**) = captureArguments;

int VXRuntimeArgc() {
    return g_argc;
}

char** VXRuntimeArgv() {
    return g_argv;
}

void VXRuntimeSetArgs(int argc, char** argv) {
    g_argc = argc;
    g_argv = argv;
}
