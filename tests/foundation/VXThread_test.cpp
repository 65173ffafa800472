// Thread start and priorities. The critical section's exclusion shows in the backtrace writer's
// concurrent reports.
#include "foundation/VXThread.h"

#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

#include <pthread.h>

namespace {

// Records the thread and scheduling it runs with, then waits until released.
struct CRecordingRunnable : CVXRunnable {
    void run() override {
        pthread_getschedparam(pthread_self(), &policy, &param);
        thread = pthread_self();
        ++runs;
        held.wait(true);
    }
    std::atomic<bool> held{true};
    int runs = 0;
    pthread_t thread{};
    int policy = -1;
    sched_param param{};
};

// Stand-in for the kernel's thread creation: g_failures failures with g_failure, then the real one.
int g_createCalls = 0;
int g_failures = 0;
int g_failure = 0;
int failingThenCreate(uint64_t* thread, VXPlatformThreadEntry entry, void* argument,
                      const VXPlatformThreadAttributes* attributes) {
    ++g_createCalls;
    return g_failures-- > 0 ? g_failure
                            : VXPlatformThreadCreate(thread, entry, argument, attributes);
}

int unreadableSchedParam(sched_param* /*param*/) {
    return -1;
}

// An interrupted creation is repeated, other failures end the start; a stack size below the
// minimum is raised to it. The thread runs its object once, with the creator's policy and priority.
TEST(VXThreadCreate, EachThreadRunsItsObjectOnceAndFailuresEndTheStart) {
    int policy = 0;
    sched_param creator{};
    ASSERT_EQ(pthread_getschedparam(pthread_self(), &policy, &creator), 0);
    // parameter reader, creation failure, failures before success, stack size, creation calls
    const std::tuple<int (*)(sched_param*), int, int, uint32_t, int> rows[] = {
        {VXPlatformSchedGetParam, EINTR, 2, 0, 3},
        {VXPlatformSchedGetParam, EINTR, 0, 1, 1},
        {VXPlatformSchedGetParam, EAGAIN, 1, 0, 1},
        {unreadableSchedParam, EINTR, 0, 0, 0}};
    for (const auto& [schedGetParam, failure, failures, stackSize, createCalls] : rows) {
        g_createCalls = 0;
        g_failures = failures;
        g_failure = failure;
        CRecordingRunnable runnable;
        const VXThreadId thread =
            VXThreadCreateWith({schedGetParam, failingThenCreate}, &runnable, 0, -1, stackSize);
        EXPECT_EQ(g_createCalls, createCalls);
        EXPECT_EQ(thread != 0, failure == EINTR && createCalls != 0);
        if (thread != 0) {
            // Only priority 0 for the time-sharing policy: 10 is refused, the previous reported.
            EXPECT_EQ(VXThreadSetPriority(thread, 10) + VXThreadGetPriority(thread),
                      policy == SCHED_OTHER ? 0 : 2 * creator.sched_priority);
            runnable.held = false;
            runnable.held.notify_one();
            EXPECT_TRUE(VXThreadJoin(thread));
            EXPECT_TRUE(pthread_equal(runnable.thread, static_cast<pthread_t>(thread)));
            EXPECT_EQ(runnable.runs * 1000 + runnable.policy * 100 + runnable.param.sched_priority,
                      1000 + policy * 100 + creator.sched_priority);
        }
    }
    EXPECT_EQ(VXThreadSetPriority(0, 10) + VXThreadGetPriority(0) - VXThreadJoin(0), -2);
    SlogCapture log;
    EXPECT_EQ(VXThreadCreate(nullptr, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE), 0u);
    EXPECT_EQ(countAssertionReports(log.take(), "VXThread", "Invalid parameter"), 1);
}

} // namespace
