// Cross builds run the tests and their programs under a user-mode emulator, which reports a fatal
// signal on the program's standard error; /proc shows the emulator's threads, masks and calls.
#pragma once

#include <string>

#ifdef VELKOR_TEST_UNDER_EMULATOR
inline constexpr bool kUnderEmulator = true;
#else
inline constexpr bool kUnderEmulator = false;
#endif

// A death-test pattern for standard error that ends with text, then the child's abort().
inline std::string abortedAfter(const std::string& text) {
    return text +
           (kUnderEmulator ? "qemu: uncaught target signal 6 \\(Aborted\\) - core dumped\n$" : "$");
}
