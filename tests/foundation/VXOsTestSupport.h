// Test helpers for the operating-system layer: a captured system log and scoped environment
// changes.
#pragma once

#include "foundation/platform/VXSlog.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

struct SlogLine {
    int opcode;
    int severity;
    std::string text;
};

// Captures every system-log line while it exists; optionally fails every call with an errno.
class SlogCapture {
public:
    SlogCapture() { VXSlogSetSink(&SlogCapture::sink, this, &m_previousSink, &m_previousContext); }
    ~SlogCapture() { VXSlogSetSink(m_previousSink, m_previousContext); }
    SlogCapture(const SlogCapture&) = delete;
    SlogCapture& operator=(const SlogCapture&) = delete;

    // Every following call fails with errorNumber (0: succeed again).
    void failWith(int errorNumber) { m_failure = errorNumber; }
    const std::vector<SlogLine>& lines() const { return m_lines; }

private:
    static int sink(void* context, int opcode, int severity, const char* text) {
        auto* self = static_cast<SlogCapture*>(context);
        self->m_lines.push_back({opcode, severity, text});
        if (self->m_failure != 0) {
            errno = self->m_failure;
            return -1;
        }
        return static_cast<int>(self->m_lines.back().text.size());
    }

    std::vector<SlogLine> m_lines;
    int m_failure = 0;
    VXSlogSink m_previousSink = nullptr;
    void* m_previousContext = nullptr;
};

// Writes every system-log line to standard error as "slog <opcode> <severity> <text>", so that a
// child process's log can be matched by a death test or read by the parent.
inline int slogToStderr(void* /*context*/, int opcode, int severity, const char* text) {
    return fprintf(stderr, "slog %d %d %s\n", opcode, severity, text);
}

// Sets or unsets an environment variable for a scope and restores the previous state.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : m_name(name) {
        const char* previous = getenv(name);
        m_hadValue = (previous != nullptr);
        if (m_hadValue) {
            m_previous = previous;
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (m_hadValue) {
            setenv(m_name.c_str(), m_previous.c_str(), 1);
        } else {
            unsetenv(m_name.c_str());
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string m_name;
    std::string m_previous;
    bool m_hadValue = false;
};

// Number of non-overlapping occurrences of needle in text.
inline size_t countOccurrences(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}
