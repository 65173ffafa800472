// Mutual exclusion and failure reports of the critical section.
#include "foundation/CVXCriticalSection.h"

#include "foundation/VXThread.h"
#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

#include <new>

namespace {

TEST(CVXCriticalSection, ExcludesContendingThreads) {
    SlogCapture log;
    CVXCriticalSection section;
    long counter = 0; // a plain counter: increments of overlapping holders get lost
    std::atomic<int> holders{0};
    std::atomic<bool> overlapSeen{false};
    struct CContending : CVXRunnable {
        std::function<void()> body;
        explicit CContending(std::function<void()> f) : body(std::move(f)) {}
        void run() override { body(); }
    } contending([&] {
        for (int round = 0; round < 20000; ++round) {
            CVXCriticalSectionLock hold(section);
            overlapSeen = overlapSeen || holders.fetch_add(1) != 0;
            const long value = counter;
            if (round % 64 == 0) {
                std::this_thread::yield();
            }
            counter = value + 1;
            holders.fetch_sub(1);
        }
    });
    VXThreadId threads[4] = {};
    for (VXThreadId& thread : threads) {
        thread = VXThreadCreate(&contending, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE);
        ASSERT_NE(thread, 0u);
    }
    for (const VXThreadId thread : threads) {
        ASSERT_TRUE(VXThreadJoin(thread));
    }
    EXPECT_EQ(counter, 4L * 20000);
    EXPECT_FALSE(overlapSeen.load());

    std::atomic<bool> entered{false}; // a second thread waits until the holder unlocks
    section.Lock();
    std::thread waiter([&] {
        CVXCriticalSectionLock hold(section);
        entered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load());
    section.Unlock();
    waiter.join();
    EXPECT_TRUE(entered.load());
    EXPECT_TRUE(log.lines().empty()); // creation succeeded
}

TEST(CVXCriticalSection, FailedDestructionIsLoggedAsCritical) {
    SlogCapture log;
    { CVXCriticalSection fine; } // a successful destruction logs nothing
    // The C library refuses to destroy a locked mutex (EBUSY). The storage is left as it is.
    alignas(CVXCriticalSection) unsigned char storage[sizeof(CVXCriticalSection)];
    auto* section = new (storage) CVXCriticalSection();
    section->Lock();
    section->~CVXCriticalSection();
    EXPECT_EQ(log.lines(), std::vector<SlogLine>{processLine(
                               VX_SLOG_CRITICAL, "Failed to destroy CVXCriticalSection: error=" +
                                                     std::to_string(EBUSY))});
}

} // namespace
