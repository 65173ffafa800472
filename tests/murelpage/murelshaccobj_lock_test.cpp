// Lock operations of the shared access object, on objects in anonymous shared memory (no named
// objects, no create lock).
#include "murelpage/murelshaccobj.h"
#include "tests/murelpage/ForkSupport.h"
#include "tests/murelpage/MurelPageTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

struct CObjectArea {
    MurelShAccObj object;
    uint32_t held;
};

// A child process that takes the object's write lock, reports it in held and keeps it for
// holdMs milliseconds.
pid_t holdWriteLock(CObjectArea& area, unsigned holdMs) {
    const pid_t pid = forkChild([&area, holdMs] {
        if (MurelShAccObj_timedLockWrite(&area.object, MURELSHACCOBJ_WAIT_FOREVER) != 0) {
            return 2;
        }
        atomicWrite(&area.held, 1);
        sleepMs(holdMs);
        atomicWrite(&area.held, 2);
        return MurelShAccObj_unlock(&area.object) == 0 ? 0 : 3;
    });
    waitUntil([&area] { return atomicRead(&area.held) != 0; });
    return pid;
}

TEST(MurelShAccObjLockTest, InitSetsCounterZeroAndTimeNow) {
    TSharedMemory<CObjectArea> area;
    area->object.changeCounter = 77;
    const uint32_t before = static_cast<uint32_t>(time(nullptr));
    EXPECT_EQ(MurelShAccObj_init(&area->object), 0);
    EXPECT_EQ(area->object.changeCounter, 0u);
    EXPECT_GE(area->object.timeStamp, before);
    EXPECT_LE(area->object.timeStamp, static_cast<uint32_t>(time(nullptr)));
    EXPECT_EQ(area->object.lock.shared, 1u);
    area->object.timeStamp = 5;
    MurelShAccObj_setCurrentTime(&area->object);
    EXPECT_GE(area->object.timeStamp, before);
}

TEST(MurelShAccObjLockTest, TimedLocksGiveUpAfterMoreThanOneAndAtMostTwoSeconds) {
    TSharedMemory<CObjectArea> area;
    ASSERT_EQ(MurelShAccObj_init(&area->object), 0);
    const pid_t holder = holdWriteLock(*area, 5000);
    CCapturedSlog log;
    for (bool write : {false, true}) {
        const int64_t start = monotonicUs();
        const int result = write ? MurelShAccObj_timedLockWrite(&area->object, 2)
                                 : MurelShAccObj_timedLockROnly(&area->object, 2);
        const int64_t elapsed = monotonicUs() - start;
        EXPECT_EQ(result, ETIMEDOUT);
        EXPECT_GT(elapsed, 1000000) << write;
        EXPECT_LE(elapsed, 2100000) << write; // 2 s plus scheduling slack
    }
    EXPECT_EQ(atomicRead(&area->held), 1u);
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0].severity, 2);
    EXPECT_EQ(log.lines()[0].text, murelPagePrefix("MurelShAccObj_timedLockROnly") +
                                       "ERROR: pthread_rwlock_timedrdlock(): failed with "
                                       "<110|Connection timed out>");
    EXPECT_EQ(log.lines()[1].text, murelPagePrefix("MurelShAccObj_timedLockWrite") +
                                       "ERROR: pthread_rwlock_timedwrlock(): failed with "
                                       "<110|Connection timed out>");
    kill(holder, SIGKILL);
    waitChild(holder);
}

TEST(MurelShAccObjLockTest, WaitForeverWaitsForTheHolder) {
    TSharedMemory<CObjectArea> area;
    ASSERT_EQ(MurelShAccObj_init(&area->object), 0);
    const pid_t holder = holdWriteLock(*area, 1500);
    CCapturedSlog log;
    EXPECT_EQ(MurelShAccObj_timedLockROnly(&area->object, MURELSHACCOBJ_WAIT_FOREVER), 0);
    EXPECT_EQ(atomicRead(&area->held), 2u);
    EXPECT_EQ(MurelShAccObj_unlock(&area->object), 0);
    EXPECT_EQ(waitChild(holder), 0);
    EXPECT_TRUE(log.lines().empty());
}

TEST(MurelShAccObjLockTest, FailuresAreLoggedWithThePlatformCallNames) {
    TSharedMemory<CObjectArea> area;
    ASSERT_EQ(MurelShAccObj_init(&area->object), 0);
    CCapturedSlog log;
    EXPECT_EQ(MurelShAccObj_unlock(&area->object), EPERM);
    ASSERT_EQ(MurelShAccObj_timedLockWrite(&area->object, MURELSHACCOBJ_WAIT_FOREVER), 0);
    EXPECT_EQ(MurelShAccObj_timedLockWrite(&area->object, MURELSHACCOBJ_WAIT_FOREVER), EDEADLK);
    EXPECT_EQ(MurelShAccObj_timedLockROnly(&area->object, MURELSHACCOBJ_WAIT_FOREVER), EDEADLK);
    EXPECT_EQ(MurelShAccObj_timedLockWrite(&area->object, 1), EDEADLK);
    EXPECT_EQ(MurelShAccObj_unlock(&area->object), 0);
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
    EXPECT_EQ(log.texts(), expected);
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
