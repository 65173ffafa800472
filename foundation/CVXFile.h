// CVXFile and CVXFileSystem: restartable wrappers over the POSIX file interface.
//
// Every system call is repeated while it fails with EINTR; any other failure is returned with errno
// as the system set it. Nothing logs except the destructor.
//
// Read and write take a time-out in milliseconds (NO_TIMEOUT, or any negative value, waits for
// ever). With a time-out of t >= 0 each system call is bounded by the deadline now + t ms; a call
// interrupted by a signal is repeated unless the deadline has passed, and a time-out ends the
// operation with errno ETIMEDOUT.
#pragma once

#include "foundation/CVXString.h"

#include <cstdint>
#include <sys/stat.h>

using VXFileStatus = struct stat64;

class CVXFile {
public:
    enum EOrigin : int { SEEK_FROM_START = 0, SEEK_FROM_CURRENT = 1, SEEK_FROM_END = 2 };
    static constexpr int32_t NO_TIMEOUT = -1;

    CVXFile();
    CVXFile(const CVXString& path, int flags);
    ~CVXFile(); // closes; a failed close is logged ("closing file failed")
    CVXFile(const CVXFile&) = delete;
    CVXFile& operator=(const CVXFile&) = delete;

    // Closes the current descriptor, then opens path with flags and mode 0777.
    bool open(const CVXString& path, int flags);
    bool close();
    bool isOpen() const { return m_descriptor != -1; }
    int descriptor() const { return m_descriptor; }

    int64_t tell();
    bool seek(int64_t offset, int origin);
    // One system read of at most length bytes (at most INT32_MAX): bytes read, 0 at end of file
    // (errno 0) or on time-out (errno ETIMEDOUT), -1 on failure. A null buffer with a non-zero
    // length fails with EINVAL.
    int32_t read(void* buffer, uint32_t length, int32_t timeoutMs = NO_TIMEOUT);
    // Writes all length bytes, calling the system as often as needed; true when all were written.
    // A length of 0 succeeds at once (errno 0); a null buffer with a non-zero length fails with
    // EINVAL. A system write that transfers nothing for a non-empty request ends the loop with
    // errno EIO, since repeating it could go on for ever.
    bool write(const void* buffer, uint32_t length, int32_t timeoutMs = NO_TIMEOUT);

private:
    int m_descriptor;
};

class CVXFileSystem {
public:
    // stat64 of path (symbolic links followed); true on success.
    static bool status(const CVXString& path, VXFileStatus& status);
    static bool isRegularFile(const VXFileStatus& status) {
        return (status.st_mode & 0xF000) == 0x8000;
    }
};
