#include "murelpage/MurelRwLock.h"
#include "tests/murelpage/MurelPageTestSupport.h"

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

// Takes the lock (without deadline when deadlineMs < 0), runs inside and unlocks: 0, or the
// error number of the failed lock operation (255 for a failed unlock).
int lockAndRun(MurelRwLock* lock, bool write, const std::function<void()>& inside = {},
               int deadlineMs = -1) {
    const struct timespec deadline = realtimeIn(deadlineMs);
    const struct timespec* until = deadlineMs < 0 ? nullptr : &deadline;
    const int result =
        write ? MurelRwLock_writeLock(lock, until) : MurelRwLock_readLock(lock, until);
    if (result != 0) {
        return result;
    }
    if (inside) {
        inside();
    }
    return MurelRwLock_unlock(lock) == 0 ? 0 : 255;
}

struct CLockArea {
    MurelRwLock lock;
    std::atomic<uint32_t> order; // decimal digits of who got the lock, in turn
    std::atomic<uint32_t> readersInside;
    std::atomic<uint32_t> violations;
    uint32_t value; // protected by the lock
};

class MurelRwLockTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(MurelRwLock_init(m_lock, 1), 0); }
    pid_t child(bool write, const std::function<void()>& inside = {}, int deadlineMs = -1) {
        return forkChild([=, this] { return lockAndRun(m_lock, write, inside, deadlineMs); });
    }
    // Holds a read lock and starts a writer that waits for it.
    pid_t waitingWriter(const std::function<void()>& inside = {}, int deadlineMs = -1) {
        EXPECT_EQ(MurelRwLock_readLock(m_lock, nullptr), 0);
        const pid_t writer = child(true, inside, deadlineMs);
        EXPECT_TRUE(waitUntil([this] {
            return (__atomic_load_n(&m_lock->state, __ATOMIC_SEQ_CST) & MURELRWLOCK_WAITER_MASK) ==
                   MURELRWLOCK_WAITER_ONE;
        }));
        return writer;
    }
    void record(uint32_t who) { m_area->order = m_area->order * 10 + who; }

    TSharedMemory<CLockArea> m_area;
    MurelRwLock* m_lock = &m_area->lock;
};

TEST_F(MurelRwLockTest, SingleThreadSemanticsAndErrorNumbers) {
    MurelRwLock lock;
    memset(&lock, 0, sizeof(lock));
    EXPECT_EQ(MurelRwLock_readLock(&lock, nullptr), EINVAL); // never initialised
    EXPECT_EQ(MurelRwLock_unlock(&lock), EINVAL);
    EXPECT_EQ(MurelRwLock_readLock(nullptr, nullptr), EINVAL);
    ASSERT_EQ(MurelRwLock_init(&lock, 1), 0);

    EXPECT_EQ(MurelRwLock_unlock(&lock), EPERM);
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

    static MurelRwLock privateLock = MURELRWLOCK_INITIALIZER;
    EXPECT_EQ(privateLock.shared, 0u);
    EXPECT_EQ(lockAndRun(&privateLock, true), 0);
    EXPECT_EQ(lockAndRun(&privateLock, false), 0);
}

// Once a writer waits, a reader arriving later waits behind it; when the writer gives up, the
// readers behind it get in.
TEST_F(MurelRwLockTest, WaitingWriterHoldsOffNewReaders) {
    pid_t writer = waitingWriter({}, 500);
    pid_t reader = child(false, [this] { record(2); });
    EXPECT_EQ(waitChild(writer), ETIMEDOUT);
    EXPECT_EQ(waitChild(reader), 0);
    EXPECT_EQ(m_area->order, 2u);
    EXPECT_EQ(MurelRwLock_unlock(m_lock), 0);
    EXPECT_EQ(m_lock->state, 0u);

    m_area->order = 0;
    writer = waitingWriter([this] {
        record(1);
        usleep(100000);
    });
    reader = child(false, [this] { record(2); });
    usleep(200000);
    EXPECT_EQ(m_area->order, 0u);
    EXPECT_EQ(MurelRwLock_unlock(m_lock), 0);
    EXPECT_EQ(waitChild(writer), 0);
    EXPECT_EQ(waitChild(reader), 0);
    EXPECT_EQ(m_area->order, 12u);
}

TEST_F(MurelRwLockTest, WriterKilledWhileWaitingDoesNotKeepReadersOutForEver) {
    const pid_t writer = waitingWriter();
    kill(writer, SIGKILL);
    EXPECT_EQ(waitChild(writer), 128 + SIGKILL);
    EXPECT_EQ(MurelRwLock_unlock(m_lock), 0);
    // The dead writer is still counted as waiting; a reader gets in after one sleep slice.
    const int64_t start = monotonicUs();
    EXPECT_EQ(waitChild(child(false)), 0);
    EXPECT_LT(monotonicUs() - start, 2000000);
    EXPECT_EQ(lockAndRun(m_lock, true), 0); // a writer is not held off by the stale count
}

TEST_F(MurelRwLockTest, ManyProcessesKeepTheCountsExact) {
    pid_t children[4];
    for (int c = 0; c < 4; ++c) {
        children[c] = forkChild([this, c] {
            for (int i = 0; i < 1000; ++i) {
                if (c % 2 == 0 || i % 4 == 0) {
                    lockAndRun(m_lock, true, [this] {
                        m_area->violations += m_area->readersInside != 0 ? 1 : 0;
                        m_area->value = m_area->value + 1;
                    });
                } else {
                    lockAndRun(m_lock, false, [this] {
                        ++m_area->readersInside;
                        --m_area->readersInside;
                    });
                }
            }
            return 0;
        });
    }
    for (pid_t c : children) {
        EXPECT_EQ(waitChild(c), 0);
    }
    EXPECT_EQ(m_area->value, 2u * 1000u + 2u * 250u);
    EXPECT_EQ(m_area->violations, 0u);
    EXPECT_EQ(m_lock->state, 0u);
}

} // namespace
