#include "murelpage/murelshaccobj.h"

#include "foundation/VXAssert.h"
#include "murelpage/MurelPageLog.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

const char* const kSource = "murelshaccobj";
const char* const kNullObject = "Shared object pointer is NULL.";
const char* const kNullObjectPointer = "Pointer to shared object pointer is NULL";
const char* const kInitFailed = "Failed to initialize shared access object!";

const char* printablePath(const char* path) {
    return path != nullptr ? path : "NULL";
}

void requireObject(const MurelShAccObj* object, const char* function, int line) {
    if (object == nullptr) {
        MURELPAGE_LOG_ERROR(function, "%s", kNullObject);
        VXFatalError(line, kSource, kNullObject);
    }
}

void requireObjectPointer(MurelShAccObj** object, const char* function, int line) {
    if (object == nullptr) {
        MURELPAGE_LOG_ERROR(function, "%s", kNullObjectPointer);
        VXFatalError(line, kSource, kNullObjectPointer);
    }
}

// Absolute CLOCK_REALTIME deadline: the current whole second plus the time-out.
struct timespec deadlineAfter(uint32_t timeoutSeconds) {
    // The precise clock: time() may lag a tick behind the clock the deadline is measured on.
    struct timespec current {};
    clock_gettime(CLOCK_REALTIME, &current);
    const int64_t now = static_cast<int64_t>(current.tv_sec);
    int64_t seconds = now + static_cast<int64_t>(timeoutSeconds);
    if constexpr (sizeof(time_t) < sizeof(int64_t)) {
        if (seconds > INT32_MAX) {
            seconds = INT32_MAX;
        }
    }
    struct timespec deadline {};
    deadline.tv_sec = static_cast<time_t>(seconds);
    deadline.tv_nsec = 0;
    return deadline;
}

int timedLock(MurelShAccObj* object, uint32_t timeoutSeconds, bool write, const char* function) {
    int result = 0;
    const char* call = nullptr;
    if (timeoutSeconds == MURELSHACCOBJ_WAIT_FOREVER) {
        result = write ? MurelRwLock_writeLock(&object->lock, nullptr)
                       : MurelRwLock_readLock(&object->lock, nullptr);
        call = write ? "pthread_rwlock_wrlock" : "pthread_rwlock_rdlock";
    } else {
        const struct timespec deadline = deadlineAfter(timeoutSeconds);
        result = write ? MurelRwLock_writeLock(&object->lock, &deadline)
                       : MurelRwLock_readLock(&object->lock, &deadline);
        call = write ? "pthread_rwlock_timedwrlock" : "pthread_rwlock_timedrdlock";
    }
    if (result != 0) {
        MURELPAGE_LOG_ERROR(function, "%s(): failed with <%d|%s>", call, result, strerror(result));
    }
    return result;
}

