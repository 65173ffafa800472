#include "murelpage/MurelRwLock.h"

#include <cerrno>
#include <climits>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

uint32_t atomicLoad(const uint32_t* word) {
    return __atomic_load_n(word, __ATOMIC_SEQ_CST);
}

void atomicStore(uint32_t* word, uint32_t value) {
    __atomic_store_n(word, value, __ATOMIC_SEQ_CST);
}

bool compareExchange(uint32_t* word, uint32_t expected, uint32_t desired) {
    return __atomic_compare_exchange_n(word, &expected, desired, false, __ATOMIC_SEQ_CST,
                                       __ATOMIC_SEQ_CST);
}

uint32_t callingThreadId() {
    return static_cast<uint32_t>(syscall(SYS_gettid));
}

bool isValid(const MurelRwLock* lock) {
    return lock != nullptr && atomicLoad(&lock->magic) == MURELRWLOCK_MAGIC;
}

bool isValidDeadline(const struct timespec* deadline) {
    return deadline == nullptr || (deadline->tv_nsec >= 0 && deadline->tv_nsec < 1000000000L);
}

long futexCall(uint32_t* word, int operation, uint32_t value, const struct timespec* timeout) {
#if defined(SYS_futex_time64) && !defined(__LP64__)
    // 32-bit targets built with a 64-bit time_t need the time64 variant of the call.
    if constexpr (sizeof(timeout->tv_sec) > sizeof(long)) {
        return syscall(SYS_futex_time64, word, operation, value, timeout, nullptr,
                       FUTEX_BITSET_MATCH_ANY);
    }
#endif
    return syscall(SYS_futex, word, operation, value, timeout, nullptr, FUTEX_BITSET_MATCH_ANY);
}

int privateFlag(const MurelRwLock* lock) {
    return lock->shared != 0 ? 0 : FUTEX_PRIVATE_FLAG;
}

// Sleeps while *word still holds expected. Returns ETIMEDOUT once the deadline passed, 0 for
// every other wake-up (woken, value already changed, interrupted): the caller looks again.
int sleepOn(const MurelRwLock* lock, uint32_t* word, uint32_t expected,
            const struct timespec* deadline) {
    int operation = FUTEX_WAIT_BITSET | privateFlag(lock);
    if (deadline != nullptr) {
        operation |= FUTEX_CLOCK_REALTIME;
    }
    if (futexCall(word, operation, expected, deadline) == -1 && errno == ETIMEDOUT) {
        return ETIMEDOUT;
    }
    return 0;
}

// A reader sleeps in slices of this length, to notice waiting writers that died.
const int64_t kReaderSliceNs = 100000000;

// End of the next sleep slice on CLOCK_REALTIME: the deadline when it comes first.
struct timespec sliceEnd(const struct timespec* deadline, bool& untilDeadline) {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    const int64_t end =
        static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec + kReaderSliceNs;
    if (deadline != nullptr &&
        static_cast<int64_t>(deadline->tv_sec) * 1000000000 + deadline->tv_nsec <= end) {
        untilDeadline = true;
        return *deadline;
    }
    untilDeadline = false;
    struct timespec slice {};
    slice.tv_sec = static_cast<time_t>(end / 1000000000);
    slice.tv_nsec = static_cast<long>(end % 1000000000);
    return slice;
}

void wakeAll(const MurelRwLock* lock, uint32_t* word) {
    __atomic_fetch_add(word, 1u, __ATOMIC_SEQ_CST);
    futexCall(word, FUTEX_WAKE | privateFlag(lock), INT_MAX, nullptr);
}

// Called after a state change that lets readers in (no writer holds the lock, none waits).
void wakeReaders(MurelRwLock* lock) {
    if (atomicLoad(&lock->waitingReaders) != 0) {
        wakeAll(lock, &lock->readerWake);
    }
}

// A reader that has not waited yet may enter when no writer holds or waits; a reader that waited
// through a write may also enter during the readers' turn.
bool admitsReader(uint32_t state, bool waited) {
    if ((state & MURELRWLOCK_WRITER) != 0) {
        return false;
    }
    return (state & MURELRWLOCK_WAITER_MASK) == 0 ||
           (waited && (state & MURELRWLOCK_READ_TURN) != 0);
}

bool isFree(uint32_t state) {
    return (state & (MURELRWLOCK_WRITER | MURELRWLOCK_READER_MASK)) == 0;
}

} // namespace

int MurelRwLock_init(MurelRwLock* lock, int shared) {
    if (lock == nullptr) {
        return EINVAL;
    }
    atomicStore(&lock->magic, 0);
    lock->shared = shared != 0 ? 1 : 0;
    lock->state = 0;
    lock->readerWake = 0;
    lock->writerWake = 0;
    lock->waitingReaders = 0;
    lock->writerTid = 0;
    for (uint32_t& word : lock->reserved) {
        word = 0;
    }
    atomicStore(&lock->magic, MURELRWLOCK_MAGIC);
    return 0;
}

