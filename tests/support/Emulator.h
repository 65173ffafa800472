// Cross builds run the tests, and the programs they start, under a user-mode emulator. The
// emulator describes some things differently from a native run: it reports a signal that ends the
// program on the program's standard error, and /proc shows the emulator's own threads, signal
// masks and system calls instead of the program's.
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