// Maps the 56 bytes of an access object read-write and shared. Null on failure (logged).
MurelShAccObj* mapObject(int descriptor, const char* function) {
    void* mapping =
        mmap(nullptr, MURELSHACCOBJ_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    if (mapping == MAP_FAILED) {
        MURELPAGE_LOG_ERROR(function, "mmap(): failed with <%d|%s>", errno, strerror(errno));
        return nullptr;
    }
    return static_cast<MurelShAccObj*>(mapping);
}

enum class EOpenResult { Attached, Failed, InitFailed };

// Opens the existing object, or creates and initialises it when this call is the one that
// creates it. Runs under the create lock.
EOpenResult openOrCreate(const char* lockPath, MurelShAccObj** object, const char* function) {
    int descriptor = MurelShAccObj_openSharedMemoryRWrite(lockPath);
    if (descriptor >= 0) {
        struct stat status {};
        if (fstat(descriptor, &status) != 0 ||
            status.st_size < static_cast<off_t>(MURELSHACCOBJ_SIZE)) {
            MURELPAGE_LOG_ERROR(function, "shared access object '%s' is shorter than %u bytes",
                                lockPath, MURELSHACCOBJ_SIZE);
            MurelShAccObj_closeSharedMemory(descriptor);
            return EOpenResult::Failed;
        }
        MurelShAccObj* mapped = mapObject(descriptor, function);
        MurelShAccObj_closeSharedMemory(descriptor);
        if (mapped == nullptr) {
            return EOpenResult::Failed;
        }
        *object = mapped;
        return EOpenResult::Attached;
    }
    // Only an object created here (O_EXCL) is initialised: an existing object that could not be
    // opened may hold a lock that another process uses.
    descriptor = MurelShAccObj_createSharedMemory(lockPath);
    if (descriptor < 0) {
        return EOpenResult::Failed;
    }
    MurelShAccObj* mapped = nullptr;
    if (MurelShAccObj_resizeSharedMemory(descriptor, MURELSHACCOBJ_SIZE) != 0) {
        mapped = mapObject(descriptor, function);
    }
    if (mapped == nullptr || MurelShAccObj_init(mapped) != 0) {
        MURELPAGE_LOG_ERROR(function, "%s", kInitFailed);
        if (mapped != nullptr) {
            munmap(mapped, MURELSHACCOBJ_SIZE);
        }
        MurelShAccObj_closeSharedMemory(descriptor);
        shm_unlink(lockPath); // no half-made object for the next process
        return EOpenResult::InitFailed;
    }
    *object = mapped;
    MurelShAccObj_closeSharedMemory(descriptor);
    return EOpenResult::Attached;
}

bool isSet(const char* variable) {
    return getenv(variable) != nullptr;
}

// ---- instrumented attach ----

const uint32_t kMaxSnapshots = 8;
const uint32_t kGuardSize = 64;
const uint8_t kGuardFill = 0xFE;
const int kMaxPostAttempts = 5;

struct CMurelPageDebugSnapshot {
    char name[24];
    uint32_t semDesc[6]; // o.count, o.owner, refcnt, dev, ino, link
    sem_t* handle;
    int errorNumber;
};

struct CMurelPageDebugContext {
    uint32_t snapshotCount;
    CMurelPageDebugSnapshot snapshots[kMaxSnapshots];
    int32_t simuPostErrorsDone;
    int32_t descCorruptCounter;
    int32_t simuPostErrorCount;
    bool simuDescCorrupt;
    bool verbose;
};

struct CMurelPageDebugGuard {
    bool simuCorrupt;
    uint8_t bytes[kGuardSize];
};

void MurelPageDebug_guardSimuCB(CMurelPageDebugGuard& guard) {
    if (guard.simuCorrupt) {
        MURELPAGE_LOG_ERROR("MurelPageDebug_guardSimuCB", "Simulate guard buffer corruption..");
        guard.bytes[0] = 0xAA;
    }
}

void MurelPageDebug_guardDump(const CMurelPageDebugGuard& guard) {
    for (uint32_t row = 0; row < kGuardSize; row += 8) {
        const uint8_t* b = guard.bytes + row;
        MURELPAGE_LOG_INFO("MurelPageDebug_guardDump", "  %x %x %x %x %x %x %x %x", b[0], b[1],
                           b[2], b[3], b[4], b[5], b[6], b[7]);
    }
}

void MurelPageDebug_guardVerify(const CMurelPageDebugGuard& guard, int line) {
    for (uint8_t byte : guard.bytes) {
        if (byte != kGuardFill) {
            MURELPAGE_LOG_ERROR(
                "MurelPageDebug_guardVerify",
                "Guard buffer corrupted! [F=%s,Line=%i]:", "MurelShAccObj_attachImplDebug", line);
            MurelPageDebug_guardDump(guard);
            return;
        }
    }
}

void MurelPageDebug_snapshot(CMurelPageDebugContext& context, const char* name, sem_t* semaphore) {
    const int errorNumber = errno;
    if (context.snapshotCount >= kMaxSnapshots) {
        return;
    }
    CMurelPageDebugSnapshot& entry = context.snapshots[context.snapshotCount++];
    memset(&entry, 0, sizeof(entry));
    if (semaphore != nullptr && semaphore != SEM_FAILED) {
        // The platform's semaphore object: its first words, as many as it has (up to six).
        const size_t size =
            sizeof(sem_t) < sizeof(entry.semDesc) ? sizeof(sem_t) : sizeof(entry.semDesc);
        memcpy(entry.semDesc, semaphore, size);
    }
    entry.handle = semaphore;
    entry.errorNumber = errorNumber;
    strncpy(entry.name, name, sizeof(entry.name) - 1);
    if (context.simuDescCorrupt) {
        --context.descCorruptCounter;
        entry.semDesc[0] = static_cast<uint32_t>(context.descCorruptCounter);
    }
    errno = errorNumber;
}

void MurelPageDebug_checkPoint(CMurelPageDebugContext& context, CMurelPageDebugGuard& guard,
                               const char* name, sem_t* semaphore, int line) {
    MurelPageDebug_guardSimuCB(guard);
    MurelPageDebug_guardVerify(guard, line);
    MurelPageDebug_snapshot(context, name, semaphore);
}

bool snapshotChanged(const CMurelPageDebugSnapshot& previous,
                     const CMurelPageDebugSnapshot& current) {
    return previous.errorNumber != current.errorNumber || previous.handle != current.handle ||
           memcmp(previous.semDesc, current.semDesc, sizeof(current.semDesc)) != 0;
}

void MurelPageDebug_contextDump(const CMurelPageDebugContext& context) {
    const char* const function = "MurelPageDebug_contextDump";
    MURELPAGE_LOG_INFO(function,
                       "Debug context: snapshots_cnt=%u config [simu_sem_post=%i,simu_sem_desc=%i,"
                       "is_verbose=%i]:",
                       context.snapshotCount, context.simuPostErrorCount,
                       context.simuDescCorrupt ? 1 : 0, context.verbose ? 1 : 0);
    for (uint32_t i = 0; i < context.snapshotCount; ++i) {
        const CMurelPageDebugSnapshot& entry = context.snapshots[i];
        const int changed = (i > 0 && snapshotChanged(context.snapshots[i - 1], entry)) ? 1 : 0;
        char name[sizeof(entry.name) + 1] = {};
        memcpy(name, entry.name, sizeof(entry.name));
        MURELPAGE_LOG_INFO(function, "  snapshot entry '%s', is_changed=%i", name, changed);
        MURELPAGE_LOG_INFO(function, "    errno <%i|%s>", entry.errorNumber,
                           strerror(entry.errorNumber));
        MURELPAGE_LOG_INFO(function, "    semDescPtr=%p", static_cast<void*>(entry.handle));
        MURELPAGE_LOG_INFO(function,
                           "    semDescFull [o.count=%i, o.owner=%u, refcnt=%i, dev=%i, ino=%i, "
                           "link=%p]",
                           static_cast<int>(entry.semDesc[0]), entry.semDesc[1],
                           static_cast<int>(entry.semDesc[2]), static_cast<int>(entry.semDesc[3]),
                           static_cast<int>(entry.semDesc[4]),
                           reinterpret_cast<void*>(static_cast<uintptr_t>(entry.semDesc[5])));
    }
}

} // namespace

