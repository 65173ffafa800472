// Operating-system layer: process log, allocation policy, termination and time.
#include "foundation/VXOperatingSystem.h"

#include "foundation/VXAssert.h"
#include "foundation/VXBacktrace.h"
#include "foundation/platform/VXAtomic.h"
#include "foundation/platform/VXClock.h"
#include "foundation/platform/VXSlog.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr const char* SOURCE = "VXOperatingSystemQNX";

// The process log's line: prefix and message, at most 1024 characters and the terminator.
constexpr size_t LOG_LINE_SIZE = 1025;
constexpr int LOG_OPCODE_BASE = 10000;

// The trace header keeps the requested size in front of the block. It is 8 bytes where that keeps
// the malloc alignment (32-bit targets) and the malloc alignment where that is larger.
constexpr size_t TRACE_HEADER_SIZE = alignof(std::max_align_t) > 8 ? alignof(std::max_align_t) : 8;

struct TraceSettings {
    unsigned traceMode = 0;
    size_t headerSize = 0;
};

volatile uint32_t g_bytesInUse = 0;

const TraceSettings& traceSettings() {
    static const TraceSettings settings = [] {
        TraceSettings created;
        created.traceMode = VXDebugSettings().traceMode;
        created.headerSize = (created.traceMode == 1) ? TRACE_HEADER_SIZE : 0;
        return created;
    }();
    return settings;
}

// Settled before main so that no thread races the creation and every block of the process is
// allocated under the same mode.
[[maybe_unused]] const TraceSettings& s_traceSettings = traceSettings();

void* onAllocate(void* raw, size_t size) {
    uint64_t stored = size;
    memcpy(raw, &stored, sizeof stored);
    VXAtomicAdd(&g_bytesInUse, static_cast<uint32_t>(size));
    return static_cast<char*>(raw) + TRACE_HEADER_SIZE;
}

void* onFree(void* block) {
    char* raw = static_cast<char*>(block) - TRACE_HEADER_SIZE;
    uint64_t stored = 0;
    memcpy(&stored, raw, sizeof stored);
    VXAtomicSubValue(&g_bytesInUse, static_cast<uint32_t>(stored));
    return raw;
}

struct TerminationSlot {
    std::atomic<VXTerminationHandler> handler{VXExitTerminator};
    std::atomic<void*> argument{nullptr};
};

TerminationSlot g_termination;

void reportLogFailure() {
    fprintf(stderr, "pid: %d: cannot write to syslog: %s\n", static_cast<int>(getpid()),
            strerror(errno));
}

const char* errorText(int errorNumber) {
#if defined(__GLIBC__)
    const char* text = strerrordesc_np(errorNumber); // null for numbers without a text
#else
    const char* text = strerror(errorNumber);
#endif
    return (text != nullptr) ? text : "unknown";
}

} // namespace

void VXLogV(uint32_t category, int severity, const char* format, va_list args) {
    if (format == nullptr) {
        return;
    }
    const int savedErrno = errno;
    char line[LOG_LINE_SIZE];
    int prefix = snprintf(line, sizeof line, "pid %d: ", static_cast<int>(getpid()));
    if (prefix < 0 || static_cast<size_t>(prefix) >= sizeof line) {
        reportLogFailure();
        errno = savedErrno;
        return;
    }
    if (vsnprintf(line + prefix, sizeof line - static_cast<size_t>(prefix), format, args) < 0) {
        reportLogFailure();
        errno = savedErrno;
        return;
    }
    line[LOG_LINE_SIZE - 1] = '\0';
    const int opcode = static_cast<int>((category << 20) | LOG_OPCODE_BASE);
    if (VXSlogf(opcode, severity, "%s", line) == -1 && errno != ENOENT) {
        reportLogFailure();
    }
    errno = savedErrno;
}

void VXLog(uint32_t category, int severity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    VXLogV(category, severity, format, args);
    va_end(args);
}

void VXLogOsError(uint32_t category, int severity, int errorNumber, const char* text) {
    VXLog(category, severity, "%s (operating system error %d, %s)",
          (text != nullptr) ? text : "???", errorNumber, errorText(errorNumber));
}

