// Forked helper processes for the multi-process lock and page tests.
#pragma once

#include <cstdint>
#include <functional>
#include <new>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

// An object in anonymous shared memory, seen by the forked children.
template <typename T>
class TSharedMemory {
public:
    TSharedMemory() {
        void* mapping =
            mmap(nullptr, sizeof(T), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        m_object = mapping == MAP_FAILED ? nullptr : new (mapping) T{};
    }
    ~TSharedMemory() {
        if (m_object != nullptr) {
            munmap(m_object, sizeof(T));
        }
    }
    TSharedMemory(const TSharedMemory&) = delete;
    TSharedMemory& operator=(const TSharedMemory&) = delete;
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    T* get() const { return m_object; }

private:
    T* m_object = nullptr;
};

// Runs body in a child process that exits with its result; a child still running after
// limitSeconds is killed by its alarm.
inline pid_t forkChild(const std::function<int()>& body, unsigned limitSeconds = 20) {
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(limitSeconds);
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

inline int64_t monotonicMs() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

inline int64_t monotonicUs() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

inline void sleepMs(unsigned milliseconds) {
    usleep(milliseconds * 1000u);
}

inline uint32_t atomicRead(const uint32_t* word) {
    return __atomic_load_n(word, __ATOMIC_SEQ_CST);
}

inline void atomicWrite(uint32_t* word, uint32_t value) {
    __atomic_store_n(word, value, __ATOMIC_SEQ_CST);
}

// Polls until predicate holds or timeoutMs passes; true when it held.
inline bool waitUntil(const std::function<bool()>& predicate, int timeoutMs = 5000) {
    const int64_t end = monotonicMs() + timeoutMs;
    while (!predicate()) {
        if (monotonicMs() > end) {
            return false;
        }
        usleep(1000);
    }
    return true;
}
