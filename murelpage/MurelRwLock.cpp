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

// A deadline the kernel accepts: no negative seconds, nanoseconds within one second.
bool isValidDeadline(const struct timespec* deadline) {
    return deadline == nullptr ||
           (deadline->tv_sec >= 0 && deadline->tv_nsec >= 0 && deadline->tv_nsec < 1000000000L);
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

// Sleeps while *word still holds expected. Returns 0 when the caller should look again (woken,
// value already changed, interrupted), ETIMEDOUT once the deadline passed, and any other error
// number of the wait as it is: the caller ends with it rather than retrying a call that cannot
// work.
int sleepOn(const MurelRwLock* lock, uint32_t* word, uint32_t expected,
            const struct timespec* deadline) {
    int operation = FUTEX_WAIT_BITSET | privateFlag(lock);
    if (deadline != nullptr) {
        operation |= FUTEX_CLOCK_REALTIME;
    }
    if (futexCall(word, operation, expected, deadline) == 0) {
        return 0;
    }
    const int error = errno;
    return error == EINTR || error == EAGAIN ? 0 : error;
}

// Waiters that may be held off by a waiter that died sleep in slices of this length: readers
// behind waiting writers, writers behind a readers' turn.
const int64_t kSliceNs = 100000000;

// End of the next sleep slice on CLOCK_REALTIME: the deadline when it comes first.
struct timespec sliceEnd(const struct timespec* deadline, bool& untilDeadline) {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    const int64_t end = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec + kSliceNs;
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

// A reader may enter when no writer holds the lock and none waits; during a readers' turn also
// when it belongs to the turn (it began to wait before the turn opened).
bool admitsReader(uint32_t state, bool ofTurn) {
    if ((state & MURELRWLOCK_WRITER) != 0) {
        return false;
    }
    return (state & MURELRWLOCK_WAITER_MASK) == 0 ||
           (ofTurn && (state & MURELRWLOCK_READ_TURN) != 0);
}

bool isFree(uint32_t state) {
    return (state & (MURELRWLOCK_WRITER | MURELRWLOCK_READER_MASK)) == 0;
}

// A writer may take a free lock unless a readers' turn is open.
bool admitsWriter(uint32_t state) {
    return isFree(state) && (state & MURELRWLOCK_READ_TURN) == 0;
}

// A waiting writer leaves the count (time-out or failed wait). Without writers holding or waiting
// a readers' turn has no purpose any more, and the readers held back by this writer alone may go.
void leaveWaitingWriters(MurelRwLock* lock) {
    uint32_t state = atomicLoad(&lock->state);
    uint32_t after = 0;
    do {
        after = state - MURELRWLOCK_WAITER_ONE;
        if ((after & MURELRWLOCK_WAITER_MASK) == 0) {
            after &= ~MURELRWLOCK_READ_TURN;
        }
    } while (!__atomic_compare_exchange_n(&lock->state, &state, after, false, __ATOMIC_SEQ_CST,
                                          __ATOMIC_SEQ_CST));
    if ((after & (MURELRWLOCK_WRITER | MURELRWLOCK_WAITER_MASK)) == 0) {
        wakeReaders(lock);
    }
}

// Writers take the lock in ticket order. The serving word holds the ticket whose turn it is and one
// bit for each of the 16 tickets after it whose writer gave up; they are skipped when the turn
// moves on.
const uint32_t kTicketMask = 0xFFFFu;
const uint32_t kGaveUpShift = 16;
const uint32_t kGaveUpTickets = 16;

// Distance of a ticket from the serving one: 0 its turn, positive waiting, negative passed over.
int16_t ticketDistance(uint32_t ticket, uint32_t serving) {
    return static_cast<int16_t>(static_cast<uint16_t>((ticket - serving) & kTicketMask));
}

// The serving word after the turn moved on to the next ticket whose writer did not give up.
uint32_t nextTurn(uint32_t serving) {
    uint32_t ticket = serving & kTicketMask;
    uint32_t gaveUp = serving >> kGaveUpShift;
    bool skip = true;
    while (skip) {
        ticket = (ticket + 1) & kTicketMask;
        skip = (gaveUp & 1u) != 0;
        gaveUp >>= 1;
    }
    return ticket | (gaveUp << kGaveUpShift);
}

// A writer with a ticket gives up (time-out, failed wait, refused call): its turn passes at once,
// or is marked to be skipped when it comes. A ticket further ahead is skipped by the waiting
// writers after a slice in which nobody took the free lock.
void returnTicket(MurelRwLock* lock, uint32_t ticket) {
    uint32_t serving = atomicLoad(&lock->serving);
    for (;;) {
        const int16_t distance = ticketDistance(ticket, serving);
        uint32_t after = 0;
        if (distance == 0) {
            after = nextTurn(serving);
        } else if (distance > 0 && static_cast<uint32_t>(distance) <= kGaveUpTickets) {
            after = serving | (1u << (kGaveUpShift + static_cast<uint32_t>(distance) - 1));
        } else {
            return;
        }
        if (__atomic_compare_exchange_n(&lock->serving, &serving, after, false, __ATOMIC_SEQ_CST,
                                        __ATOMIC_SEQ_CST)) {
            if (distance == 0) {
                wakeAll(lock, &lock->writerWake);
            }
            return;
        }
    }
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
    lock->turn = 0;
    lock->nextTicket = 0;
    lock->serving = 0;
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
    bool waiting = false;   // began to wait
    uint32_t firstTurn = 0; // the turn count when it began to wait
    // True when a turn opened since this reader began to wait.
    const auto ofTurn = [&](uint32_t turn) {
        return waiting && static_cast<int32_t>(turn - firstTurn) > 0;
    };
    for (;;) {
        // The turn count and the wake word are read before the state: a turn that opens, and a
        // wake-up that follows, after the state read change them.
        const uint32_t turn = atomicLoad(&lock->turn);
        const uint32_t wake = atomicLoad(&lock->readerWake);
        const uint32_t state = atomicLoad(&lock->state);
        if (admitsReader(state, ofTurn(turn))) {
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
        if (!waiting) {
            waiting = true;
            firstTurn = turn;
        }
        __atomic_fetch_add(&lock->waitingReaders, 1u, __ATOMIC_SEQ_CST);
        int result = 0;
        bool entered = false;
        const uint32_t before = atomicLoad(&lock->state);
        if (!admitsReader(before, ofTurn(atomicLoad(&lock->turn)))) {
            bool untilDeadline = false;
            const struct timespec until = sliceEnd(deadline, untilDeadline);
            result = sleepOn(lock, &lock->readerWake, wake, &until);
            if (result == ETIMEDOUT && !untilDeadline) {
                result = 0;
                // A waiting writer takes a free lock at once, and a readers' turn fills it within
                // moments. A lock left free and untouched for a whole slice is held off by waiters
                // that died: their count must not keep the readers out for ever.
                if (isFree(before) && atomicLoad(&lock->state) == before) {
                    entered = compareExchange(&lock->state, before, before + 1);
                }
            }
        }
        __atomic_fetch_sub(&lock->waitingReaders, 1u, __ATOMIC_SEQ_CST);
        if (entered) {
            return 0;
        }
        if (result != 0) {
            return result;
        }
    }
}

int MurelRwLock_writeLock(MurelRwLock* lock, const struct timespec* deadline) {
    if (!isValid(lock)) {
        return EINVAL;
    }
    const uint32_t self = callingThreadId();
    if ((atomicLoad(&lock->state) & MURELRWLOCK_WRITER) != 0 &&
        atomicLoad(&lock->writerTid) == self) {
        return EDEADLK;
    }
    uint32_t ticket = __atomic_fetch_add(&lock->nextTicket, 1u, __ATOMIC_SEQ_CST);
    bool waiting = false; // counted among the waiting writers
    for (;;) {
        // The wake word is read first: a change of the serving word or the state after these
        // reads is followed by a wake-up that changes it.
        const uint32_t wake = atomicLoad(&lock->writerWake);
        const uint32_t serving = atomicLoad(&lock->serving);
        uint32_t state = atomicLoad(&lock->state);
        const int16_t distance = ticketDistance(ticket, serving);
        if (distance < 0) {
            // Passed over while it did not run for a whole slice: queue again.
            ticket = __atomic_fetch_add(&lock->nextTicket, 1u, __ATOMIC_SEQ_CST);
            continue;
        }
        if (distance == 0 && admitsWriter(state)) {
            const uint32_t taken =
                (state | MURELRWLOCK_WRITER) - (waiting ? MURELRWLOCK_WAITER_ONE : 0);
            if (compareExchange(&lock->state, state, taken)) {
                atomicStore(&lock->writerTid, self);
                return 0;
            }
            continue;
        }
        int result = 0;
        if (!waiting) {
            if (!isValidDeadline(deadline)) {
                result = EINVAL;
            } else if ((state & MURELRWLOCK_WAITER_MASK) == MURELRWLOCK_WAITER_MASK) {
                result = EAGAIN;
            } else if (compareExchange(&lock->state, state, state + MURELRWLOCK_WAITER_ONE)) {
                // Counting in as a waiting writer holds off new readers from now on.
                waiting = true;
                state += MURELRWLOCK_WAITER_ONE;
            } else {
                continue;
            }
        }
        if (result == 0) {
            bool untilDeadline = false;
            const struct timespec until = sliceEnd(deadline, untilDeadline);
            result = sleepOn(lock, &lock->writerWake, wake, &until);
            if (result == ETIMEDOUT && !untilDeadline) {
                result = 0;
                // A lock left free and untouched for a whole slice is held off by waiters that
                // died: the readers of a turn that never came, or the writer whose turn it is.
                // They must not keep the other writers out for ever.
                if (isFree(state) && atomicLoad(&lock->state) == state &&
                    atomicLoad(&lock->serving) == serving) {
                    const bool moved =
                        (state & MURELRWLOCK_READ_TURN) != 0
                            ? compareExchange(&lock->state, state, state & ~MURELRWLOCK_READ_TURN)
                            : distance != 0 &&
                                  compareExchange(&lock->serving, serving, nextTurn(serving));
                    if (moved) {
                        wakeAll(lock, &lock->writerWake);
                    }
                }
            }
        }
        if (result != 0) {
            if (waiting) {
                leaveWaitingWriters(lock);
            }
            returnTicket(lock, ticket);
            return result;
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
        uint32_t serving = atomicLoad(&lock->serving);
        while (!__atomic_compare_exchange_n(&lock->serving, &serving, nextTurn(serving), false,
                                            __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST)) {
        }
        // With writers waiting, the readers that wait now get a turn before the next writer. The
        // turn count rises before the turn opens: readers that begin to wait from here on belong
        // to a later turn.
        const bool turn =
            (state & MURELRWLOCK_WAITER_MASK) != 0 && atomicLoad(&lock->waitingReaders) != 0;
        if (turn) {
            __atomic_fetch_add(&lock->turn, 1u, __ATOMIC_SEQ_CST);
        }
        uint32_t released = 0;
        do {
            released = state & ~MURELRWLOCK_WRITER;
            if (turn && (state & MURELRWLOCK_WAITER_MASK) != 0) {
                released |= MURELRWLOCK_READ_TURN;
            }
        } while (!__atomic_compare_exchange_n(&lock->state, &state, released, false,
                                              __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST));
        if ((released & MURELRWLOCK_READ_TURN) != 0) {
            wakeAll(lock, &lock->readerWake); // the last reader of the turn wakes the writers
        } else if ((released & MURELRWLOCK_WAITER_MASK) == 0) {
            wakeReaders(lock);
        } else {
            wakeAll(lock, &lock->writerWake);
        }
        return 0;
    }
    for (;;) {
        if ((state & MURELRWLOCK_READER_MASK) == 0) {
            return EPERM;
        }
        const bool last = (state & MURELRWLOCK_READER_MASK) == 1;
        // The last reader ends a readers' turn.
        const uint32_t released = last ? (state - 1) & ~MURELRWLOCK_READ_TURN : state - 1;
        if (compareExchange(&lock->state, state, released)) {
            if (last && (state & MURELRWLOCK_WAITER_MASK) != 0) {
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
