// Helpers of the page client tests: a captured system log and a page that removes itself.
#pragma once

#include "foundation/platform/VXSlog.h"
#include "murelpage/MurelPageImage.h"
#include "murelpage/MurelPageWriter.h"
#include "tests/support/ProcessRunner.h"

#include <string>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

struct CCapturedLine {
    int opcode;
    int severity;
    std::string text;
};

// Captures every system-log line while it exists.
class CCapturedSlog {
public:
    CCapturedSlog() { VXSlogSetSink(&CCapturedSlog::sink, this, &m_previous, &m_previousContext); }
    ~CCapturedSlog() { VXSlogSetSink(m_previous, m_previousContext); }
    CCapturedSlog(const CCapturedSlog&) = delete;
    CCapturedSlog& operator=(const CCapturedSlog&) = delete;

    const std::vector<CCapturedLine>& lines() const { return m_lines; }
    void clear() { m_lines.clear(); }
    // The texts only.
    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const CCapturedLine& line : m_lines) {
            result.push_back(line.text);
        }
        return result;
    }
    // Number of lines containing part.
    size_t count(const std::string& part) const {
        size_t n = 0;
        for (const CCapturedLine& line : m_lines) {
            n += line.text.find(part) != std::string::npos ? 1 : 0;
        }
        return n;
    }

private:
    static int sink(void* context, int opcode, int severity, const char* text) {
        static_cast<CCapturedSlog*>(context)->m_lines.push_back({opcode, severity, text});
        return 0;
    }
    VXSlogSink m_previous = nullptr;
    void* m_previousContext = nullptr;
    std::vector<CCapturedLine> m_lines;
};

// The line prefix of the calling thread for a reporting function.
inline std::string murelPagePrefix(const std::string& function) {
    return "[MurelPage V=1.3,D=0,PID=" + std::to_string(getpid()) +
           ",TID=" + std::to_string(static_cast<int>(syscall(SYS_gettid))) + ",F=" + function +
           "()] ";
}

// A page and access object with unique names, removed again by the destructor.
class CTestPage {
public:
    explicit CTestPage(const std::string& tag)
        : m_page(uniqueShmName(tag + "-page")), m_lock(uniqueShmName(tag + "-lock")) {}
    ~CTestPage() {
        std::string error;
        CMurelPageWriter::remove(m_page, m_lock, error);
    }
    CTestPage(const CTestPage&) = delete;
    CTestPage& operator=(const CTestPage&) = delete;

    const std::string& page() const { return m_page; }
    const std::string& lock() const { return m_lock; }

    // Writes an image (zero-padded to size), raising the change counter unless told otherwise.
    bool write(const std::vector<uint8_t>& image, bool raiseCounter = true, uint32_t size = 8192) {
        CMurelPageWriter writer;
        return writer.open(m_page, m_lock, size) && writer.write(image, raiseCounter);
    }
    bool writeItems(const std::vector<CMurelPageItem>& items, uint8_t format = 1) {
        std::vector<uint8_t> image;
        return MurelPageImage_build(items, image, format) && write(image);
    }

private:
    std::string m_page;
    std::string m_lock;
};
