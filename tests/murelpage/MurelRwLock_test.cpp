#include "murelpage/MurelRwLock.h"
#include "tests/murelpage/ForkSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

struct timespec realtimeIn(int milliseconds) {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    const int64_t ns = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec +
                       int64_t{milliseconds} * 1000000;
    now.tv_sec = static_cast<time_t>(ns / 1000000000);
    now.tv_nsec = static_cast<long>(ns % 1000000000);
    return now;
}

uint32_t waitingWriters(const MurelRwLock* lock) {
    return (atomicRead(&lock->state) & MURELRWLOCK_WAITER_MASK) / MURELRWLOCK_WAITER_ONE;
}

struct CLockArea {
    MurelRwLock lock;
    uint32_t marker;
    uint32_t order[8];
    uint32_t orderCount;
    uint32_t stop;
    uint32_t writerGrants;
};

void record(CLockArea& area, uint32_t who) {
    const uint32_t at = __atomic_fetch_add(&area.orderCount, 1u, __ATOMIC_SEQ_CST);
    if (at < 8) {
        area.order[at] = who;
    }
}

TEST(MurelRwLockTest, SingleThreadSemanticsAndErrorNumbers) {
    MurelRwLock lock;
    memset(&lock, 0, sizeof(lock));
    EXPECT_EQ(MurelRwLock_readLock(&lock, nullptr), EINVAL); // never initialised
    EXPECT_EQ(MurelRwLock_unlock(&lock), EINVAL);
    EXPECT_EQ(MurelRwLock_readLock(nullptr, nullptr), EINVAL);
    ASSERT_EQ(MurelRwLock_init(&lock, 1), 0);

    EXPECT_EQ(MurelRwLock_unlock(&lock), EPERM); // not held
    EXPECT_EQ(MurelRwLock_readLock(&lock, nullptr), 0);
    EXPECT_EQ(MurelRwLock_readLock(&lock, nullptr), 0);
    const struct timespec past = realtimeIn(-1000);
    EXPECT_EQ(MurelRwLock_writeLock(&lock, &past), ETIMEDOUT);
    struct timespec bad = realtimeIn(1000);
    bad.tv_nsec = 1000000000;
    EXPECT_EQ(MurelRwLock_writeLock(&lock, &bad), EINVAL);
    EXPECT_EQ(lock.state, 2u); // no waiting writer left behind
    EXPECT_EQ(MurelRwLock_unlock(&lock), 0);
    EXPECT_EQ(MurelRwLock_unlock(&lock), 0);
    EXPECT_EQ(MurelRwLock_unlock(&lock), EPERM);

    // A free lock is taken even with a deadline in the past, as the platform lock does.
    EXPECT_EQ(MurelRwLock_writeLock(&lock, &past), 0);
    EXPECT_EQ(MurelRwLock_writeLock(&lock, nullptr), EDEADLK);
    EXPECT_EQ(MurelRwLock_readLock(&lock, nullptr), EDEADLK);
    EXPECT_EQ(MurelRwLock_readLock(&lock, &past), EDEADLK);
    EXPECT_EQ(MurelRwLock_unlock(&lock), 0);
    EXPECT_EQ(lock.state, 0u);
    EXPECT_EQ(lock.writerTid, 0u);
}

TEST(MurelRwLockTest, StaticInitialiserGivesAWorkingPrivateLock) {
    static MurelRwLock lock = MURELRWLOCK_INITIALIZER;
    EXPECT_EQ(lock.shared, 0u);
    EXPECT_EQ(MurelRwLock_writeLock(&lock, nullptr), 0);
    EXPECT_EQ(MurelRwLock_unlock(&lock), 0);
    EXPECT_EQ(MurelRwLock_readLock(&lock, nullptr), 0);
    EXPECT_EQ(MurelRwLock_unlock(&lock), 0);
}

TEST(MurelRwLockTest, ReaderProcessWaitsWhileAWriterProcessHoldsTheLock) {
    TSharedMemory<CLockArea> area;
    ASSERT_EQ(MurelRwLock_init(&area->lock, 1), 0);
    const pid_t writer = forkChild([&] {
        if (MurelRwLock_writeLock(&area->lock, nullptr) != 0) {
            return 2;
        }
        atomicWrite(&area->marker, 1);
        sleepMs(300);
        atomicWrite(&area->marker, 2);
        return MurelRwLock_unlock(&area->lock) == 0 ? 0 : 3;
    });
    ASSERT_TRUE(waitUntil([&] { return atomicRead(&area->marker) == 1; }));
    const int64_t start = monotonicMs();
    ASSERT_EQ(MurelRwLock_readLock(&area->lock, nullptr), 0);
    EXPECT_EQ(atomicRead(&area->marker), 2u); // not before the writer let go
    EXPECT_GE(monotonicMs() - start, 200);
    EXPECT_EQ(MurelRwLock_unlock(&area->lock), 0);
    EXPECT_EQ(waitChild(writer), 0);
}

