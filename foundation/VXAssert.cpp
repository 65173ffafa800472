// Assertions, fatal errors and the command-line debug switches.
#include "foundation/VXAssert.h"

#include "foundation/VXBacktrace.h"
#include "foundation/VXOperatingSystem.h"
#include "foundation/platform/VXRuntimeArgs.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* BACKTRACE_SUFFIX = "ass";
constexpr const char* MEMTRACE_SWITCH = "--memtrace=";

std::atomic<uint32_t> g_assertionCount{0};
std::atomic<uint32_t> g_backtracesWritten{0};

bool isSet(const char* variable) {
    return getenv(variable) != nullptr;
}

// VX_ASSERTION_BACKTRACE_MAX: 0 (also when unset or not a number) means no limit.
int readBacktraceLimit() {
    const char* value = getenv("VX_ASSERTION_BACKTRACE_MAX");
    int limit = 0;
    if (value == nullptr || sscanf(value, "%d", &limit) != 1) {
        return 0;
    }
    return limit;
}

// Read once, by the first assertion that gets past the abort switch.
int backtraceLimit() {
    static const int limit = readBacktraceLimit();
    return limit;
}

// The debug settings are settled by a static initialiser, before main and its threads.
[[maybe_unused]] const CVXDebugSettingsData& s_debugSettings = VXDebugSettings();

} // namespace

CVXDebugSettingsData VXScanDebugSettings(int argc, char* const* argv) {
    CVXDebugSettingsData settings;
    if (argv == nullptr || argc <= 0) {
        return settings;
    }
    const size_t switchLength = strlen(MEMTRACE_SWITCH);
    for (int i = 0; i < argc && argv[i] != nullptr; ++i) {
        const char* argument = argv[i];
        if (strcmp(argument, "--nobreak") == 0) {
            settings.breakEnabled = false;
        } else if (strncmp(argument, MEMTRACE_SWITCH, switchLength) == 0) {
            unsigned mode = 0;
            if (sscanf(argument + switchLength, "%u", &mode) == 1 && mode <= 1) {
                settings.traceMode = mode;
            }
        }
    }
    return settings;
}

const CVXDebugSettingsData& VXDebugSettings() {
    static const CVXDebugSettingsData settings =
        VXScanDebugSettings(VXRuntimeArgc(), VXRuntimeArgv());
    return settings;
}

uint32_t VXAssertionCount() {
    return g_assertionCount.load(std::memory_order_relaxed);
}

void VXAssertionFailed(unsigned line, const char* source, const char* message) {
    g_assertionCount.fetch_add(1, std::memory_order_relaxed);
    if (source == nullptr) {
        source = "???";
    }
    if (message != nullptr) {
        VXLog(0, VX_SEVERITY_ERROR, "%s:%u: ASSERTION \"%s\" failed", source, line, message);
        fprintf(stderr, "\n%s:%u: ASSERTION \"%s\" failed\n", source, line, message);
    } else {
        VXLog(0, VX_SEVERITY_ERROR, "%s:%u: ASSERTION failed", source, line);
        fprintf(stderr, "\n%s:%u: ASSERTION failed\n", source, line);
    }
    const char* shownMessage = (message != nullptr) ? message : "???";
    VXLog(0, VX_SEVERITY_CRITICAL, "ASSERTION \"%s\" failed in %s %u", shownMessage, source, line);

    if (isSet("VX_ENABLE_ABORT_ON_ASSERTION")) {
        abort();
    }

    const int limit = backtraceLimit();
    if (limit != 0 &&
        static_cast<int64_t>(g_backtracesWritten.load(std::memory_order_relaxed)) >= limit) {
        return;
    }
    char caption[1024];
    snprintf(caption, sizeof caption, "ASSERTION \"%s\" failed in %s %u", shownMessage, source,
             line);
    VXBacktraceWrite(caption, VXBacktraceDirectory(), BACKTRACE_SUFFIX, true,
                     VXBacktraceDefaultNaming);
    g_backtracesWritten.fetch_add(1, std::memory_order_relaxed);
}

void VXFatalError(int line, const char* source, const char* message) {
    if (source == nullptr) {
        source = "???";
    }
    const unsigned shownLine = static_cast<unsigned>(line);
    if (message != nullptr) {
        VXLog(0, VX_SEVERITY_ERROR, "%s:%u: FATAL ERROR \"%s\" occured", source, shownLine,
              message);
        fprintf(stderr, "\n%s:%u: FATAL ERROR \"%s\" occured\n", source, shownLine, message);
    } else {
        VXLog(0, VX_SEVERITY_ERROR, "%s:%u: FATAL ERROR occured", source, shownLine);
        fprintf(stderr, "\n%s:%u: FATAL ERROR occured\n", source, shownLine);
    }

    if (!isSet("VX_ENABLE_ABORT_ON_FATAL_ERROR")) {
        if (message != nullptr) {
            VXFatalExit(0, "%s:%d: FATAL ERROR \"%s\" occured", source, line, message);
        }
        VXFatalExit(0, "%s:%d: FATAL ERROR occured", source, line);
    }
    VXLog(0, VX_SEVERITY_CRITICAL, "%s:%d: FATAL ERROR \"%s\" occured", source, line,
          (message != nullptr) ? message : "???");
    abort();
}
