// Helpers of the murelpage tests: forked helper processes, a captured system log and a page that
// removes itself.
#pragma once

#include "foundation/platform/VXSlog.h"
#include "murelpage/MurelPageImage.h"
#include "murelpage/MurelPageWriter.h"
#include "murelpage/murelpagegetsh.h"
#include "tests/support/ProcessRunner.h"

#include <atomic>
#include <cerrno>
#include <functional>
#include <new>
#include <string>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

// An object in anonymous shared memory, seen by forked children.
template <typename T>
struct TSharedMemory {
    T* object =
        new (mmap(nullptr, sizeof(T), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0))
            T{};
    ~TSharedMemory() { munmap(object, sizeof(T)); }
    T* operator->() const { return object; }
};

// Runs body in a child process that exits with its result; its alarm kills it after 20 seconds.
inline pid_t forkChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(20);
        _exit(body());
    }
    return pid;
}

// Exit status of a child, or 128 + signal when it was killed.
inline int waitChild(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline int64_t monotonicUs() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// The line prefix of a reporting function, for the calling thread.
inline std::string murelPagePrefix(const std::string& function) {
    return "[MurelPage V=1.3,D=0,PID=" + std::to_string(getpid()) +
           ",TID=" + std::to_string(syscall(SYS_gettid)) + ",F=" + function + "()] ";
}

// Captures every system-log line while it exists. The sink clobbers errno, which a log line must
// leave as it was for its caller.
struct CCapturedSlog {
    CCapturedSlog() { VXSlogSetSink(&sink, this, &previous, &previousContext); }
    ~CCapturedSlog() { VXSlogSetSink(previous, previousContext); }

    // The lines of one reporting function of this thread, without the line prefix.
    std::vector<std::string> of(const std::string& function) const {
        std::vector<std::string> result;
        const std::string prefix = murelPagePrefix(function);
        for (const std::string& text : texts) {
            if (text.rfind(prefix, 0) == 0) {
                result.push_back(text.substr(prefix.size()));
            }
        }
        return result;
    }
    static int sink(void* context, int /*opcode*/, int /*severity*/, const char* text) {
        static_cast<CCapturedSlog*>(context)->texts.emplace_back(text);
        errno = ENOENT;
        return -1;
    }

    std::vector<std::string> texts;
    VXSlogSink previous = nullptr;
    void* previousContext = nullptr;
};

// A page and access object with unique names, removed again by the destructor; the page client
// starts and ends detached.
struct CTestPage {
    explicit CTestPage(const std::string& tag)
        : page(uniqueShmName(tag + "-page")), lock(uniqueShmName(tag + "-lock")) {
        MurelPageGetSh_resetForTesting();
    }
    ~CTestPage() {
        MurelPageGetSh_resetForTesting();
        std::string error;
        CMurelPageWriter::remove(page, lock, error);
    }
    MurelPageGet_EResult attach() const {
        return MurelPageGetSh_attach(page.c_str(), lock.c_str());
    }
    // Writes an image (zero-padded to size), raising the change counter unless told otherwise.
    bool write(const std::vector<uint8_t>& image, bool raiseCounter = true, uint32_t size = 8192) {
        return writer.open(page, lock, size) && writer.write(image, raiseCounter);
    }

    const std::string page;
    const std::string lock;
    CMurelPageWriter writer;
};