TEST(MurelRwLockTest, ReadersShareTheLockAcrossProcesses) {
    TSharedMemory<CLockArea> area;
    ASSERT_EQ(MurelRwLock_init(&area->lock, 1), 0);
    ASSERT_EQ(MurelRwLock_readLock(&area->lock, nullptr), 0);
    const pid_t reader = forkChild([&] {
        const struct timespec deadline = realtimeIn(2000);
        if (MurelRwLock_readLock(&area->lock, &deadline) != 0) {
            return 2;
        }
        return MurelRwLock_unlock(&area->lock) == 0 ? 0 : 3;
    });
    EXPECT_EQ(waitChild(reader), 0);
    EXPECT_EQ(MurelRwLock_unlock(&area->lock), 0);
}

TEST(MurelRwLockTest, WaitingWriterHoldsOffNewReadersAndGoesFirst) {
    TSharedMemory<CLockArea> area;
    ASSERT_EQ(MurelRwLock_init(&area->lock, 1), 0);
    ASSERT_EQ(MurelRwLock_readLock(&area->lock, nullptr), 0);
    const pid_t writer = forkChild([&] {
        if (MurelRwLock_writeLock(&area->lock, nullptr) != 0) {
            return 2;
        }
        record(*area, 1);
        sleepMs(100);
        return MurelRwLock_unlock(&area->lock) == 0 ? 0 : 3;
    });
    ASSERT_TRUE(waitUntil([&] { return waitingWriters(&area->lock) == 1; }));
    const pid_t reader = forkChild([&] {
        if (MurelRwLock_readLock(&area->lock, nullptr) != 0) {
            return 2;
        }
        record(*area, 2);
        return MurelRwLock_unlock(&area->lock) == 0 ? 0 : 3;
    });
    sleepMs(200);
    EXPECT_EQ(atomicRead(&area->orderCount), 0u); // the new reader waits behind the writer
    EXPECT_EQ(MurelRwLock_unlock(&area->lock), 0);
    EXPECT_EQ(waitChild(writer), 0);
    EXPECT_EQ(waitChild(reader), 0);
    ASSERT_EQ(area->orderCount, 2u);
    EXPECT_EQ(area->order[0], 1u);
    EXPECT_EQ(area->order[1], 2u);
}

TEST(MurelRwLockTest, TimedOutWriterLetsTheReadersBehindItIn) {
    TSharedMemory<CLockArea> area;
    ASSERT_EQ(MurelRwLock_init(&area->lock, 1), 0);
    ASSERT_EQ(MurelRwLock_readLock(&area->lock, nullptr), 0); // held throughout
    const pid_t writer = forkChild([&] {
        const struct timespec deadline = realtimeIn(500);
        return MurelRwLock_writeLock(&area->lock, &deadline) == ETIMEDOUT ? 0 : 2;
    });
    ASSERT_TRUE(waitUntil([&] { return waitingWriters(&area->lock) == 1; }));
    const pid_t reader = forkChild([&] {
        if (MurelRwLock_readLock(&area->lock, nullptr) != 0) {
            return 2;
        }
        atomicWrite(&area->marker, 1);
        return MurelRwLock_unlock(&area->lock) == 0 ? 0 : 3;
    });
    EXPECT_EQ(waitChild(writer), 0);
    EXPECT_EQ(waitChild(reader), 0);
    EXPECT_EQ(area->marker, 1u);
    EXPECT_EQ(waitingWriters(&area->lock), 0u);
    EXPECT_EQ(MurelRwLock_unlock(&area->lock), 0);
    EXPECT_EQ(area->lock.state, 0u);
}