// ---- POSIX wrappers ----

int MurelShAccObj_openSharedMemoryRWrite(const char* path) {
    const char* const function = "MURELPAGE_OPEN_SHARED_MEMORY_RWRITE";
    int descriptor = -1;
    if (path == nullptr) {
        errno = EINVAL;
    } else {
        descriptor = shm_open(path, O_RDWR, 0222);
    }
    if (descriptor < 0) {
        if (errno == ENOENT) {
            MURELPAGE_LOG_WARNING(
                function,
                "shm_open('%s'): failed as shared memory object does not exist, to be created",
                printablePath(path));
        } else {
            MURELPAGE_LOG_ERROR(function, "shm_open('%s'): failed with <%d|%s>",
                                printablePath(path), errno, strerror(errno));
        }
        return -1;
    }
    return descriptor;
}

int MurelShAccObj_createSharedMemory(const char* path) {
    int descriptor = -1;
    if (path == nullptr) {
        errno = EINVAL;
    } else {
        // 0666: every process that attaches later opens the object read-write to take the lock.
        descriptor = shm_open(path, O_RDWR | O_CREAT | O_EXCL, 0666);
    }
    if (descriptor < 0) {
        MURELPAGE_LOG_ERROR("MURELPAGE_CREATE_SHARED_MEMORY", "shm_open('%s'): failed with <%d|%s>",
                            printablePath(path), errno, strerror(errno));
        return -1;
    }
    return descriptor;
}

