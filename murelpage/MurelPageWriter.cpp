#include "murelpage/MurelPageWriter.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

std::string errnoText(const std::string& call, const std::string& path, int errorNumber) {
    return call + "('" + path + "'): " + strerror(errorNumber);
}

} // namespace

CMurelPageWriter::~CMurelPageWriter() {
    close();
}

void CMurelPageWriter::close() {
    if (m_page != nullptr) {
        munmap(m_page, m_pageSize);
        m_page = nullptr;
    }
    if (m_object != nullptr) {
        munmap(m_object, MURELSHACCOBJ_SIZE);
        m_object = nullptr;
    }
}

bool CMurelPageWriter::fail(const std::string& message) {
    m_error = message;
    return false;
}

bool CMurelPageWriter::open(const std::string& pagePath, const std::string& lockPath,
                            uint32_t pageSize) {
    close();
    if (pageSize == 0) {
        return fail("page size must not be 0");
    }
    const int descriptor = shm_open(pagePath.c_str(), O_RDWR | O_CREAT, 0644);
    if (descriptor < 0) {
        return fail(errnoText("shm_open", pagePath, errno));
    }
    if (MurelShAccObj_resizeSharedMemory(descriptor, static_cast<off_t>(pageSize)) == 0) {
        const int errorNumber = errno;
        ::close(descriptor);
        return fail(errnoText("ftruncate", pagePath, errorNumber));
    }
    void* mapping = mmap(nullptr, pageSize, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    const int errorNumber = errno;
    ::close(descriptor);
    if (mapping == MAP_FAILED) {
        return fail(errnoText("mmap", pagePath, errorNumber));
    }
    m_page = static_cast<uint8_t*>(mapping);
    m_pageSize = pageSize;
    return attachLock(lockPath);
}

bool CMurelPageWriter::attachLock(const std::string& lockPath) {
    if (m_object != nullptr) {
        munmap(m_object, MURELSHACCOBJ_SIZE);
        m_object = nullptr;
    }
    if (MurelShAccObj_attach(lockPath.c_str(), &m_object) != 0) {
        m_object = nullptr;
        std::string message = "cannot attach the shared access object '" + lockPath + "'";
        char createLock[PATH_MAX];
        if (MurelShAccObj_checkSemaphoreFile(MURELSHACCOBJ_CREATE_LOCK, createLock,
                                             sizeof(createLock)) == 0) {
            message += std::string(": the create lock '") + createLock +
                       "' is not a semaphore, remove it when nothing runs";
        }
        return fail(message);
    }
    return true;
}

void CMurelPageWriter::markChanged() {
    __atomic_add_fetch(&m_object->changeCounter, 1u, __ATOMIC_RELEASE);
    MurelShAccObj_setCurrentTime(m_object);
}

bool CMurelPageWriter::write(const std::vector<uint8_t>& image, bool raiseCounter) {
    if (m_page == nullptr || m_object == nullptr) {
        return fail("page not open");
    }
    const int result = MurelShAccObj_timedLockWrite(m_object, MURELSHACCOBJ_WAIT_FOREVER);
    if (result != 0) {
        return fail(std::string("cannot take the write lock: ") + strerror(result));
    }
    const size_t copied = image.size() < m_pageSize ? image.size() : m_pageSize;
    if (copied > 0) {
        memcpy(m_page, image.data(), copied);
    }
    memset(m_page + copied, 0, m_pageSize - copied);
    if (raiseCounter) {
        markChanged();
    }
    MurelShAccObj_unlock(m_object);
    return true;
}

bool CMurelPageWriter::remove(const std::string& pagePath, const std::string& lockPath,
                              std::string& error) {
    for (const std::string& path : {pagePath, lockPath}) {
        if (shm_unlink(path.c_str()) != 0 && errno != ENOENT) {
            error = errnoText("shm_unlink", path, errno);
            return false;
        }
    }
    return true;
}
