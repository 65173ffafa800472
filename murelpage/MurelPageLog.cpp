#include "murelpage/MurelPageLog.h"

#include "foundation/platform/VXSlog.h"

#include <cerrno>
#include <cstdio>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The thread id printed as TID: the kernel's id of the calling thread (QNX: pthread_self()).
int currentThreadId() {
    return static_cast<int>(syscall(SYS_gettid));
}

} // namespace

void MurelPageLog_writeV(MurelPageLog_ELevel level, const char* function, const char* format,
                         va_list args) {
    const int savedErrno = errno;
    const char* levelWord = "ERROR";
    int severity = VX_SLOG_ERROR;
    if (level == MurelPageLog_WARNING) {
        levelWord = "WARNING";
        severity = VX_SLOG_WARNING;
    } else if (level == MurelPageLog_INFO) {
        levelWord = "INFO";
        severity = VX_SLOG_WARNING;
    }
    char message[512];
    va_list copy;
    va_copy(copy, args);
    std::vsnprintf(message, sizeof(message), format, copy);
    va_end(copy);
    VXSlogf(MURELPAGE_SLOG_OPCODE, severity, "[MurelPage V=%s,PID=%i,TID=%i,F=%s()] %s: %s",
            MURELPAGE_LIBRARY_VERSION, static_cast<int>(getpid()), currentThreadId(),
            function != nullptr ? function : "", levelWord, message);
    errno = savedErrno;
}

void MurelPageLog_write(MurelPageLog_ELevel level, const char* function, const char* format, ...) {
    va_list args;
    va_start(args, format);
    MurelPageLog_writeV(level, function, format, args);
    va_end(args);
}
