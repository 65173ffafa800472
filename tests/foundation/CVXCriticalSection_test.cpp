// Mutual exclusion and failure reports of the critical section.
#include "foundation/CVXCriticalSection.h"

#include "foundation/VXThread.h"
#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

// Adds to a shared plain counter under the section and notes any overlap of two holders.
class CContendingRunnable : public CVXRunnable {
public:
    CContendingRunnable(CVXCriticalSection& section, long& counter, std::atomic<int>& holders,
                        std::atomic<bool>& overlapSeen)
        : m_section(section), m_counter(counter), m_holders(holders), m_overlapSeen(overlapSeen) {}

    void run() override {
        for (int round = 0; round < 20000; ++round) {
            CVXCriticalSectionLock hold(m_section);
            if (m_holders.fetch_add(1) != 0) {
                m_overlapSeen = true;
            }
            const long value = m_counter;
            if (round % 64 == 0) {
                std::this_thread::yield();
            }
            m_counter = value + 1;
            m_holders.fetch_sub(1);
        }
    }

private:
    CVXCriticalSection& m_section;
    long& m_counter;
    std::atomic<int>& m_holders;
    std::atomic<bool>& m_overlapSeen;
};

TEST(CVXCriticalSection, ExcludesContendingThreads) {
    SlogCapture log;
    CVXCriticalSection section;
    long counter = 0;
    std::atomic<int> holders{0};
    std::atomic<bool> overlapSeen{false};
    std::vector<CContendingRunnable> runnables(4, {section, counter, holders, overlapSeen});
    std::vector<VXThreadId> threads;
    for (CContendingRunnable& runnable : runnables) {
        threads.push_back(VXThreadCreate(&runnable, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE));
        ASSERT_NE(threads.back(), 0u);
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
    // The C library refuses to destroy a locked mutex (EBUSY). The storage is left as it is.
    alignas(CVXCriticalSection) unsigned char storage[sizeof(CVXCriticalSection)];
    auto* section = new (storage) CVXCriticalSection();
    section->Lock();
    section->~CVXCriticalSection();
    EXPECT_EQ(log.lines(), std::vector<SlogLine>{processLine(
                               VX_SLOG_CRITICAL, "Failed to destroy CVXCriticalSection: error=" +
                                                     std::to_string(EBUSY))});
    { CVXCriticalSection fine; }
    EXPECT_EQ(log.lines().size(), 1u); // a successful destruction logs nothing
}

} // namespace
