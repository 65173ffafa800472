#include "app/CMurelAdjLog.h"

#include "foundation/CVXString.h"
#include "foundation/VXAssert.h"
#include "foundation/VXOperatingSystem.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <syslog.h>

namespace {

// Settings: written once by main after the options were parsed, read by both threads (the
// signal-watch thread logs at any time), hence atomic.
std::atomic<uint32_t> s_levelMask{CMurelAdjLog::DEFAULT_LEVEL_MASK};
std::atomic<uint32_t> s_target{CMurelAdjLog::DEFAULT_TARGET};

void openSystemLogDefault(const char* identity, int option, int facility) {
    openlog(identity, option, facility);
}

void writeSystemLogDefault(int priority, const char* format, va_list args) {
    vsyslog(priority, format, args);
}

void closeSystemLogDefault() {
    closelog();
}

const CMurelAdjSystemLog DEFAULT_SYSTEM_LOG = {openSystemLogDefault, writeSystemLogDefault,
                                               closeSystemLogDefault};
const CMurelAdjSystemLog* s_systemLog = &DEFAULT_SYSTEM_LOG;

struct CLevelPrefixes {
    CVXString error{"ERROR: "};
    CVXString warning{"WARNING: "};
    CVXString info{"INFO: "};
};

// The level prefixes are built on first use and never destroyed: the signal-watch thread is never
// joined and may still be logging while the process runs its exit handlers.
const CLevelPrefixes& levelPrefixes() {
    static const CLevelPrefixes* const prefixes = new CLevelPrefixes;
    return *prefixes;
}

// Built during static initialisation, so that logging itself never allocates them.
[[maybe_unused]] const CLevelPrefixes& s_levelPrefixesAtStartUp = levelPrefixes();

// "velkor: "
constexpr size_t NAME_PREFIX_CAPACITY = 32;
void buildNamePrefix(char (&namePrefix)[NAME_PREFIX_CAPACITY]) {
    snprintf(namePrefix, sizeof(namePrefix), "%s: ", CMurelAdjLog::PROGRAM_NAME);
}

__attribute__((format(printf, 3, 0))) void writeLevel(uint32_t level, const CVXString& levelPrefix,
                                                      const char* format, va_list args) {
    if (format == nullptr) {
        VXAssertionFailed(__LINE__, "CMurelAdjLog", "Invalid parameter");
        return;
    }
    char namePrefix[NAME_PREFIX_CAPACITY];
    buildNamePrefix(namePrefix);
    const size_t size = strlen(namePrefix) + levelPrefix.byteLength() + strlen(format) + 1;
    char* const prefixedFormat = static_cast<char*>(VXMallocOrDie(size));
    snprintf(prefixedFormat, size, "%s%s%s", namePrefix, levelPrefix.c_str(), format);
    CMurelAdjLog::write(level, prefixedFormat, args);
    VXFree(prefixedFormat);
}

} // namespace

void CMurelAdjLog::error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeLevel(LEVEL_ERROR, levelPrefixes().error, format, args);
    va_end(args);
}

void CMurelAdjLog::warning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeLevel(LEVEL_WARNING, levelPrefixes().warning, format, args);
    va_end(args);
}

void CMurelAdjLog::info(const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeLevel(LEVEL_INFO, levelPrefixes().info, format, args);
    va_end(args);
}

void CMurelAdjLog::setTarget(uint32_t target) {
    s_target.store(target, std::memory_order_relaxed);
}

void CMurelAdjLog::setLevelMask(uint32_t mask) {
    s_levelMask.store(mask, std::memory_order_relaxed);
}

uint32_t CMurelAdjLog::target() {
    return s_target.load(std::memory_order_relaxed);
}

uint32_t CMurelAdjLog::levelMask() {
    return s_levelMask.load(std::memory_order_relaxed);
}

int CMurelAdjLog::priorityOf(uint32_t level) {
    switch (level) {
    case LEVEL_WARNING:
        return LOG_WARNING;
    case LEVEL_ERROR:
        return LOG_ERR;
    default:
        return LOG_INFO;
    }
}

void CMurelAdjLog::write(uint32_t level, const char* format, va_list args) {
    const uint32_t mask = s_levelMask.load(std::memory_order_relaxed);
    const uint32_t target = s_target.load(std::memory_order_relaxed);
    if (mask == LEVEL_NONE || (level & mask) == 0) {
        return;
    }
    if (target == TARGET_SYSLOG || target == (TARGET_SYSLOG | TARGET_STDERR)) {
        va_list copy;
        va_copy(copy, args);
        s_systemLog->write(priorityOf(level), format, copy);
        va_end(copy);
    }
    if (target == TARGET_STDERR || target == (TARGET_SYSLOG | TARGET_STDERR)) {
        va_list copy;
        va_copy(copy, args);
        // One line with its newline, not split by a line of the other thread.
        flockfile(stderr);
        vfprintf(stderr, format, copy);
        fputc('\n', stderr);
        fflush(stderr);
        funlockfile(stderr);
        va_end(copy);
    }
}

void CMurelAdjLog::openSystemLog() {
    s_systemLog->open(PROGRAM_NAME, LOG_PID | LOG_CONS, LOG_USER);
}

void CMurelAdjLog::closeSystemLog() {
    s_systemLog->close();
}

const CMurelAdjSystemLog* CMurelAdjLog::setSystemLog(const CMurelAdjSystemLog* systemLog) {
    const CMurelAdjSystemLog* const previous = s_systemLog;
    s_systemLog = systemLog != nullptr ? systemLog : &DEFAULT_SYSTEM_LOG;
    return previous;
}

void reportOptionError(const char* format, ...) {
    if (format == nullptr) {
        VXAssertionFailed(__LINE__, "CMurelAdjLog", "Invalid parameter");
        return;
    }
    char namePrefix[NAME_PREFIX_CAPACITY];
    buildNamePrefix(namePrefix);
    const size_t size = strlen(namePrefix) + strlen(format) + 1;
    char* const prefixedFormat = static_cast<char*>(VXMallocOrDie(size));
    snprintf(prefixedFormat, size, "%s%s", namePrefix, format);
    va_list args;
    va_start(args, format);
    flockfile(stderr);
    vfprintf(stderr, prefixedFormat, args);
    fputc('\n', stderr);
    fflush(stderr);
    funlockfile(stderr);
    va_end(args);
    VXFree(prefixedFormat);
}
