// Operating-system layer: process log, allocation policy, termination and time.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <ctime>

// Process-log severities (QNX slog severities as the foundation uses them).
enum EVXSeverity : int {
    VX_SEVERITY_CRITICAL = 1,
    VX_SEVERITY_ERROR = 2,
    VX_SEVERITY_NOTICE = 4,
    VX_SEVERITY_INFO = 5,
};

// One process-log line: "pid %d: " and the message, at most 1024 characters, sent to the system
// logger with opcode (category << 20) | 10000; written to standard error only when the logger fails
// for a reason other than its absence.
void VXLog(uint32_t category, int severity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void VXLogV(uint32_t category, int severity, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));

// Logs "%s (operating system error %d, %s)" with text, errorNumber and its strerror text.
void VXLogOsError(uint32_t category, int severity, int errorNumber, const char* text);

// Bounded vsnprintf: characters stored (size - 1 when cut), 0 for size 0, -1 on failure.
int32_t VXFormat(char* buffer, int32_t size, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));

// Allocation with the optional byte-count trace ("--memtrace=1"). Size 0 gives null.
void* VXMalloc(size_t size);
// As VXMalloc; a failed non-zero request writes a backtrace report and ends the process.
void* VXMallocOrDie(size_t size);
void VXFree(void* block);
// Bytes currently allocated through VXMalloc while tracing is on.
uint32_t VXMemoryBytesInUse();

// Logs the message with severity 1, runs the termination handler, then abort()s.
[[noreturn]] void VXFatalExit(uint32_t category, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Termination handler slot: starts with the exit terminator.
using VXTerminationHandler = void (*)(void* argument);
void VXSetTerminationHandler(VXTerminationHandler handler, void* argument);
void VXExitTerminator(void* argument);  // installs the abort terminator, then exit(EXIT_FAILURE)
void VXAbortTerminator(void* argument); // abort()

// Time in nanoseconds; 0 means failure or absence, so a true reading of 0 is returned as 1.
constexpr uint64_t VX_NO_DEADLINE = 0xFFFFFFFFFFFFFFFFull;
uint64_t VXClockNanoseconds(clockid_t clockId);
uint64_t VXMonotonicNanoseconds();
uint64_t VXDeadlineFromMilliseconds(int32_t milliseconds);

// Arms a time-out for the next blocking call (QNX TimerTimeout); 1 armed, 0 failed (errno set).
int VXTimerTimeout(uint64_t nanoseconds, uint32_t blockingStates);
int VXTimerTimeoutAbsolute(uint64_t deadline, uint32_t blockingStates);

// Linux stand-in for the kernel time-out armed by VXTimerTimeout*: waits until descriptor is
// ready for events (poll events) or the time-out armed on this thread expires, and disarms it.
// Returns 1 when ready (or nothing armed), 0 with errno ETIMEDOUT on expiry or EINTR when a signal
// interrupted the wait. On QNX the kernel does this inside the blocking call itself.
int VXWaitForArmedTimeout(int descriptor, short events);
