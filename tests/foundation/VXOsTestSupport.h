// Helpers of the foundation tests: a captured system log, assertion reports in it, scoped
// environment changes and a scratch directory.
#pragma once

#include "foundation/platform/VXSlog.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

struct SlogLine {
    int opcode;
    int severity;
    std::string text;
    bool operator==(const SlogLine& other) const {
        return opcode == other.opcode && severity == other.severity && text == other.text;
    }
};

inline void PrintTo(const SlogLine& line, std::ostream* out) {
    *out << "{" << line.opcode << ", " << line.severity << ", \"" << line.text << "\"}";
}

// "pid <this process>: ", the start of every process-log line.
inline std::string pidPrefix() {
    return "pid " + std::to_string(getpid()) + ": ";
}

// A process-log line of category 0 as the sink receives it.
inline SlogLine processLine(int severity, const std::string& message) {
    return {10000, severity, pidPrefix() + message};
}

// Captures every system-log line while it exists (from any thread); optionally fails every call
// with an errno.
class SlogCapture {
public:
    SlogCapture() { VXSlogSetSink(&SlogCapture::sink, this, &m_previousSink, &m_previousContext); }
    ~SlogCapture() { VXSlogSetSink(m_previousSink, m_previousContext); }
    SlogCapture(const SlogCapture&) = delete;
    SlogCapture& operator=(const SlogCapture&) = delete;

    // Every following call fails with errorNumber (0: succeed again).
    void failWith(int errorNumber) { m_failure = errorNumber; }
    // The lines so far; read them while no other thread logs.
    const std::vector<SlogLine>& lines() const { return m_lines; }
    // The lines so far, which are then forgotten.
    std::vector<SlogLine> take() {
        std::lock_guard<std::mutex> guard(m_mutex);
        std::vector<SlogLine> lines;
        lines.swap(m_lines);
        return lines;
    }

private:
    static int sink(void* context, int opcode, int severity, const char* text) {
        auto* self = static_cast<SlogCapture*>(context);
        std::lock_guard<std::mutex> guard(self->m_mutex);
        self->m_lines.push_back({opcode, severity, text});
        if (self->m_failure != 0) {
            errno = self->m_failure;
            return -1;
        }
        return static_cast<int>(self->m_lines.back().text.size());
    }

    mutable std::mutex m_mutex;
    std::vector<SlogLine> m_lines;
    int m_failure = 0;
    VXSlogSink m_previousSink = nullptr;
    void* m_previousContext = nullptr;
};

// Whether text is head, a decimal line number, then tail.
inline bool matchesWithLineNumber(const std::string& text, const std::string& head,
                                  const std::string& tail) {
    if (text.size() <= head.size() + tail.size() || text.compare(0, head.size(), head) != 0 ||
        text.compare(text.size() - tail.size(), tail.size(), tail) != 0) {
        return false;
    }
    for (size_t i = head.size(); i < text.size() - tail.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) {
            return false;
        }
    }
    return true;
}

// Number of assertion reports of message from source among lines: a severity-2 line
// "<source>:<line>: ASSERTION "<message>" failed" counts when the severity-1 line
// "ASSERTION "<message>" failed in <source> <line>" follows it.
inline int countAssertionReports(const std::vector<SlogLine>& lines, const std::string& source,
                                 const std::string& message) {
    const std::string quoted = "ASSERTION \"" + message + "\" failed";
    int reports = 0;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        reports +=
            lines[i].severity == VX_SLOG_ERROR && lines[i + 1].severity == VX_SLOG_CRITICAL &&
            matchesWithLineNumber(lines[i].text, pidPrefix() + source + ":", ": " + quoted) &&
            matchesWithLineNumber(lines[i + 1].text, pidPrefix() + quoted + " in " + source + " ",
                                  "");
    }
    return reports;
}

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

// A fresh directory under the system temp directory, removed with its contents when destroyed.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velkor-foundation-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // Writes bytes into the named file and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(file(name), std::ios::binary) << bytes;
        return file(name);
    }

private:
    std::string m_path;
};
