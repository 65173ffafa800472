#include "foundation/CVXFile.h"

#include "foundation/VXOperatingSystem.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// Kernel blocking states bounded by the time-out of a timed read or write: send and reply.
constexpr uint32_t TIMEOUT_BLOCKING_STATES = 0x50;

bool deadlinePassed(uint64_t deadline) {
    const int savedErrno = errno;
    const bool passed = VXMonotonicNanoseconds() >= deadline;
    errno = savedErrno;
    return passed;
}

// Arms the time-out for the next blocking call. Where the kernel cannot bound the call itself, the
// platform waits for the descriptor here instead. false with errno set when the time-out could not
// be armed or expired (ETIMEDOUT), or a signal interrupted the wait (EINTR).
bool armTimeout(uint64_t deadline, int descriptor, short events) {
    if (VXTimerTimeoutAbsolute(deadline, TIMEOUT_BLOCKING_STATES) == 0) {
        return false;
    }
#if defined(__QNX__)
    (void)descriptor;
    (void)events;
    return true;
#else
    return VXWaitForArmedTimeout(descriptor, events) != 0;
#endif
}

} // namespace

CVXFile::CVXFile() : m_descriptor(-1) {}

CVXFile::CVXFile(const CVXString& path, int flags) : m_descriptor(-1) {
    open(path, flags);
}

CVXFile::~CVXFile() {
    if (!close()) {
        VXLogOsError(0, VX_SEVERITY_ERROR, errno, "closing file failed");
    }
}

bool CVXFile::open(const CVXString& path, int flags) {
    close();
    int descriptor;
    do {
        errno = 0;
        descriptor = ::open(path.c_str(), flags, 0777);
    } while (descriptor == -1 && errno == EINTR);
    m_descriptor = descriptor;
    return descriptor != -1;
}

bool CVXFile::close() {
    if (m_descriptor == -1) {
        return true;
    }
    int result;
    do {
        errno = 0;
        result = ::close(m_descriptor);
    } while (result == -1 && errno == EINTR);
    if (result == -1) {
        return false;
    }
    m_descriptor = -1;
    return true;
}

int64_t CVXFile::tell() {
    off64_t offset;
    do {
        errno = 0;
        offset = ::lseek64(m_descriptor, 0, SEEK_CUR);
    } while (offset == -1 && errno == EINTR);
    return offset;
}

bool CVXFile::seek(int64_t offset, int origin) {
    off64_t result;
    do {
        errno = 0;
        result = ::lseek64(m_descriptor, offset, origin);
    } while (result == -1 && errno == EINTR);
    return result != -1;
}

int32_t CVXFile::read(void* buffer, uint32_t length, int32_t timeoutMs) {
    if (buffer == nullptr && length != 0) {
        errno = EINVAL;
        return -1;
    }
    // A single read may return fewer bytes than asked; asking for no more than the result type can
    // count keeps a huge request from coming back as a negative count.
    if (length > static_cast<uint32_t>(INT32_MAX)) {
        length = static_cast<uint32_t>(INT32_MAX);
    }
    ssize_t count;
    if (timeoutMs < 0) {
        do {
            errno = 0;
            count = ::read(m_descriptor, buffer, length);
        } while (count == -1 && errno == EINTR);
    } else {
        const uint64_t deadline = VXDeadlineFromMilliseconds(timeoutMs);
        for (;;) {
            errno = 0;
            count = armTimeout(deadline, m_descriptor, POLLIN)
                        ? ::read(m_descriptor, buffer, length)
                        : -1;
            if (count != -1 || errno != EINTR) {
                break;
            }
            if (deadlinePassed(deadline)) {
                errno = ETIMEDOUT;
                break;
            }
        }
    }
    if (count == 0) {
        errno = 0;
        return 0;
    }
    if (count < 0) {
        return errno == ETIMEDOUT ? 0 : -1;
    }
    return static_cast<int32_t>(count);
}

bool CVXFile::write(const void* buffer, uint32_t length, int32_t timeoutMs) {
    if (buffer == nullptr && length != 0) {
        errno = EINVAL;
        return false;
    }
    if (length == 0) {
        errno = 0;
        return true;
    }
    const uint64_t deadline =
        timeoutMs < 0 ? VX_NO_DEADLINE : VXDeadlineFromMilliseconds(timeoutMs);
    const uint8_t* next = static_cast<const uint8_t*>(buffer);
    uint32_t remaining = length;
    while (remaining > 0) {
        errno = 0;
        ssize_t count;
        if (timeoutMs < 0) {
            count = ::write(m_descriptor, next, remaining);
        } else {
            count = armTimeout(deadline, m_descriptor, POLLOUT)
                        ? ::write(m_descriptor, next, remaining)
                        : -1;
        }
        if (count < 0) {
            if (errno != EINTR) {
                return false;
            }
            if (timeoutMs >= 0 && deadlinePassed(deadline)) {
                errno = ETIMEDOUT;
                return false;
            }
            continue;
        }
        if (count == 0) {
            // No progress on a non-empty request: retrying could go on for ever.
            errno = EIO;
            return false;
        }
        next += count;
        remaining -= static_cast<uint32_t>(count);
    }
    return true;
}

bool CVXFileSystem::status(const CVXString& path, VXFileStatus& status) {
    int result;
    do {
        errno = 0;
        result = ::stat64(path.c_str(), &status);
    } while (result == -1 && errno == EINTR);
    return result == 0;
}
