/* Shared access object of the MurelPage: the page's process-shared reader/writer lock, its change
 * counter and time stamp, attached (and created when missing) under the named semaphore
 * "/murelpage-create-lock"; the POSIX wrappers that retry on EINTR; the instrumented attach. */
#ifndef MURELPAGE_MURELSHACCOBJ_H
#define MURELPAGE_MURELSHACCOBJ_H

#include "murelpage/MurelRwLock.h"

#include <semaphore.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Wire format in shared memory, native byte order. */
typedef struct MurelShAccObj {
    MurelRwLock lock;       /* bytes 0..47, process-shared */
    uint32_t changeCounter; /* raised by the page's writers with each change of the page */
    uint32_t timeStamp;     /* seconds since the epoch */
} MurelShAccObj;

#define MURELSHACCOBJ_SIZE 56u
#define MURELSHACCOBJ_CREATE_LOCK "/murelpage-create-lock"
#define MURELSHACCOBJ_WAIT_FOREVER 0xFFFFFFFFu

/* Static initialiser of a process-local instance (a plain in-process lock). */
#define MURELSHACCOBJ_INITIALIZER                                                                  \
    { MURELRWLOCK_INITIALIZER, 0, 0 }

/* Attaches the object named by lockPath (creating it when missing) and stores its mapping in
 * *object. 0 on success, -1 on failure. With MURELPAGE_DEBUG_EVO set the instrumented attach runs.
 */
int MurelShAccObj_attach(const char* lockPath, MurelShAccObj** object);
int MurelShAccObj_attachImplRelease(const char* lockPath, MurelShAccObj** object);
int MurelShAccObj_attachImplDebug(const char* lockPath, MurelShAccObj** object);

/* Initialises the lock (process-shared), counter 0, time stamp now. Returns the lock's result. */
int MurelShAccObj_init(MurelShAccObj* object);
void MurelShAccObj_setCurrentTime(MurelShAccObj* object);

/* Time-out in whole seconds; MURELSHACCOBJ_WAIT_FOREVER waits without limit. Error number or 0. */
int MurelShAccObj_timedLockROnly(MurelShAccObj* object, uint32_t timeoutSeconds);
int MurelShAccObj_timedLockWrite(MurelShAccObj* object, uint32_t timeoutSeconds);
int MurelShAccObj_unlock(MurelShAccObj* object);

/* POSIX wrappers. Descriptors and handles, or -1 / SEM_FAILED; the others 1 success, 0 failure. */
int MurelShAccObj_openSharedMemoryRWrite(const char* path);
int MurelShAccObj_createSharedMemory(const char* path);
int MurelShAccObj_resizeSharedMemory(int descriptor, off_t size);
int MurelShAccObj_closeSharedMemory(int descriptor);
sem_t* MurelShAccObj_openSemaphore(const char* name);
int MurelShAccObj_waitForUnlockSemaphore(sem_t* semaphore);
int MurelShAccObj_unlockSemaphore(sem_t* semaphore);
int MurelShAccObj_closeSemaphore(sem_t* semaphore);

/* Where the C library keeps the named semaphore name (on Linux "/dev/shm/sem.<name>"), written to
 * path. Returns 0 when that file exists and is not a regular file of the size of a semaphore: the
 * library would map it and fault (SIGBUS) or misread it on the first wait. 1 otherwise. */
int MurelShAccObj_checkSemaphoreFile(const char* name, char* path, size_t pathSize);

#ifdef __cplusplus
}

static_assert(sizeof(MurelShAccObj) == MURELSHACCOBJ_SIZE, "the access object is 56 bytes");
static_assert(offsetof(MurelShAccObj, lock) == 0, "the lock is in bytes 0..47");
static_assert(offsetof(MurelShAccObj, changeCounter) == 48, "the change counter is at byte 48");
static_assert(offsetof(MurelShAccObj, timeStamp) == 52, "the time stamp is at byte 52");
#endif

#endif /* MURELPAGE_MURELSHACCOBJ_H */
