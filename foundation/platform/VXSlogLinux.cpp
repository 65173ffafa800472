// Linux stand-in for the system logger: one syslog(3) line per call, or the installed sink.
#include "foundation/platform/VXSlog.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <syslog.h>
#include <unistd.h>

namespace {

// Longest line handed on; longer lines are cut (the process log itself stays below 1025 bytes).
constexpr int MAX_LINE = 2048;

// The system logger's socket; without it there is no logger, as slogf reports with ENOENT.
constexpr const char* LOGGER_SOCKET = "/dev/log";

std::atomic<VXSlogSink> g_sink{nullptr};
std::atomic<void*> g_sinkContext{nullptr};

} // namespace

int VXSlogPriority(int severity) {
    switch (severity) {
    case VX_SLOG_SHUTDOWN:
        return LOG_EMERG;
    case VX_SLOG_CRITICAL:
        return LOG_CRIT;
    case VX_SLOG_ERROR:
        return LOG_ERR;
    case VX_SLOG_WARNING:
        return LOG_WARNING;
    case VX_SLOG_NOTICE:
        return LOG_NOTICE;
    case VX_SLOG_INFO:
        return LOG_INFO;
    default:
        return LOG_DEBUG;
    }
}

int VXVSlogf(int opcode, int severity, const char* format, va_list args) {
    if (format == nullptr) {
        errno = EINVAL;
        return -1;
    }
    char line[MAX_LINE];
    int length = vsnprintf(line, sizeof line, format, args);
    if (length < 0) {
        return -1;
    }
    if (length >= MAX_LINE) {
        length = MAX_LINE - 1;
    }
    VXSlogSink sink = g_sink.load(std::memory_order_acquire);
    if (sink != nullptr) {
        return sink(g_sinkContext.load(std::memory_order_acquire), opcode, severity, line);
    }
    if (access(LOGGER_SOCKET, F_OK) != 0 && errno == ENOENT) {
        return -1;
    }
    syslog(LOG_USER | VXSlogPriority(severity), "%s", line);
    return length;
}

int VXSlogf(int opcode, int severity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = VXVSlogf(opcode, severity, format, args);
    va_end(args);
    return result;
}

void VXSlogSetSink(VXSlogSink sink, void* context, VXSlogSink* previousSink,
                   void** previousContext) {
    if (previousContext != nullptr) {
        *previousContext = g_sinkContext.load(std::memory_order_acquire);
    }
    if (previousSink != nullptr) {
        *previousSink = g_sink.load(std::memory_order_acquire);
    }
    g_sinkContext.store(context, std::memory_order_release);
    g_sink.store(sink, std::memory_order_release);
}