int MurelShAccObj_resizeSharedMemory(int descriptor, off_t size) {
    const char* const function = "MURELPAGE_RESIZE_SHARED_MEMORY";
    for (;;) {
        if (ftruncate(descriptor, size) == 0) {
            return 1;
        }
        if (errno != EINTR) {
            MURELPAGE_LOG_ERROR(function, "ftruncate(): failed with <%d|%s>", errno,
                                strerror(errno));
            return 0;
        }
        MURELPAGE_LOG_WARNING(function, "MURELPAGE_EINTR_COND");
    }
}

int MurelShAccObj_closeSharedMemory(int descriptor) {
    const char* const function = "MURELPAGE_CLOSE_SHARED_MEMORY";
    for (;;) {
        if (close(descriptor) == 0) {
            return 1;
        }
        if (errno != EINTR) {
            MURELPAGE_LOG_ERROR(function, "close(): failed with <%d|%s>", errno, strerror(errno));
            return 0;
        }
        MURELPAGE_LOG_WARNING(function, "MURELPAGE_COND_EINTR");
    }
}

int MurelShAccObj_checkSemaphoreFile(const char* name, char* path, size_t pathSize) {
    // The C library maps this file, of sizeof(sem_t) bytes, as the semaphore; a leading "/" of
    // the name is not part of the file name.
    const char* base = name != nullptr ? name : "";
    while (*base == '/') {
        ++base;
    }
    snprintf(path, pathSize, "/dev/shm/sem.%s", base);
    struct stat status {};
    if (lstat(path, &status) != 0) {
        return 1; // missing: created whole, or removed after it was mapped
    }
    return S_ISREG(status.st_mode) && status.st_size == static_cast<off_t>(sizeof(sem_t)) ? 1 : 0;
}

sem_t* MurelShAccObj_openSemaphore(const char* name) {
    const char* const function = "MUREL_OPEN_SEMAPHORE";
    for (;;) {
        sem_t* semaphore = sem_open(name, O_CREAT, 0600, 1);
        if (semaphore != SEM_FAILED) {
            char path[PATH_MAX];
            if (MurelShAccObj_checkSemaphoreFile(name, path, sizeof(path)) == 0) {
                MURELPAGE_LOG_ERROR(
                    function,
                    "semaphore '%s' is not usable: '%s' is not a regular file of %u "
                    "bytes",
                    name, path, static_cast<unsigned>(sizeof(sem_t)));
                sem_close(semaphore);
                errno = EINVAL;
                return SEM_FAILED;
            }
            return semaphore;
        }
        if (errno != EINTR) {
            MURELPAGE_LOG_ERROR(function, "sem_open(): failed with <%d|%s>", errno,
                                strerror(errno));
            return SEM_FAILED;
        }
        MURELPAGE_LOG_WARNING(function, "MURELPAGE_COND_EINTR");
    }
}

int MurelShAccObj_waitForUnlockSemaphore(sem_t* semaphore) {
    const char* const function = "MUREL_WAIT_FOR_UNLOCK_SEMAPHORE";
    for (;;) {
        if (sem_wait(semaphore) == 0) {
            return 1;
        }
        if (errno != EINTR) {
            MURELPAGE_LOG_ERROR(function, "sem_wait(): failed with <%d|%s>", errno,
                                strerror(errno));
            return 0;
        }
        MURELPAGE_LOG_WARNING(function, "MURELPAGE_COND_EINTR");
    }
}

