// System logger: one line per call (QNX slogf).
//
// On QNX, VXSlogf forwards to slogf(). On Linux each call becomes one syslog(3) line with facility
// LOG_USER; the severity is mapped to a syslog priority (see VXSlogPriority); without a system
// logger (no /dev/log) a call fails with ENOENT, as slogf does. Tests install a sink
// to capture the lines (opcode, severity, text) instead of sending them to the system log.
#pragma once

#include <cstdarg>

// QNX slog severities.
enum EVXSlogSeverity : int {
    VX_SLOG_SHUTDOWN = 0,
    VX_SLOG_CRITICAL = 1,
    VX_SLOG_ERROR = 2,
    VX_SLOG_WARNING = 3,
    VX_SLOG_NOTICE = 4,
    VX_SLOG_INFO = 5,
    VX_SLOG_DEBUG1 = 6,
    VX_SLOG_DEBUG2 = 7,
};

// Writes one formatted line to the system logger. Returns the number of bytes sent, or -1 with
// errno set (ENOENT: no system logger present), as slogf does.
int VXSlogf(int opcode, int severity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int VXVSlogf(int opcode, int severity, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));

// syslog(3) priority for a slog severity.
int VXSlogPriority(int severity);

// A sink receives every line instead of the system log. The text has no trailing newline.
// A sink returns what VXSlogf shall return (>= 0 success, -1 failure with errno set).
using VXSlogSink = int (*)(void* context, int opcode, int severity, const char* text);

// Installs a sink (null restores the system log) and returns the previous one.
// Not thread-safe against concurrent logging: meant for tests and start-up.
void VXSlogSetSink(VXSlogSink sink, void* context, VXSlogSink* previousSink = nullptr,
                   void** previousContext = nullptr);
