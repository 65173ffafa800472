// The futex reader/writer lock and the access object's lock operations, in threads and in forked
// processes on anonymous shared memory.
#include "murelpage/MurelRwLock.h"
#include "murelpage/murelshaccobj.h"
#include "tests/murelpage/MurelPageTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <tuple>

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
    MurelShAccObj object;
    std::atomic<uint32_t> order; // decimal digits of who got the lock, in turn
    std::atomic<uint32_t> readersInside;
    std::atomic<uint32_t> readersEntered;
};

const char* const kRead = "MurelShAccObj_timedLockROnly";
const char* const kWrite = "MurelShAccObj_timedLockWrite";

uint32_t load(const uint32_t& word) {
    return __atomic_load_n(&word, __ATOMIC_SEQ_CST);
}

class MurelRwLockTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(MurelShAccObj_init(m_object), 0); }
    pid_t child(bool write, const std::function<void()>& inside = {}, int deadlineMs = -1) {
        return forkChild([=, this] { return lockAndRun(m_lock, write, inside, deadlineMs); });
    }
    // Holds a read lock and starts a writer that waits for it.
    pid_t waitingWriter(int deadlineMs = -1) {
        EXPECT_EQ(MurelRwLock_readLock(m_lock, nullptr), 0);
        const pid_t writer = child(true, {}, deadlineMs);
        EXPECT_TRUE(eventually([this] {
            return (load(m_lock->state) & MURELRWLOCK_WAITER_MASK) == MURELRWLOCK_WAITER_ONE;
        }));
        return writer;
    }
    void record(uint32_t who) { m_area->order = m_area->order * 10 + who; }

    TSharedMemory<CLockArea> m_area;
    MurelShAccObj* m_object = &m_area->object;
    MurelRwLock* m_lock = &m_object->lock;
};

// The error numbers of one thread's calls; the access object's operations log theirs with the
// names of the platform calls they stand for.
TEST_F(MurelRwLockTest, SingleThreadSemanticsAndErrorNumbers) {
    MurelRwLock lock;
    memset(&lock, 0, sizeof(lock));
    EXPECT_EQ(MurelRwLock_readLock(&lock, nullptr), EINVAL); // never initialised
    EXPECT_EQ(MurelRwLock_unlock(&lock), EINVAL);
    EXPECT_EQ(MurelRwLock_readLock(nullptr, nullptr), EINVAL);
    CCapturedSlog log;
    EXPECT_EQ(MurelShAccObj_unlock(m_object), EPERM);
    EXPECT_EQ(MurelRwLock_readLock(m_lock, nullptr), 0);
    EXPECT_EQ(MurelRwLock_readLock(m_lock, nullptr), 0);
    const struct timespec past = realtimeIn(-1000);
    EXPECT_EQ(MurelRwLock_writeLock(m_lock, &past), ETIMEDOUT);
    EXPECT_EQ(m_lock->state, 2u); // no waiting writer left behind
    EXPECT_EQ(MurelRwLock_unlock(m_lock), 0);
    EXPECT_EQ(MurelRwLock_unlock(m_lock), 0);
    EXPECT_EQ(MurelRwLock_unlock(m_lock), EPERM);
    // A free lock is taken even with a deadline in the past, as the platform lock does.
    EXPECT_EQ(MurelRwLock_writeLock(m_lock, &past), 0);
    EXPECT_EQ(MurelShAccObj_timedLockWrite(m_object, MURELSHACCOBJ_WAIT_FOREVER), EDEADLK);
    EXPECT_EQ(MurelShAccObj_timedLockROnly(m_object, MURELSHACCOBJ_WAIT_FOREVER), EDEADLK);
    EXPECT_EQ(MurelShAccObj_timedLockWrite(m_object, 1), EDEADLK);
    EXPECT_EQ(MurelShAccObj_timedLockROnly(m_object, 1), EDEADLK);
    EXPECT_EQ(MurelShAccObj_unlock(m_object), 0);
    EXPECT_EQ(m_lock->state, 0u);
    EXPECT_EQ(m_lock->writerTid, 0u);
    const std::string deadlock = "(): failed with <35|Resource deadlock avoided>";
    EXPECT_EQ(log.texts,
              (std::vector<std::string>{
                  murelPagePrefix("MurelShAccObj_unlock") +
                      "ERROR: pthread_rwlock_unlock(): failed with <1|Operation not "
                      "permitted>",
                  murelPagePrefix(kWrite) + "ERROR: pthread_rwlock_wrlock" + deadlock,
                  murelPagePrefix(kRead) + "ERROR: pthread_rwlock_rdlock" + deadlock,
                  murelPagePrefix(kWrite) + "ERROR: pthread_rwlock_timedwrlock" + deadlock,
                  murelPagePrefix(kRead) + "ERROR: pthread_rwlock_timedrdlock" + deadlock}));
}

// A deadline is checked when the call has to wait: a bad one is refused at once, never waited on.
TEST_F(MurelRwLockTest, InvalidDeadlinesAreRefusedWhenTheCallHasToWait) {
    ASSERT_EQ(MurelRwLock_writeLock(m_lock, nullptr), 0);
    const time_t now = realtimeIn(0).tv_sec;
    const std::tuple<time_t, long, int> rows[] = {{0, 999999999, ETIMEDOUT},
                                                  {now + 1, 1000000000, EINVAL},
                                                  {now + 1, -1, EINVAL},
                                                  {-1, 0, EINVAL}};
    for (const auto& [seconds, nanoseconds, result] : rows) {
        for (bool write : {false, true}) {
            SCOPED_TRACE(testing::Message() << seconds << " " << nanoseconds << " " << write);
            struct timespec deadline {};
            deadline.tv_sec = seconds;
            deadline.tv_nsec = nanoseconds;
            EXPECT_EQ(waitChild(forkChild([this, write, deadline] {
                          alarm(5); // a call that spins instead of returning
                          return write ? MurelRwLock_writeLock(m_lock, &deadline)
                                       : MurelRwLock_readLock(m_lock, &deadline);
                      })),
                      result);
        }
    }
    EXPECT_EQ(m_lock->state, MURELRWLOCK_WRITER); // no waiter left behind
    EXPECT_EQ(m_lock->waitingReaders, 0u);
    EXPECT_EQ(MurelRwLock_unlock(m_lock), 0);
    EXPECT_EQ(m_lock->serving, m_lock->nextTicket); // the tickets given up are passed over
}