int MurelShAccObj_unlockSemaphore(sem_t* semaphore) {
    const char* const function = "MUREL_UNLOCK_SEMAPHORE";
    for (;;) {
        if (sem_post(semaphore) == 0) {
            return 1;
        }
        if (errno != EINTR) {
            MURELPAGE_LOG_ERROR(function, "sem_post(): failed with <%d|%s>", errno,
                                strerror(errno));
            return 0;
        }
        MURELPAGE_LOG_WARNING(function, "MURELPAGE_COND_EINTR");
    }
}

int MurelShAccObj_closeSemaphore(sem_t* semaphore) {
    if (sem_close(semaphore) == 0) {
        return 1;
    }
    MURELPAGE_LOG_ERROR("MUREL_CLOSE_SEMAPHORE", "sem_close(): failed with <%d|%s>", errno,
                        strerror(errno));
    return 0;
}

// ---- object operations ----

int MurelShAccObj_init(MurelShAccObj* object) {
    requireObject(object, "MurelShAccObj_init", __LINE__);
    const int result = MurelRwLock_init(&object->lock, 1);
    object->changeCounter = 0;
    MurelShAccObj_setCurrentTime(object);
    return result;
}

void MurelShAccObj_setCurrentTime(MurelShAccObj* object) {
    requireObject(object, "MurelShAccObj_setCurrentTime", __LINE__);
    object->timeStamp = static_cast<uint32_t>(time(nullptr));
}

int MurelShAccObj_timedLockROnly(MurelShAccObj* object, uint32_t timeoutSeconds) {
    requireObject(object, "MurelShAccObj_timedLockROnly", __LINE__);
    return timedLock(object, timeoutSeconds, false, "MurelShAccObj_timedLockROnly");
}

int MurelShAccObj_timedLockWrite(MurelShAccObj* object, uint32_t timeoutSeconds) {
    requireObject(object, "MurelShAccObj_timedLockWrite", __LINE__);
    return timedLock(object, timeoutSeconds, true, "MurelShAccObj_timedLockWrite");
}

int MurelShAccObj_unlock(MurelShAccObj* object) {
    requireObject(object, "MurelShAccObj_unlock", __LINE__);
    const int result = MurelRwLock_unlock(&object->lock);
    if (result != 0) {
        MURELPAGE_LOG_ERROR("MurelShAccObj_unlock", "pthread_rwlock_unlock(): failed with <%d|%s>",
                            result, strerror(result));
    }
    return result;
}

// ---- attach ----

int MurelShAccObj_attach(const char* lockPath, MurelShAccObj** object) {
    if (isSet("MURELPAGE_DEBUG_EVO")) {
        MURELPAGE_LOG_INFO("MurelShAccObj_attach",
                           "Debug mode enabled, use instrumented attach ...");
        return MurelShAccObj_attachImplDebug(lockPath, object);
    }
    return MurelShAccObj_attachImplRelease(lockPath, object);
}

int MurelShAccObj_attachImplRelease(const char* lockPath, MurelShAccObj** object) {
    const char* const function = "MurelShAccObj_attachImplRelease";
    requireObjectPointer(object, function, __LINE__);
    if (lockPath == nullptr || lockPath[0] == '\0') {
        return -1;
    }
    sem_t* createLock = MurelShAccObj_openSemaphore(MURELSHACCOBJ_CREATE_LOCK);
    if (createLock == SEM_FAILED) {
        return -1;
    }
    if (MurelShAccObj_waitForUnlockSemaphore(createLock) == 0) {
        MurelShAccObj_closeSemaphore(createLock);
        return -1;
    }
    const EOpenResult opened = openOrCreate(lockPath, object, function);
    if (MurelShAccObj_unlockSemaphore(createLock) == 0) {
        MURELPAGE_LOG_ERROR(function, " ");
        VXFatalError(__LINE__, kSource, " ");
    }
    MurelShAccObj_closeSemaphore(createLock);
    if (opened == EOpenResult::InitFailed) {
        VXFatalError(__LINE__, kSource, kInitFailed); // the create lock is released first
    }
    return opened == EOpenResult::Attached ? 0 : -1;
}

