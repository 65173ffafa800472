// Lock operations of the shared access object, on objects in anonymous shared memory (no named
// objects, no create lock).
#include "murelpage/murelshaccobj.h"
#include "tests/murelpage/MurelPageTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

struct CObjectArea {
    MurelShAccObj object;
    std::atomic<uint32_t> held;
};

class MurelShAccObjLockTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(MurelShAccObj_init(m_object), 0); }
    TSharedMemory<CObjectArea> m_area;
    MurelShAccObj* m_object = &m_area->object;
};

TEST_F(MurelShAccObjLockTest, TimedLocksGiveUpAfterMoreThanOneAndAtMostTwoSeconds) {
    const pid_t holder = forkChild([this] {
        MurelShAccObj_timedLockWrite(m_object, MURELSHACCOBJ_WAIT_FOREVER);
        m_area->held = 1;
        pause();
        return 0;
    });
    ASSERT_TRUE(waitUntil([this] { return m_area->held == 1; }));
    CCapturedSlog log;
    for (bool write : {false, true}) {
        const int64_t start = monotonicUs();
        EXPECT_EQ(write ? MurelShAccObj_timedLockWrite(m_object, 2)
                        : MurelShAccObj_timedLockROnly(m_object, 2),
                  ETIMEDOUT);
        const int64_t elapsed = monotonicUs() - start;
        EXPECT_GT(elapsed, 1000000) << write;
        EXPECT_LE(elapsed, 2100000) << write;
    }
    kill(holder, SIGKILL);
    waitChild(holder);
    const std::vector<std::string> expected = {
        murelPagePrefix("MurelShAccObj_timedLockROnly") +
            "ERROR: pthread_rwlock_timedrdlock(): failed with <110|Connection timed out>",
        murelPagePrefix("MurelShAccObj_timedLockWrite") +
            "ERROR: pthread_rwlock_timedwrlock(): failed with <110|Connection timed out>"};
    EXPECT_EQ(log.texts, expected);
    EXPECT_EQ(log.severities, (std::vector<int>{2, 2}));
}

TEST_F(MurelShAccObjLockTest, FailuresAreLoggedWithThePlatformCallNames) {
    CCapturedSlog log;
    EXPECT_EQ(MurelShAccObj_unlock(m_object), EPERM);
    ASSERT_EQ(MurelShAccObj_timedLockWrite(m_object, MURELSHACCOBJ_WAIT_FOREVER), 0);
    EXPECT_EQ(MurelShAccObj_timedLockWrite(m_object, MURELSHACCOBJ_WAIT_FOREVER), EDEADLK);
    EXPECT_EQ(MurelShAccObj_timedLockROnly(m_object, MURELSHACCOBJ_WAIT_FOREVER), EDEADLK);
    EXPECT_EQ(MurelShAccObj_timedLockWrite(m_object, 1), EDEADLK);
    EXPECT_EQ(MurelShAccObj_unlock(m_object), 0);
    const std::vector<std::string> expected = {
        murelPagePrefix("MurelShAccObj_unlock") +
            "ERROR: pthread_rwlock_unlock(): failed with <1|Operation not permitted>",
        murelPagePrefix("MurelShAccObj_timedLockWrite") +
            "ERROR: pthread_rwlock_wrlock(): failed with <35|Resource deadlock avoided>",
        murelPagePrefix("MurelShAccObj_timedLockROnly") +
            "ERROR: pthread_rwlock_rdlock(): failed with <35|Resource deadlock avoided>",
        murelPagePrefix("MurelShAccObj_timedLockWrite") +
            "ERROR: pthread_rwlock_timedwrlock(): failed with <35|Resource deadlock avoided>",
    };
    EXPECT_EQ(log.texts, expected);
}

TEST(MurelShAccObjLockDeathTest, MissingObjectIsAFatalError) {
    const char* const expected =
        "murelshaccobj:[0-9]+: FATAL ERROR \"Shared object pointer is NULL.\" occured";
    EXPECT_EXIT(MurelShAccObj_init(nullptr), testing::ExitedWithCode(1), expected);
    EXPECT_EXIT(MurelShAccObj_setCurrentTime(nullptr), testing::ExitedWithCode(1), expected);
    EXPECT_EXIT(MurelShAccObj_timedLockROnly(nullptr, 1), testing::ExitedWithCode(1), expected);
    EXPECT_EXIT(MurelShAccObj_timedLockWrite(nullptr, 1), testing::ExitedWithCode(1), expected);
    EXPECT_EXIT(MurelShAccObj_unlock(nullptr), testing::ExitedWithCode(1), expected);
}

} // namespace
