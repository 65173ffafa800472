// Mutual exclusion and failure reports of the critical section.
#include "foundation/CVXCriticalSection.h"

#include "foundation/VXThread.h"
#include "foundation/platform/VXSlog.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

struct CLoggedLine {
    int severity;
    std::string text;
};

// Collects the process-log lines for the life of the object.
class CLogCapture {
public:
    CLogCapture() { VXSlogSetSink(collect, this, &m_previousSink, &m_previousContext); }
    ~CLogCapture() { VXSlogSetSink(m_previousSink, m_previousContext); }
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    std::vector<CLoggedLine> lines() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_lines;
    }

private:
    static int collect(void* context, int /*opcode*/, int severity, const char* text) {
        auto* self = static_cast<CLogCapture*>(context);
        std::lock_guard<std::mutex> guard(self->m_mutex);
        self->m_lines.push_back({severity, text});
        return 0;
    }

    std::mutex m_mutex;
    std::vector<CLoggedLine> m_lines;
    VXSlogSink m_previousSink = nullptr;
    void* m_previousContext = nullptr;
};

std::string processLine(const std::string& text) {
    return "pid " + std::to_string(getpid()) + ": " + text;
}

// Adds to a shared plain counter under the section and notes any overlap of two holders.
class CContendingRunnable : public CVXRunnable {
public:
    CContendingRunnable(CVXCriticalSection& section, long& counter, std::atomic<int>& holders,
                        std::atomic<bool>& overlapSeen, int rounds)
        : m_section(section), m_counter(counter), m_holders(holders), m_overlapSeen(overlapSeen),
          m_rounds(rounds) {}

    void run() override {
        for (int round = 0; round < m_rounds; ++round) {
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
    int m_rounds;
};

TEST(CVXCriticalSection, ExcludesContendingThreads) {
    constexpr int THREADS = 4;
    constexpr int ROUNDS = 20000;
    CVXCriticalSection section;
    long counter = 0;
    std::atomic<int> holders{0};
    std::atomic<bool> overlapSeen{false};

    std::vector<CContendingRunnable> runnables;
    runnables.reserve(THREADS);
    std::vector<VXThreadId> threads;
    for (int index = 0; index < THREADS; ++index) {
        runnables.emplace_back(section, counter, holders, overlapSeen, ROUNDS);
        const VXThreadId thread =
            VXThreadCreate(&runnables.back(), 0, -1, VX_THREAD_DEFAULT_STACK_SIZE);
        ASSERT_NE(thread, 0u);
        threads.push_back(thread);
    }
    for (const VXThreadId thread : threads) {
        ASSERT_TRUE(VXThreadJoin(thread));
    }
    EXPECT_EQ(counter, static_cast<long>(THREADS) * ROUNDS);
    EXPECT_FALSE(overlapSeen.load());
}

TEST(CVXCriticalSection, SecondThreadWaitsUntilTheHolderUnlocks) {
    CVXCriticalSection section;
    std::atomic<bool> entered{false};
    section.Lock();
    std::thread waiter([&] {
        section.Lock();
        entered = true;
        section.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load());
    section.Unlock();
    waiter.join();
    EXPECT_TRUE(entered.load());
}

TEST(CVXCriticalSection, CreationAndDestructionLogNothingWhenTheySucceed) {
    CLogCapture capture;
    { CVXCriticalSection section; }
    EXPECT_TRUE(capture.lines().empty());
}

TEST(CVXCriticalSection, FailedDestructionIsLoggedAsCritical) {
    CLogCapture capture;
    // The C library refuses to destroy a locked mutex (EBUSY). The storage is left as it is.
    alignas(CVXCriticalSection) unsigned char storage[sizeof(CVXCriticalSection)];
    auto* section = new (storage) CVXCriticalSection();
    section->Lock();
    section->~CVXCriticalSection();

    const std::vector<CLoggedLine> lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].severity, 1);
    EXPECT_EQ(lines[0].text,
              processLine("Failed to destroy CVXCriticalSection: error=" + std::to_string(EBUSY)));
}

} // namespace