int MurelShAccObj_attachImplDebug(const char* lockPath, MurelShAccObj** object) {
    const char* const function = "MurelShAccObj_attachImplDebug";
    requireObjectPointer(object, function, __LINE__);

    CMurelPageDebugGuard guard{};
    memset(guard.bytes, kGuardFill, sizeof(guard.bytes));
    guard.simuCorrupt = isSet("MURELPAGE_DEBUG_EVO_SIMU_GCORRUPT");
    CMurelPageDebugContext context;
    memset(&context, 0, sizeof(context));
    const char* postErrors = getenv("MURELPAGE_DEBUG_EVO_SIMU_SEMPOSTERRCNT");
    context.simuPostErrorCount = postErrors != nullptr ? atoi(postErrors) : 0;
    context.simuDescCorrupt = isSet("MURELPAGE_DEBUG_EVO_SIMU_SEMDESCCORRUPT");
    context.verbose = isSet("MURELPAGE_DEBUG_VERBOSE");

    if (lockPath == nullptr || lockPath[0] == '\0') {
        return -1;
    }
    sem_t* createLock = MurelShAccObj_openSemaphore(MURELSHACCOBJ_CREATE_LOCK);
    if (createLock == SEM_FAILED) {
        return -1;
    }
    MurelPageDebug_checkPoint(context, guard, "1:sem_open", createLock, __LINE__);
    if (MurelShAccObj_waitForUnlockSemaphore(createLock) == 0) {
        MurelShAccObj_closeSemaphore(createLock);
        return -1;
    }
    MurelPageDebug_checkPoint(context, guard, "2:sem_wait", createLock, __LINE__);
    const EOpenResult opened = openOrCreate(lockPath, object, function);
    MurelPageDebug_checkPoint(context, guard, "3:sem_post:todo", createLock, __LINE__);

    bool posted = false;
    bool realPostTried = false;
    int attempts = 0;
    while (!posted && attempts < kMaxPostAttempts) {
        ++attempts;
        bool succeeded = false;
        if (context.simuPostErrorsDone < context.simuPostErrorCount) {
            ++context.simuPostErrorsDone;
            MURELPAGE_LOG_ERROR("MurelPageDebug_UnlockSemaphore",
                                "Simulate EBADF sem_post error (%i/%i)...",
                                context.simuPostErrorsDone, context.simuPostErrorCount);
            errno = EBADF;
        } else {
            realPostTried = true;
            succeeded = MurelShAccObj_unlockSemaphore(createLock) != 0;
        }
        if (!succeeded) {
            usleep(50000);
        }
        MurelPageDebug_checkPoint(context, guard, "4+:sem_post", createLock, __LINE__);
        posted = succeeded;
    }

    if (!posted || attempts > 1 || context.verbose) {
        MURELPAGE_LOG_INFO(function, "Final sem_post() result: '%s'", posted ? "OK" : "ERROR");
        MurelPageDebug_contextDump(context);
    }
    if (!posted) {
        if (!realPostTried) {
            // Only simulated failures: release the create lock so that the simulation does not
            // leave every later attach waiting for it.
            sem_post(createLock);
        }
        MURELPAGE_LOG_ERROR(function, " ");
        VXFatalError(__LINE__, kSource, " ");
    }
    MurelShAccObj_closeSemaphore(createLock);
    if (opened == EOpenResult::InitFailed) {
        VXFatalError(__LINE__, kSource, kInitFailed);
    }
    return opened == EOpenResult::Attached ? 0 : -1;
}
