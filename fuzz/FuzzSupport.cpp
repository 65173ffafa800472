#include "fuzz/FuzzSupport.h"

#include "app/CMurelAdjLog.h"
#include "foundation/platform/VXSlog.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

void fuzzExpectationFailed(const char* file, int line, const char* condition) {
    fprintf(stderr, "%s:%d: fuzz expectation failed: %s\n", file, line, condition);
    fflush(stderr);
    abort();
}

namespace {

// Formats the line as the logger would, then drops it.
int discardSlogLine(void* /*context*/, int /*opcode*/, int /*severity*/, const char* text) {
    return static_cast<int>(strlen(text));
}

void openNoSystemLog(const char* /*identity*/, int /*option*/, int /*facility*/) {}

__attribute__((format(printf, 2, 0))) void formatAndDrop(int /*priority*/, const char* format,
                                                         va_list args) {
    char line[1024];
    vsnprintf(line, sizeof line, format, args);
}

void closeNoSystemLog() {}

const CMurelAdjSystemLog s_noSystemLog = {openNoSystemLog, formatAndDrop, closeNoSystemLog};

} // namespace

void fuzzQuietProcess() {
    setenv("VX_ENABLE_ABORT_ON_ASSERTION", "1", 1);
    setenv("VX_ENABLE_ABORT_ON_FATAL_ERROR", "1", 1);
    VXSlogSetSink(discardSlogLine, nullptr);
    CMurelAdjLog::setSystemLog(&s_noSystemLog);
    CMurelAdjLog::setTarget(CMurelAdjLog::TARGET_SYSLOG);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        fflush(stdout);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
}

CFuzzMemoryFile::CFuzzMemoryFile() {
    m_descriptor = memfd_create("velkor-fuzz-input", MFD_CLOEXEC);
    if (m_descriptor < 0) {
        fprintf(stderr, "memfd_create failed: %s\n", strerror(errno));
        abort();
    }
    m_path = "/proc/self/fd/" + std::to_string(m_descriptor);
}

CFuzzMemoryFile::~CFuzzMemoryFile() {
    if (m_descriptor >= 0) {
        close(m_descriptor);
    }
}

bool CFuzzMemoryFile::assign(const uint8_t* data, size_t size) {
    if (ftruncate(m_descriptor, 0) != 0) {
        return false;
    }
    size_t written = 0;
    while (written < size) {
        const ssize_t count =
            pwrite(m_descriptor, data + written, size - written, static_cast<off_t>(written));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        written += static_cast<size_t>(count);
    }
    return true;
}

namespace {

std::string s_scratch;

void removeScratchDirectory() {
    if (s_scratch.empty()) {
        return;
    }
    DIR* directory = opendir(s_scratch.c_str());
    if (directory != nullptr) {
        while (const dirent* entry = readdir(directory)) {
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
                unlink((s_scratch + "/" + entry->d_name).c_str());
            }
        }
        closedir(directory);
    }
    rmdir(s_scratch.c_str());
}

} // namespace

const std::string& fuzzScratchDirectory() {
    if (s_scratch.empty()) {
        const char* base = getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/velkor-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            fprintf(stderr, "mkdtemp failed: %s\n", strerror(errno));
            abort();
        }
        s_scratch = pattern;
        atexit(removeScratchDirectory);
    }
    return s_scratch;
}
