// CVXCriticalSection: non-recursive mutex for function-local static locks.
#pragma once

#include <pthread.h>

class CVXCriticalSection {
public:
    CVXCriticalSection();  // logs "Failed to create CVXCriticalSection: error=%d" on failure
    ~CVXCriticalSection(); // logs "Failed to destroy CVXCriticalSection: error=%d" on failure
    CVXCriticalSection(const CVXCriticalSection&) = delete;
    CVXCriticalSection& operator=(const CVXCriticalSection&) = delete;

    void Lock();
    void Unlock();

private:
    pthread_mutex_t m_mutex;
};

// Holds a critical section for a scope.
class CVXCriticalSectionLock {
public:
    explicit CVXCriticalSectionLock(CVXCriticalSection& section) : m_section(section) {
        m_section.Lock();
    }
    ~CVXCriticalSectionLock() { m_section.Unlock(); }
    CVXCriticalSectionLock(const CVXCriticalSectionLock&) = delete;
    CVXCriticalSectionLock& operator=(const CVXCriticalSectionLock&) = delete;

private:
    CVXCriticalSection& m_section;
};