int32_t VXFormat(char* buffer, int32_t size, const char* format, va_list args) {
    if (buffer == nullptr && size != 0) {
        VXAssertionFailed(__LINE__, SOURCE, "VXFormat: no buffer for a non-zero size");
        return 0;
    }
    if (size < 0) {
        VXAssertionFailed(__LINE__, SOURCE, "VXFormat: negative buffer size");
        return 0;
    }
    if (size == 0) {
        return 0;
    }
    int length = vsnprintf(buffer, static_cast<size_t>(size), format, args);
    if (length < 0) {
        return -1;
    }
    return (length >= size) ? size - 1 : length;
}

void* VXMalloc(size_t size) {
    errno = 0;
    if (size == 0) {
        return nullptr;
    }
    const TraceSettings& settings = traceSettings();
    if (size > static_cast<size_t>(-1) - settings.headerSize) {
        errno = ENOMEM;
        return nullptr;
    }
    void* raw = malloc(size + settings.headerSize);
    if (raw == nullptr || settings.traceMode != 1) {
        return raw;
    }
    return onAllocate(raw, size);
}

void* VXMallocOrDie(size_t size) {
    void* block = VXMalloc(size);
    if (block != nullptr || size == 0) {
        return block;
    }
    const int error = errno;
    char message[64];
    snprintf(message, sizeof message, "failed to allocate %zu bytes (err: %d)", size, error);
    VXBacktraceWrite(message, VXBacktraceDirectory(), "ass", true, nullptr);
    if (getenv("VX_ENABLE_ABORT_ON_FAILED_MEMORY_ALLOCATION") == nullptr) {
        VXFatalExit(0, "%s", message);
    }
    VXLog(0, VX_SEVERITY_CRITICAL, "%s", message);
    abort();
}

void VXFree(void* block) {
    if (block == nullptr) {
        return;
    }
    if (traceSettings().traceMode == 1) {
        block = onFree(block);
    }
    free(block);
}

uint32_t VXMemoryBytesInUse() {
    return VXAtomicLoad(&g_bytesInUse);
}

void VXFatalExit(uint32_t category, const char* format, ...) {
    va_list args;
    va_start(args, format);
    VXLogV(category, VX_SEVERITY_CRITICAL, format, args);
    va_end(args);
    VXTerminationHandler handler = g_termination.handler.load();
    if (handler != nullptr) {
        handler(g_termination.argument.load());
    }
    abort();
}

void VXSetTerminationHandler(VXTerminationHandler handler, void* argument) {
    g_termination.argument.store(argument);
    g_termination.handler.store(handler);
}

void VXExitTerminator(void* /*argument*/) {
    VXSetTerminationHandler(VXAbortTerminator, nullptr);
    VXLog(0, VX_SEVERITY_INFO, "terminating process using exit(EXIT_FAILURE)");
    exit(EXIT_FAILURE);
}

void VXAbortTerminator(void* /*argument*/) {
    VXLog(0, VX_SEVERITY_INFO, "terminating process using abort()");
    abort();
}

uint64_t VXClockNanoseconds(clockid_t clockId) {
    uint64_t nanoseconds = 0;
    if (clockId == CLOCK_MONOTONIC) {
        nanoseconds = VXPlatformMonotonicCounter();
    } else if (VXPlatformClockTime(clockId, &nanoseconds) != 0) {
        return 0;
    }
    return (nanoseconds == 0) ? 1 : nanoseconds;
}

uint64_t VXMonotonicNanoseconds() {
    return VXPlatformMonotonicCounter();
}

uint64_t VXDeadlineFromMilliseconds(int32_t milliseconds) {
    if (milliseconds < 0) {
        return VX_NO_DEADLINE;
    }
    return VXMonotonicNanoseconds() + static_cast<uint64_t>(milliseconds) * 1000000ull;
}

int VXTimerTimeout(uint64_t nanoseconds, uint32_t blockingStates) {
    for (;;) {
        if (VXPlatformTimerTimeout(blockingStates, nanoseconds) == 0) {
            return 1;
        }
        if (errno != EINTR) {
            return 0;
        }
    }
}

int VXTimerTimeoutAbsolute(uint64_t deadline, uint32_t blockingStates) {
    return VXTimerTimeout(deadline, blockingStates | VX_TIMER_ABSTIME);
}
