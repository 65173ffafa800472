// Log lines of the page client: "[MurelPage V=1.3,D=0,PID=..,TID=..,F=function()] LEVEL: message",
// sent to the system logger with opcode 0x100002. errno is the same after a call as before it.
#pragma once

#include <stdarg.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MURELPAGE_LIBRARY_VERSION "1.3,D=0"
#define MURELPAGE_SLOG_OPCODE 0x100002

typedef enum MurelPageLog_ELevel {
    MurelPageLog_ERROR = 0,   /* severity 2 */
    MurelPageLog_WARNING = 1, /* severity 3 */
    MurelPageLog_INFO = 2     /* severity 3 */
} MurelPageLog_ELevel;

void MurelPageLog_write(MurelPageLog_ELevel level, const char* function, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void MurelPageLog_writeV(MurelPageLog_ELevel level, const char* function, const char* format,
                         va_list args) __attribute__((format(printf, 3, 0)));

#ifdef __cplusplus
}
#endif

#define MURELPAGE_LOG_ERROR(function, ...)                                                         \
    MurelPageLog_write(MurelPageLog_ERROR, function, __VA_ARGS__)
#define MURELPAGE_LOG_WARNING(function, ...)                                                       \
    MurelPageLog_write(MurelPageLog_WARNING, function, __VA_ARGS__)
#define MURELPAGE_LOG_INFO(function, ...)                                                          \
    MurelPageLog_write(MurelPageLog_INFO, function, __VA_ARGS__)
