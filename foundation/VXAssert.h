// Assertions and fatal errors.
//
// VXAssertionFailed reports a broken expectation and, unless VX_ENABLE_ABORT_ON_ASSERTION is set,
// returns to the caller after writing a backtrace report. VXFatalError reports an unrecoverable
// state and ends the process (exit(EXIT_FAILURE) through the termination handler, or abort() when
// VX_ENABLE_ABORT_ON_FATAL_ERROR is set). Source names are given without path or extension.
#pragma once

#include <cstdint>

void VXAssertionFailed(unsigned line, const char* source, const char* message);
[[noreturn]] void VXFatalError(int line, const char* source, const char* message);

// Reports message when condition is false; evaluates to the condition.
#define VX_CHECK(condition, source, message)                                                       \
    ((condition) ? true : (VXAssertionFailed(__LINE__, (source), (message)), false))

// Debug switches read from the raw command line ("--nobreak", "--memtrace=0|1").
struct CVXDebugSettingsData {
    bool breakEnabled = true;
    unsigned traceMode = 0;
};

// The process's debug settings, scanning the runtime's argument vector on first use.
const CVXDebugSettingsData& VXDebugSettings();

// Number of assertions reported so far in this process.
uint32_t VXAssertionCount();

// The debug settings that the given argument vector selects (the scan behind VXDebugSettings).
CVXDebugSettingsData VXScanDebugSettings(int argc, char* const* argv);
