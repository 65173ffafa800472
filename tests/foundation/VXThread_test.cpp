// Thread start, priorities, and the critical section's exclusion and failure report.
#include "foundation/VXThread.h"

#include "foundation/CVXCriticalSection.h"
#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <new>
#include <pthread.h>
#include <sched.h>
#include <thread>

namespace {

// A thread object that records the thread and scheduling it runs with, then waits until released.
struct CRecordingRunnable : CVXRunnable {
    void run() override {
        pthread_getschedparam(pthread_self(), &policy, &param);
        thread = pthread_self();
        runs.fetch_add(1);
        runs.notify_all(); // publishes the fields above
        held.wait(true);
    }
    // Waits for run() to start.
    CRecordingRunnable& started() {
        runs.wait(0);
        return *this;
    }
    // Lets run() return, joins its thread and gives the number of runs.
    int finish(VXThreadId id) {
        held = false;
        held.notify_all();
        EXPECT_TRUE(VXThreadJoin(id));
        return runs.load();
    }

    std::atomic<int> runs{0};
    std::atomic<bool> held{true};
    pthread_t thread{};
    int policy = -1;
    sched_param param{};
};

TEST(VXThreadCreate, EachThreadRunsItsObjectOnceWithTheInheritedPolicyAndPriority) {
    int policy = 0;
    sched_param creator{};
    ASSERT_EQ(pthread_getschedparam(pthread_self(), &policy, &creator), 0);
    for (const uint32_t stackSize : {0u, 1u, 4096u, VX_THREAD_DEFAULT_STACK_SIZE}) {
        CRecordingRunnable runnable; // below the platform minimum, the stack size is raised
        const VXThreadId thread = VXThreadCreate(&runnable, 0, -1, stackSize);
        ASSERT_NE(thread, 0u) << stackSize;
        runnable.started();
        EXPECT_TRUE(pthread_equal(runnable.thread, static_cast<pthread_t>(thread)));
        EXPECT_EQ(runnable.policy, policy);
        EXPECT_EQ(runnable.param.sched_priority, creator.sched_priority);
        if (policy == SCHED_OTHER) { // only priority 0: 10 is refused, the previous one reported
            EXPECT_EQ(VXThreadSetPriority(thread, 10), 0);
            EXPECT_EQ(VXThreadGetPriority(thread), 0);
        }
        EXPECT_EQ(runnable.finish(thread), 1);
    }
    EXPECT_EQ(VXThreadSetPriority(0, 10), -1);
    EXPECT_EQ(VXThreadGetPriority(0), -1);
    EXPECT_FALSE(VXThreadJoin(0));
    const TempDir reports;
    ScopedEnvironment reportDirectory("VX_ASSERTION_BACKTRACE_DIR", reports.path().c_str());
    SlogCapture log;
    EXPECT_EQ(VXThreadCreate(nullptr, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE), 0u);
    EXPECT_EQ(countAssertionReports(log.take(), "VXThread", "Invalid parameter"), 1);
}

TEST(VXThreadCreate, RealTimeCreatorPassesItsPolicyOnAndPrioritiesChange) {
    bool privileged = false;
    std::thread creator([&privileged] { // a creator of its own, put under SCHED_RR
        sched_param param{};
        param.sched_priority = 7;
        privileged = pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0;
        for (const int32_t priority : {-1, VX_THREAD_DEFAULT_PRIORITY}) {
            if (!privileged) {
                return;
            }
            CRecordingRunnable runnable;
            const VXThreadId thread =
                VXThreadCreate(&runnable, 0, priority, VX_THREAD_DEFAULT_STACK_SIZE);
            runnable.started();
            EXPECT_EQ(runnable.policy, SCHED_RR);
            if (priority == -1) {
                EXPECT_EQ(runnable.param.sched_priority, 7);
            } else { // 10 once started
                EXPECT_EQ(VXThreadSetPriority(thread, 6), 10);
                EXPECT_EQ(VXThreadSetPriority(thread, 1000), 6); // out of range: refused
                EXPECT_EQ(VXThreadGetPriority(thread), 6);
            }
            runnable.finish(thread);
        }
    });
    creator.join();
    if (!privileged) {
        GTEST_SKIP() << "no privilege for real-time scheduling";
    }
}

// Stand-ins for the kernel calls behind VXThreadCreate.
std::atomic<int> g_createCalls{0};
std::atomic<int> g_failures{0};
int g_failure = 0;

int failingThenCreate(uint64_t* thread, VXPlatformThreadEntry entry, void* argument,
                      const VXPlatformThreadAttributes* attributes) {
    ++g_createCalls;
    return g_failures-- > 0 ? g_failure
                            : VXPlatformThreadCreate(thread, entry, argument, attributes);
}

int unreadableSchedParam(sched_param* /*param*/) {
    errno = EPERM;
    return -1;
}

TEST(VXThreadCreateWith, InterruptedCreationIsRepeatedAndOtherFailuresEndTheStart) {
    // parameter reader, creation failure, failures before success, creation calls, runs
    const std::tuple<int (*)(sched_param*), int, int, int, int> rows[] = {
        {VXPlatformSchedGetParam, EINTR, 2, 3, 1},
        {VXPlatformSchedGetParam, EAGAIN, 1, 1, 0},
        {unreadableSchedParam, EINTR, 0, 0, 0}};
    for (const auto& [schedGetParam, failure, failures, createCalls, runs] : rows) {
        g_createCalls = 0;
        g_failures = failures;
        g_failure = failure;
        CRecordingRunnable runnable;
        const VXThreadId thread = VXThreadCreateWith({schedGetParam, failingThenCreate}, &runnable,
                                                     0, -1, VX_THREAD_DEFAULT_STACK_SIZE);
        EXPECT_EQ(thread != 0 ? runnable.finish(thread) : 0, runs) << failure;
        EXPECT_EQ(g_createCalls.load(), createCalls);
    }
}

TEST(CVXCriticalSection, ExcludesContendingThreads) {
    CVXCriticalSection section;
    long counter = 0; // a plain counter: increments of overlapping holders get lost
    const auto contend = [&section, &counter] {
        for (int round = 0; round < 20000; ++round) {
            CVXCriticalSectionLock hold(section);
            const long value = counter;
            if (round % 64 == 0) {
                std::this_thread::yield();
            }
            counter = value + 1;
        }
    };
    std::thread threads[4] = {std::thread(contend), std::thread(contend), std::thread(contend),
                              std::thread(contend)};
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 4L * 20000);
}

TEST(CVXCriticalSection, FailedDestructionIsLoggedAsCritical) {
    SlogCapture log;
    { CVXCriticalSection fine; } // a successful destruction logs nothing
    // The C library refuses to destroy a locked mutex (EBUSY). The storage is left as it is.
    alignas(CVXCriticalSection) unsigned char storage[sizeof(CVXCriticalSection)];
    auto* section = new (storage) CVXCriticalSection();
    section->Lock();
    section->~CVXCriticalSection();
    EXPECT_EQ(log.take(), std::vector<SlogLine>{processLine(
                              VX_SLOG_CRITICAL, "Failed to destroy CVXCriticalSection: error=" +
                                                    std::to_string(EBUSY))});
}

} // namespace
