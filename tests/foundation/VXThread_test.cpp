// Thread start, thread objects and priorities.
#include "foundation/VXThread.h"

#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

namespace {

// A thread object that records the thread and scheduling it runs with, then waits until released.
struct CRecordingRunnable : CVXRunnable {
    explicit CRecordingRunnable(bool hold = true) : held(hold) {}
    void run() override {
        pthread_getschedparam(pthread_self(), &policy, &param);
        thread = pthread_self();
        runs.fetch_add(1); // publishes the fields above
        while (held.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // Waits up to 10 seconds for run() to start; true when it did.
    bool started() {
        for (int i = 0; i < 10000 && runs.load() == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return runs.load() > 0;
    }
    // Lets run() return, joins its thread and gives the number of runs.
    int finish(VXThreadId id) {
        held = false;
        EXPECT_TRUE(VXThreadJoin(id));
        return runs.load();
    }

    std::atomic<int> runs{0};
    std::atomic<bool> held;
    pthread_t thread{};
    int policy = -1;
    sched_param param{};
};

VXThreadId start(CRecordingRunnable& runnable, int32_t priority = -1,
                 uint32_t stackSize = VX_THREAD_DEFAULT_STACK_SIZE) {
    return VXThreadCreate(&runnable, 0, priority, stackSize);
}

TEST(VXThreadCreate, EachThreadRunsItsObjectExactlyOnce) {
    // Stack sizes of 0 and below the platform minimum still start.
    const uint32_t stackSizes[] = {0u, 1u, 4096u, VX_THREAD_DEFAULT_STACK_SIZE};
    CRecordingRunnable runnables[4];
    VXThreadId threads[4] = {};
    for (int i = 0; i < 4; ++i) {
        threads[i] = start(runnables[i], -1, stackSizes[i]);
        ASSERT_NE(threads[i], 0u);
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(runnables[i].started());
        EXPECT_TRUE(pthread_equal(runnables[i].thread, static_cast<pthread_t>(threads[i])));
        EXPECT_FALSE(pthread_equal(runnables[i].thread, pthread_self()));
        EXPECT_EQ(runnables[i].finish(threads[i]), 1);
    }

    const TempDir reports;
    ScopedEnvironment reportDirectory("VX_ASSERTION_BACKTRACE_DIR", reports.path().c_str());
    SlogCapture log;
    EXPECT_EQ(VXThreadCreate(nullptr, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE), 0u);
    EXPECT_EQ(countAssertionReports(log.lines(), "VXThread", "Invalid parameter"), 1);
}

TEST(VXThreadCreate, PriorityMinusOneKeepsTheInheritedPolicyAndPriority) {
    int policy = 0;
    sched_param creator{};
    ASSERT_EQ(pthread_getschedparam(pthread_self(), &policy, &creator), 0);
    CRecordingRunnable runnable;
    const VXThreadId thread = start(runnable);
    ASSERT_NE(thread, 0u);
    EXPECT_TRUE(runnable.started());
    EXPECT_EQ(runnable.policy, policy);
    EXPECT_EQ(runnable.param.sched_priority, creator.sched_priority);
    if (policy == SCHED_OTHER) {
        // Linux's time-sharing policy has priority 0 only: 10 is refused, but the caller still
        // learns the previous priority.
        EXPECT_EQ(VXThreadSetPriority(thread, 10), 0);
        EXPECT_EQ(VXThreadGetPriority(thread), 0);
    }
    runnable.finish(thread);
}

TEST(VXThreadCreate, RealTimeCreatorPassesItsPolicyOnAndPrioritiesChange) {
    bool privileged = false;
    std::thread creator([&privileged] { // a creator of its own, put under SCHED_RR
        sched_param param{};
        param.sched_priority = 7;
        privileged = pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0;
        if (!privileged) {
            return;
        }
        CRecordingRunnable inherited;
        const VXThreadId inheritedThread = start(inherited);
        EXPECT_TRUE(inherited.started());
        EXPECT_EQ(inherited.policy, SCHED_RR);
        EXPECT_EQ(inherited.param.sched_priority, 7);
        inherited.finish(inheritedThread);

        // With priority 10 the thread runs at 10 once started (the start itself inherits 7).
        CRecordingRunnable raised;
        const VXThreadId thread = start(raised, VX_THREAD_DEFAULT_PRIORITY);
        EXPECT_TRUE(raised.started());
        EXPECT_EQ(VXThreadGetPriority(thread), 10);
        EXPECT_EQ(VXThreadSetPriority(thread, 6), 10);
        EXPECT_EQ(VXThreadSetPriority(thread, 1000), 6); // out of range: refused, previous reported
        EXPECT_EQ(VXThreadGetPriority(thread), 6);
        int policy = 0;
        EXPECT_EQ(pthread_getschedparam(static_cast<pthread_t>(thread), &policy, &param), 0);
        EXPECT_EQ(policy, SCHED_RR);
        raised.finish(thread);
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
        SCOPED_TRACE(failure);
        g_createCalls = 0;
        g_failures = failures;
        g_failure = failure;
        CRecordingRunnable runnable(false);
        const VXThreadId thread = VXThreadCreateWith({schedGetParam, failingThenCreate}, &runnable,
                                                     0, -1, VX_THREAD_DEFAULT_STACK_SIZE);
        EXPECT_EQ(thread != 0 ? runnable.finish(thread) : 0, runs);
        EXPECT_EQ(g_createCalls.load(), createCalls);
    }
}

TEST(VXThreadSetPriority, MissingAndEndedThreadsGiveMinusOne) {
    EXPECT_EQ(VXThreadSetPriority(0, 10), -1);
    EXPECT_EQ(VXThreadGetPriority(0), -1);
    EXPECT_FALSE(VXThreadJoin(0));

    // The id of a thread that is not joined stays usable after its body returned; its scheduling
    // parameters can then no longer be read.
    CRecordingRunnable runnable(false);
    const VXThreadId thread = start(runnable);
    ASSERT_NE(thread, 0u);
    int32_t priority = 0;
    for (int attempt = 0; attempt < 5000 && priority != -1; ++attempt) {
        priority = VXThreadGetPriority(thread);
        std::this_thread::sleep_for(std::chrono::milliseconds(priority != -1 ? 1 : 0));
    }
    EXPECT_EQ(priority, -1);
    EXPECT_EQ(VXThreadSetPriority(thread, 10), -1);
    EXPECT_EQ(runnable.finish(thread), 1);
}

} // namespace
