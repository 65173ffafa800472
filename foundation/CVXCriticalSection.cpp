// CVXCriticalSection over a default-attribute POSIX mutex.
#include "foundation/CVXCriticalSection.h"

#include "foundation/VXOperatingSystem.h"

CVXCriticalSection::CVXCriticalSection() : m_mutex() {
    const int result = pthread_mutex_init(&m_mutex, nullptr);
    if (result != 0) {
        VXLog(0, VX_SEVERITY_CRITICAL, "Failed to create CVXCriticalSection: error=%d", result);
    }
}

CVXCriticalSection::~CVXCriticalSection() {
    const int result = pthread_mutex_destroy(&m_mutex);
    if (result != 0) {
        VXLog(0, VX_SEVERITY_CRITICAL, "Failed to destroy CVXCriticalSection: error=%d", result);
    }
}

void CVXCriticalSection::Lock() {
    pthread_mutex_lock(&m_mutex);
}

void CVXCriticalSection::Unlock() {
    pthread_mutex_unlock(&m_mutex);
}