int MurelRwLock_readLock(MurelRwLock* lock, const struct timespec* deadline) {
    if (!isValid(lock)) {
        return EINVAL;
    }
    bool waited = false; // slept at least once, so waiting since before the current readers' turn
    for (;;) {
        // The wake word is read before the state: a wake-up that follows the state read changes it.
        const uint32_t wake = atomicLoad(&lock->readerWake);
        const uint32_t state = atomicLoad(&lock->state);
        if (admitsReader(state, waited)) {
            if ((state & MURELRWLOCK_READER_MASK) == MURELRWLOCK_READER_MASK) {
                return EAGAIN;
            }
            if (compareExchange(&lock->state, state, state + 1)) {
                return 0;
            }
            continue;
        }
        if ((state & MURELRWLOCK_WRITER) != 0 &&
            atomicLoad(&lock->writerTid) == callingThreadId()) {
            return EDEADLK;
        }
        if (!isValidDeadline(deadline)) {
            return EINVAL;
        }
        __atomic_fetch_add(&lock->waitingReaders, 1u, __ATOMIC_SEQ_CST);
        int result = 0;
        bool entered = false;
        const uint32_t before = atomicLoad(&lock->state);
        if (!admitsReader(before, waited)) {
            bool untilDeadline = false;
            const struct timespec until = sliceEnd(deadline, untilDeadline);
            result = sleepOn(lock, &lock->readerWake, wake, &until);
            waited = true;
            if (result == ETIMEDOUT && !untilDeadline) {
                result = 0;
                // A waiting writer takes a free lock at once. Waiting writers that left it free
                // for a whole slice died while they waited: their count must not keep the readers
                // out for ever.
                if (isFree(before) && atomicLoad(&lock->state) == before) {
                    entered = compareExchange(&lock->state, before, before + 1);
                }
            }
        }
        __atomic_fetch_sub(&lock->waitingReaders, 1u, __ATOMIC_SEQ_CST);
        if (entered) {
            return 0;
        }
        if (result == ETIMEDOUT) {
            return ETIMEDOUT;
        }
    }
}

int MurelRwLock_writeLock(MurelRwLock* lock, const struct timespec* deadline) {
    if (!isValid(lock)) {
        return EINVAL;
    }
    const uint32_t self = callingThreadId();
    bool waiting = false; // counted among the waiting writers
    for (;;) {
        const uint32_t wake = atomicLoad(&lock->writerWake);
        const uint32_t state = atomicLoad(&lock->state);
        if (isFree(state)) {
            // Taking the lock ends a readers' turn.
            const uint32_t taken = ((state | MURELRWLOCK_WRITER) & ~MURELRWLOCK_READ_TURN) -
                                   (waiting ? MURELRWLOCK_WAITER_ONE : 0);
            if (compareExchange(&lock->state, state, taken)) {
                atomicStore(&lock->writerTid, self);
                return 0;
            }
            continue;
        }
        if (!waiting) {
            if ((state & MURELRWLOCK_WRITER) != 0 && atomicLoad(&lock->writerTid) == self) {
                return EDEADLK;
            }
            if (!isValidDeadline(deadline)) {
                return EINVAL;
            }
            if ((state & MURELRWLOCK_WAITER_MASK) == MURELRWLOCK_WAITER_MASK) {
                return EAGAIN;
            }
            // Counting in as a waiting writer holds off new readers from now on.
            if (!compareExchange(&lock->state, state, state + MURELRWLOCK_WAITER_ONE)) {
                continue;
            }
            waiting = true;
        }
        if (sleepOn(lock, &lock->writerWake, wake, deadline) == ETIMEDOUT) {
            const uint32_t after =
                __atomic_sub_fetch(&lock->state, MURELRWLOCK_WAITER_ONE, __ATOMIC_SEQ_CST);
            if ((after & (MURELRWLOCK_WRITER | MURELRWLOCK_WAITER_MASK)) == 0) {
                wakeReaders(lock); // the readers waited for this writer only
            }
            return ETIMEDOUT;
        }
    }
}

int MurelRwLock_unlock(MurelRwLock* lock) {
    if (!isValid(lock)) {
        return EINVAL;
    }
    uint32_t state = atomicLoad(&lock->state);
    if ((state & MURELRWLOCK_WRITER) != 0) {
        if (atomicLoad(&lock->writerTid) != callingThreadId()) {
            return EPERM;
        }
        atomicStore(&lock->writerTid, 0);
        // With writers waiting, the readers that wait now get a turn before the next writer.
        uint32_t released = 0;
        do {
            released = state & ~MURELRWLOCK_WRITER;
            if ((state & MURELRWLOCK_WAITER_MASK) != 0 && atomicLoad(&lock->waitingReaders) != 0) {
                released |= MURELRWLOCK_READ_TURN;
            }
        } while (!__atomic_compare_exchange_n(&lock->state, &state, released, false,
                                              __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST));
        if ((released & MURELRWLOCK_WAITER_MASK) == 0) {
            wakeReaders(lock);
            return 0;
        }
        if ((released & MURELRWLOCK_READ_TURN) != 0) {
            wakeAll(lock, &lock->readerWake); // woken first: they usually enter before a writer
        }
        wakeAll(lock, &lock->writerWake);
        return 0;
    }
    for (;;) {
        if ((state & MURELRWLOCK_READER_MASK) == 0) {
            return EPERM;
        }
        if (compareExchange(&lock->state, state, state - 1)) {
            if ((state & MURELRWLOCK_READER_MASK) == 1 && (state & MURELRWLOCK_WAITER_MASK) != 0) {
                wakeAll(lock, &lock->writerWake);
            }
            return 0;
        }
        state = atomicLoad(&lock->state);
        if ((state & MURELRWLOCK_WRITER) != 0) {
            return EPERM;
        }
    }
}
