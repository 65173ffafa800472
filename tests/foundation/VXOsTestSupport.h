// Helpers of the foundation tests: a captured system log, assertion reports, environment changes.
#pragma once

#include "foundation/platform/VXSlog.h"
#include "tests/support/Emulator.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct SlogLine {
    int opcode;
    int severity;
    std::string text;
    bool operator==(const SlogLine&) const = default;
};

// A process-log line of category 0 as the sink receives it: "pid <this process>: <message>".
inline SlogLine processLine(int severity, const std::string& message) {
    return {10000, severity, "pid " + std::to_string(getpid()) + ": " + message};
}

// Captures every system-log line while it exists (from any thread).
class SlogCapture {
public:
    SlogCapture() { VXSlogSetSink(&SlogCapture::sink, this); }
    ~SlogCapture() { VXSlogSetSink(nullptr, nullptr); }

    // The lines so far, which are then forgotten.
    std::vector<SlogLine> take() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return std::exchange(m_lines, {});
    }

private:
    static int sink(void* context, int opcode, int severity, const char* text) {
        auto* self = static_cast<SlogCapture*>(context);
        std::lock_guard<std::mutex> guard(self->m_mutex);
        self->m_lines.push_back({opcode, severity, text});
        return static_cast<int>(std::strlen(text));
    }

    std::mutex m_mutex;
    std::vector<SlogLine> m_lines;
};

// Number of assertion reports of message from source among lines, by their critical line
// "ASSERTION "<message>" failed in <source> <line>" (the probe's run shows a whole report).
inline int countAssertionReports(const std::vector<SlogLine>& lines, const std::string& source,
                                 const std::string& message) {
    const std::string head = processLine(0, "ASSERTION \"" + message + "\" failed in ").text;
    int reports = 0;
    for (const SlogLine& line : lines) {
        reports += line.severity == VX_SLOG_CRITICAL && line.text.starts_with(head + source + " ");
    }
    return reports;
}

// Writes every system-log line to standard error as "slog <opcode> <severity> <text>", so that a
// child process's log can be matched by a death test or read by the parent.
inline int slogToStderr(void* /*context*/, int opcode, int severity, const char* text) {
    return fprintf(stderr, "slog %d %d %s\n", opcode, severity, text);
}

inline void printFromAtexit() {
    fprintf(stderr, "atexit handler ran\n");
}

// Sets (or, given null, unsets) an environment variable for a scope.
struct ScopedEnvironment {
    ScopedEnvironment(const char* variable, const char* value) : name(variable) {
        if (const char* old = getenv(variable)) {
            previous = old;
        }
        value != nullptr ? setenv(variable, value, 1) : unsetenv(variable);
    }
    ~ScopedEnvironment() {
        previous ? setenv(name.c_str(), previous->c_str(), 1) : unsetenv(name.c_str());
    }
    std::string name;
    std::optional<std::string> previous;
};

// Number of occurrences of needle in text.
inline size_t countOccurrences(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

// Whether the thread waits in the system call, as /proc shows. The emulator shows its own calls
// there: under it, this is always true, and an order the tests force is left to chance.
inline bool waitsIn(pid_t thread, long call) {
    std::string state;
    std::ifstream("/proc/self/task/" + std::to_string(thread) + "/syscall") >> state;
    return kUnderEmulator || state == std::to_string(call);
}
