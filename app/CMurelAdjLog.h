// The application log: level-prefixed lines to the system log and/or standard error.
#pragma once

#include <cstdarg>
#include <cstdint>

// The system-log calls behind the log, replaceable so that tests can capture what would reach the
// system log (priority and formatted text) without a system logger.
struct CMurelAdjSystemLog {
    void (*open)(const char* identity, int option, int facility);
    void (*write)(int priority, const char* format, va_list args)
        __attribute__((format(printf, 2, 0)));
    void (*close)();
};

class CMurelAdjLog {
public:
    static constexpr uint32_t LEVEL_WARNING = 1;
    static constexpr uint32_t LEVEL_ERROR = 2;
    static constexpr uint32_t LEVEL_INFO = 4;
    static constexpr uint32_t LEVEL_NONE = 0xFFFFFFFFu;
    static constexpr uint32_t TARGET_SYSLOG = 1;
    static constexpr uint32_t TARGET_STDERR = 2;

    static constexpr uint32_t DEFAULT_LEVEL_MASK = LEVEL_WARNING | LEVEL_ERROR | LEVEL_INFO;
    static constexpr uint32_t DEFAULT_TARGET = TARGET_SYSLOG | TARGET_STDERR;

    // Identity in the system log and first prefix of every line.
    static constexpr const char* PROGRAM_NAME = "velkor";

    static void error(const char* format, ...) __attribute__((format(printf, 1, 2)));
    static void warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
    static void info(const char* format, ...) __attribute__((format(printf, 1, 2)));

    static void setTarget(uint32_t target);
    static void setLevelMask(uint32_t mask);
    static uint32_t target();
    static uint32_t levelMask();

    // Filter and writer behind the level operations.
    static void write(uint32_t level, const char* format, va_list args)
        __attribute__((format(printf, 2, 0)));

    // openlog("velkor", LOG_PID | LOG_CONS, LOG_USER) / closelog().
    static void openSystemLog();
    static void closeSystemLog();

    // Replaces the system-log calls (null restores openlog/vsyslog/closelog); returns the previous
    // ones. Meant for tests, before any other thread logs.
    static const CMurelAdjSystemLog* setSystemLog(const CMurelAdjSystemLog* systemLog);

    // System-log priority of a level bit: LOG_WARNING, LOG_ERR, LOG_INFO for anything else.
    static int priorityOf(uint32_t level);
};

// Unfiltered option-error line on standard error: "velkor: " and the message.
void reportOptionError(const char* format, ...) __attribute__((format(printf, 1, 2)));
