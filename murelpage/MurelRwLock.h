// Reader/writer lock on Linux futexes that fits into 48 bytes on every target.
//
// It lives in the first 48 bytes of the shared access object, where the page's writers in other
// processes expect it, and serves as a process-local lock too. The operations mirror the
// platform's reader/writer lock: 0 on success, an error number otherwise (ETIMEDOUT when an
// absolute CLOCK_REALTIME deadline passed, EDEADLK when the caller holds the write lock, EPERM for
// an unlock of a lock the caller does not hold, EAGAIN when the reader or waiter count is full,
// EINVAL for an uninitialised lock or a bad deadline). Once a writer waits, newly arriving readers
// wait behind it, so writers do not starve under a steady stream of readers; when a writer lets go
// while others wait, the readers that were already waiting get one turn before the next writer, so
// readers do not starve under a steady stream of writers either.
// The design is described in docs/murelpage-lock.md.
#pragma once

#include <stdint.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct MurelRwLock {
    uint32_t magic;          /* MURELRWLOCK_MAGIC once initialised */
    uint32_t shared;         /* 1: process-shared futexes, 0: process-private */
    uint32_t state;          /* writer bit, waiting-writer count, reader count */
    uint32_t readerWake;     /* futex word of waiting readers, raised to wake them */
    uint32_t writerWake;     /* futex word of waiting writers, raised to wake them */
    uint32_t waitingReaders; /* readers asleep or about to sleep on readerWake */
    uint32_t writerTid;      /* kernel thread id of the write-lock holder, 0 when none */
    uint32_t turn;           /* readers' turns opened so far (wraps) */
    uint32_t nextTicket;     /* writers' ticket dispenser (wraps) */
    uint32_t serving;        /* bits 15..0: ticket of the writer whose turn it is; bits 31..16:
                                the next 16 tickets, set when their writer gave up */
    uint32_t reserved[2];
} MurelRwLock;

#define MURELRWLOCK_MAGIC 0x4D52574Cu /* "MRWL" */

/* Static initialiser of a process-private lock. */
#define MURELRWLOCK_INITIALIZER                                                                    \
    {                                                                                              \
        MURELRWLOCK_MAGIC, 0, 0, 0, 0, 0, 0, 0, 0, 0, {                                            \
            0, 0                                                                                   \
        }                                                                                          \
    }

/* State word: bit 31 write-locked, bit 30 readers' turn (the readers that waited when a writer let
 * go may pass the waiting writers; it ends when the reader count drops to 0), bits 29..16 waiting
 * writers, bits 15..0 readers. */
#define MURELRWLOCK_WRITER 0x80000000u
#define MURELRWLOCK_READ_TURN 0x40000000u
#define MURELRWLOCK_WAITER_ONE 0x00010000u
#define MURELRWLOCK_WAITER_MASK 0x3FFF0000u
#define MURELRWLOCK_READER_MASK 0x0000FFFFu

/* Initialises the lock; shared != 0 makes it usable by every process that maps it. Returns 0. */
int MurelRwLock_init(MurelRwLock* lock, int shared);

/* Locks for reading or writing; deadline is absolute on CLOCK_REALTIME, null waits forever. */
int MurelRwLock_readLock(MurelRwLock* lock, const struct timespec* deadline);
int MurelRwLock_writeLock(MurelRwLock* lock, const struct timespec* deadline);

/* Releases a read lock or the write lock held by the caller. */
int MurelRwLock_unlock(MurelRwLock* lock);

#ifdef __cplusplus
}

static_assert(sizeof(MurelRwLock) == 48, "the lock fills bytes 0..47 of the shared access object");
static_assert(alignof(MurelRwLock) == 4, "the lock needs only 32-bit alignment");
#endif