// Readers hand over to each other, so the read count would never drop to zero were every newcomer
// let in. Two waiting writers get in in their order, each after one turn of readers; the readers
// that waited through a write go before the next writer. In threads and in processes.
TEST_F(MurelRwLockTest, WritersDoNotStarveUnderASteadyStreamOfReaders) {
    for (bool processes : {false, true}) {
        SCOPED_TRACE(processes);
        ASSERT_EQ(MurelRwLock_init(m_lock, processes ? 1 : 0), 0);
        m_area->order = 0;
        m_area->readersEntered = 0;
        std::vector<std::thread> threads;
        std::vector<pid_t> children;
        const auto start = [&](const std::function<int()>& body) {
            if (processes) {
                children.push_back(forkChild(body));
            } else {
                threads.emplace_back([body] { EXPECT_EQ(body(), 0); });
            }
        };
        const auto reader = [this](uint32_t who) {
            return lockAndRun(
                m_lock, false,
                [this, who] {
                    record(who);
                    ++m_area->readersEntered;
                    ++m_area->readersInside;
                    const int64_t end = monotonicUs() + 500000;
                    while (m_area->readersInside < 2 && monotonicUs() < end) {
                        usleep(1000);
                    }
                    --m_area->readersInside;
                },
                10000);
        };
        // Failures below let the helpers run out (their deadlines) rather than leave them behind.
        ASSERT_EQ(MurelRwLock_writeLock(m_lock, nullptr), 0);
        start([reader] { return reader(1); });
        EXPECT_TRUE(eventually([this] { return load(m_lock->waitingReaders) == 1; }));
        for (uint32_t writer = 8; writer <= 9; ++writer) {
            start([this, writer] {
                return lockAndRun(
                    m_lock, true, [this, writer] { record(writer); }, 10000);
            });
            EXPECT_TRUE(eventually([this, writer] {
                return (load(m_lock->state) & MURELRWLOCK_WAITER_MASK) ==
                       (writer - 7) * MURELRWLOCK_WAITER_ONE;
            }));
        }
        EXPECT_EQ(MurelRwLock_unlock(m_lock), 0);
        for (uint32_t next = 2; next <= 3; ++next) {
            EXPECT_TRUE(eventually([this, next] { return m_area->readersEntered == next - 1; }));
            start([reader, next] { return reader(next); });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (pid_t child : children) {
            EXPECT_EQ(waitChild(child), 0);
        }
        EXPECT_EQ(m_area->order, 18293u);
        EXPECT_EQ(m_lock->state, 0u);
    }
}

// A writer that gives up while readers wait behind it lets them in and leaves no count behind; one
// killed while it waits is still counted, and a reader gets in after one sleep slice.
TEST_F(MurelRwLockTest, AWriterThatGivesUpOrDiesWhileWaitingDoesNotKeepReadersOut) {
    pid_t writer = waitingWriter(300);
    const pid_t reader = child(false, [this] { record(2); });
    EXPECT_EQ(waitChild(writer), ETIMEDOUT);
    EXPECT_EQ(waitChild(reader), 0);
    EXPECT_EQ(m_area->order, 2u);
    EXPECT_EQ(MurelRwLock_unlock(m_lock), 0);
    EXPECT_EQ(m_lock->state, 0u);

    writer = waitingWriter();
    kill(writer, SIGKILL);
    EXPECT_EQ(waitChild(writer), 128 + SIGKILL);
    EXPECT_EQ(MurelRwLock_unlock(m_lock), 0);
    const int64_t start = monotonicUs();
    EXPECT_EQ(waitChild(child(false)), 0);
    EXPECT_LT(monotonicUs() - start, 2000000);
    EXPECT_EQ(lockAndRun(m_lock, true), 0); // a writer is not held off by the stale count
}

// The time-out is counted from the current whole second.
TEST_F(MurelRwLockTest, TimedLocksGiveUpAfterMoreThanOneAndAtMostTwoSeconds) {
    const pid_t holder = forkChild([this] {
        MurelShAccObj_timedLockWrite(m_object, MURELSHACCOBJ_WAIT_FOREVER);
        m_area->order = 1;
        return pause();
    });
    ASSERT_TRUE(eventually([this] { return m_area->order == 1; }));
    CCapturedSlog log;
    const int64_t start = monotonicUs();
    EXPECT_EQ(MurelShAccObj_timedLockROnly(m_object, 2), ETIMEDOUT);
    const int64_t elapsed = monotonicUs() - start;
    EXPECT_TRUE(elapsed > 1000000 && elapsed <= 2100000) << elapsed;
    kill(holder, SIGKILL);
    waitChild(holder);
    const std::string timeout = "(): failed with <110|Connection timed out>";
    EXPECT_EQ(log.texts, std::vector<std::string>{murelPagePrefix(kRead) +
                                                  "ERROR: pthread_rwlock_timedrdlock" + timeout});
}

} // namespace
