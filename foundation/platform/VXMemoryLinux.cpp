#include "foundation/platform/VXMemory.h"

#include <cerrno>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14
#endif

void VXPlatformPrefault(void* start, size_t length) {
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0 || start == nullptr) {
        return;
    }
    const uintptr_t page = static_cast<uintptr_t>(pageSize);
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(start) + page - 1) / page * page;
    const uintptr_t end = (reinterpret_cast<uintptr_t>(start) + length) / page * page;
    if (end > begin) {
        const int error = errno;
        // Older kernels answer EINVAL; the pages then come one fault at a time as before.
        (void)madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
        errno = error;
    }
}