TEST(MurelRwLockTest, WriterKilledWhileWaitingDoesNotKeepReadersOutForEver) {
    TSharedMemory<CLockArea> area;
    ASSERT_EQ(MurelRwLock_init(&area->lock, 1), 0);
    ASSERT_EQ(MurelRwLock_readLock(&area->lock, nullptr), 0);
    const pid_t writer = forkChild([&] { return MurelRwLock_writeLock(&area->lock, nullptr); });
    ASSERT_TRUE(waitUntil([&] { return waitingWriters(&area->lock) == 1; }));
    kill(writer, SIGKILL);
    EXPECT_EQ(waitChild(writer), 128 + SIGKILL);
    EXPECT_EQ(MurelRwLock_unlock(&area->lock), 0);
    // The dead writer is still counted as waiting; a reader gets in after one sleep slice.
    const pid_t reader = forkChild(
        [&] {
            if (MurelRwLock_readLock(&area->lock, nullptr) != 0) {
                return 2;
            }
            return MurelRwLock_unlock(&area->lock) == 0 ? 0 : 3;
        },
        5);
    const int64_t start = monotonicMs();
    EXPECT_EQ(waitChild(reader), 0);
    EXPECT_LT(monotonicMs() - start, 2000);
    // A writer is not held off by the stale count at all.
    EXPECT_EQ(MurelRwLock_writeLock(&area->lock, nullptr), 0);
    EXPECT_EQ(MurelRwLock_unlock(&area->lock), 0);
}

// Readers in several processes overlap so that the lock is never free of readers; a writer must
// still get it, again and again, within a short time.
TEST(MurelRwLockTest, WritersDoNotStarveUnderASteadyStreamOfReaders) {
    TSharedMemory<CLockArea> area;
    ASSERT_EQ(MurelRwLock_init(&area->lock, 1), 0);
    pid_t readers[3];
    for (pid_t& reader : readers) {
        reader = forkChild([&] {
            while (atomicRead(&area->stop) == 0) {
                if (MurelRwLock_readLock(&area->lock, nullptr) != 0) {
                    return 2;
                }
                usleep(2000);
                if (MurelRwLock_unlock(&area->lock) != 0) {
                    return 3;
                }
            }
            return 0;
        });
    }
    const pid_t writer = forkChild([&] {
        for (int i = 0; i < 20; ++i) {
            const struct timespec deadline = realtimeIn(3000);
            if (MurelRwLock_writeLock(&area->lock, &deadline) != 0) {
                return 2;
            }
            __atomic_fetch_add(&area->writerGrants, 1u, __ATOMIC_SEQ_CST);
            MurelRwLock_unlock(&area->lock);
            usleep(5000);
        }
        return 0;
    });
    EXPECT_EQ(waitChild(writer), 0);
    atomicWrite(&area->stop, 1);
    for (pid_t reader : readers) {
        EXPECT_EQ(waitChild(reader), 0);
    }
    EXPECT_EQ(area->writerGrants, 20u);
    EXPECT_EQ(area->lock.state, 0u);
}

TEST(MurelRwLockTest, ManyProcessesKeepTheCountsExact) {
    struct CCounterArea {
        MurelRwLock lock;
        uint32_t value;
        uint32_t readersInside;
        uint32_t violations;
    };
    TSharedMemory<CCounterArea> area;
    ASSERT_EQ(MurelRwLock_init(&area->lock, 1), 0);
    pid_t children[4];
    for (int c = 0; c < 4; ++c) {
        children[c] = forkChild([&, c] {
            for (int i = 0; i < 2000; ++i) {
                if (c % 2 == 0 || i % 4 == 0) {
                    MurelRwLock_writeLock(&area->lock, nullptr);
                    if (atomicRead(&area->readersInside) != 0) {
                        __atomic_fetch_add(&area->violations, 1u, __ATOMIC_SEQ_CST);
                    }
                    const uint32_t value = area->value; // not atomic: the lock protects it
                    area->value = value + 1;
                    MurelRwLock_unlock(&area->lock);
                } else {
                    MurelRwLock_readLock(&area->lock, nullptr);
                    __atomic_fetch_add(&area->readersInside, 1u, __ATOMIC_SEQ_CST);
                    __atomic_fetch_sub(&area->readersInside, 1u, __ATOMIC_SEQ_CST);
                    MurelRwLock_unlock(&area->lock);
                }
            }
            return 0;
        });
    }
    for (pid_t child : children) {
        EXPECT_EQ(waitChild(child), 0);
    }
    EXPECT_EQ(area->value, 2u * 2000u + 2u * 500u);
    EXPECT_EQ(area->violations, 0u);
    EXPECT_EQ(area->lock.state, 0u);
}

} // namespace
