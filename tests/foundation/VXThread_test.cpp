// Thread start, thread objects and priorities.
#include "foundation/VXThread.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// A thread object that records how it was run and can be held inside run() until released.
class CRecordingRunnable : public CVXRunnable {
public:
    explicit CRecordingRunnable(bool holdUntilReleased = false) : m_hold(holdUntilReleased) {}

    void run() override {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            ++m_runCount;
            m_self = this;
            m_thread = pthread_self();
            int policy = 0;
            sched_param param{};
            if (pthread_getschedparam(pthread_self(), &policy, &param) == 0) {
                m_policyAtStart = policy;
                m_priorityAtStart = param.sched_priority;
            }
            m_started = true;
        }
        m_changed.notify_all();
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_hold || m_released; });
    }

    void waitUntilStarted() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_started; });
    }
    void release() {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_released = true;
        }
        m_changed.notify_all();
    }

    int runCount() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_runCount;
    }
    CVXRunnable* self() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_self;
    }
    pthread_t thread() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_thread;
    }
    int policyAtStart() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_policyAtStart;
    }
    int priorityAtStart() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_priorityAtStart;
    }

private:
    bool m_hold;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_started = false;
    bool m_released = false;
    int m_runCount = 0;
    CVXRunnable* m_self = nullptr;
    pthread_t m_thread{};
    int m_policyAtStart = -1;
    int m_priorityAtStart = -1;
};

// Puts the calling thread under a real-time policy for a scope (needs privilege).
class CRealTimeScope {
public:
    CRealTimeScope(int policy, int priority) {
        m_saved = pthread_getschedparam(pthread_self(), &m_savedPolicy, &m_savedParam) == 0;
        sched_param param{};
        param.sched_priority = priority;
        m_active = m_saved && pthread_setschedparam(pthread_self(), policy, &param) == 0;
    }
    ~CRealTimeScope() {
        if (m_active) {
            pthread_setschedparam(pthread_self(), m_savedPolicy, &m_savedParam);
        }
    }
    CRealTimeScope(const CRealTimeScope&) = delete;
    CRealTimeScope& operator=(const CRealTimeScope&) = delete;
    bool active() const { return m_active; }

private:
    bool m_saved = false;
    bool m_active = false;
    int m_savedPolicy = 0;
    sched_param m_savedParam{};
};

TEST(VXThreadCreate, RunsTheObjectExactlyOnceOnANewThread) {
    CRecordingRunnable runnable;
    const VXThreadId thread = VXThreadCreate(&runnable, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE);
    ASSERT_NE(thread, 0u);
    ASSERT_TRUE(VXThreadJoin(thread));

    EXPECT_EQ(runnable.runCount(), 1);
    EXPECT_EQ(runnable.self(), &runnable);
    EXPECT_FALSE(pthread_equal(runnable.thread(), pthread_self()));
    EXPECT_TRUE(pthread_equal(runnable.thread(), static_cast<pthread_t>(thread)));
}

TEST(VXThreadCreate, SeveralThreadsEachRunTheirOwnObject) {
    CRecordingRunnable first;
    CRecordingRunnable second;
    const VXThreadId firstThread = VXThreadCreate(&first, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE);
    const VXThreadId secondThread = VXThreadCreate(&second, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE);
    ASSERT_NE(firstThread, 0u);
    ASSERT_NE(secondThread, 0u);
    EXPECT_NE(firstThread, secondThread);
    ASSERT_TRUE(VXThreadJoin(firstThread));
    ASSERT_TRUE(VXThreadJoin(secondThread));
    EXPECT_EQ(first.runCount(), 1);
    EXPECT_EQ(second.runCount(), 1);
    EXPECT_EQ(first.self(), &first);
    EXPECT_EQ(second.self(), &second);
}

TEST(VXThreadCreate, StackSizesBelowThePlatformMinimumAndZeroStillStart) {
    for (const uint32_t stackSize : {0u, 1u, 4096u, 65536u}) {
        CRecordingRunnable runnable;
        const VXThreadId thread = VXThreadCreate(&runnable, 0, -1, stackSize);
        ASSERT_NE(thread, 0u) << "stack size " << stackSize;
        ASSERT_TRUE(VXThreadJoin(thread));
        EXPECT_EQ(runnable.runCount(), 1);
    }
}

TEST(VXThreadCreate, MissingObjectGivesNoThread) {
    EXPECT_EQ(VXThreadCreate(nullptr, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE), 0u);
}

TEST(VXThreadCreate, PriorityMinusOneKeepsTheInheritedPriority) {
    CRecordingRunnable runnable(true);
    int policy = 0;
    sched_param creator{};
    ASSERT_EQ(pthread_getschedparam(pthread_self(), &policy, &creator), 0);

    const VXThreadId thread = VXThreadCreate(&runnable, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE);
    ASSERT_NE(thread, 0u);
    runnable.waitUntilStarted();
    EXPECT_EQ(runnable.policyAtStart(), policy);
    EXPECT_EQ(runnable.priorityAtStart(), creator.sched_priority);
    EXPECT_EQ(VXThreadGetPriority(thread), creator.sched_priority);
    runnable.release();
    ASSERT_TRUE(VXThreadJoin(thread));
}

TEST(VXThreadCreate, RealTimeCreatorPassesItsPolicyAndPriorityOn) {
    CRealTimeScope realTime(SCHED_RR, 7);
    if (!realTime.active()) {
        GTEST_SKIP() << "no privilege for real-time scheduling";
    }
    CRecordingRunnable inherited(true);
    const VXThreadId inheritedThread =
        VXThreadCreate(&inherited, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE);
    ASSERT_NE(inheritedThread, 0u);
    inherited.waitUntilStarted();
    EXPECT_EQ(inherited.policyAtStart(), SCHED_RR);
    EXPECT_EQ(inherited.priorityAtStart(), 7);
    inherited.release();
    ASSERT_TRUE(VXThreadJoin(inheritedThread));

    // With priority 10 the thread runs at 10 once started (the start itself inherits 7).
    CRecordingRunnable raised(true);
    const VXThreadId raisedThread =
        VXThreadCreate(&raised, 0, VX_THREAD_DEFAULT_PRIORITY, VX_THREAD_DEFAULT_STACK_SIZE);
    ASSERT_NE(raisedThread, 0u);
    raised.waitUntilStarted();
    EXPECT_EQ(VXThreadGetPriority(raisedThread), 10);
    raised.release();
    ASSERT_TRUE(VXThreadJoin(raisedThread));
}

// Stand-ins for the kernel calls behind VXThreadCreate.
std::atomic<int> g_createCalls{0};
std::atomic<int> g_interruptions{0};

int interruptedThenCreate(uint64_t* thread, VXPlatformThreadEntry entry, void* argument,
                          const VXPlatformThreadAttributes* attributes) {
    ++g_createCalls;
    if (g_interruptions > 0) {
        --g_interruptions;
        return EINTR;
    }
    return VXPlatformThreadCreate(thread, entry, argument, attributes);
}

int outOfResources(uint64_t* /*thread*/, VXPlatformThreadEntry /*entry*/, void* /*argument*/,
                   const VXPlatformThreadAttributes* /*attributes*/) {
    ++g_createCalls;
    return EAGAIN;
}

int unreadableSchedParam(sched_param* /*param*/) {
    errno = EPERM;
    return -1;
}

TEST(VXThreadCreateWith, InterruptedCreationIsRepeated) {
    g_createCalls = 0;
    g_interruptions = 2;
    CRecordingRunnable runnable;
    const VXThreadPlatformCalls calls = {VXPlatformSchedGetParam, interruptedThenCreate};
    const VXThreadId thread =
        VXThreadCreateWith(calls, &runnable, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE);
    ASSERT_NE(thread, 0u);
    ASSERT_TRUE(VXThreadJoin(thread));
    EXPECT_EQ(g_createCalls.load(), 3);
    EXPECT_EQ(runnable.runCount(), 1);
}

TEST(VXThreadCreateWith, OtherCreationErrorsFailAtOnce) {
    g_createCalls = 0;
    CRecordingRunnable runnable;
    const VXThreadPlatformCalls calls = {VXPlatformSchedGetParam, outOfResources};
    EXPECT_EQ(VXThreadCreateWith(calls, &runnable, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE), 0u);
    EXPECT_EQ(g_createCalls.load(), 1);
    EXPECT_EQ(runnable.runCount(), 0);
}

TEST(VXThreadCreateWith, UnreadableSchedulingParametersFailBeforeCreating) {
    g_createCalls = 0;
    g_interruptions = 0;
    CRecordingRunnable runnable;
    const VXThreadPlatformCalls calls = {unreadableSchedParam, interruptedThenCreate};
    EXPECT_EQ(VXThreadCreateWith(calls, &runnable, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE), 0u);
    EXPECT_EQ(g_createCalls.load(), 0);
}

TEST(VXThreadSetPriority, RefusedChangeStillReturnsThePreviousPriority) {
    // Under the time-sharing policy Linux has priority 0 only: 10 is refused and the thread keeps
    // 0, but the caller still learns the previous priority.
    int policy = 0;
    sched_param param{};
    ASSERT_EQ(pthread_getschedparam(pthread_self(), &policy, &param), 0);
    if (policy != SCHED_OTHER) {
        GTEST_SKIP() << "test thread does not run under the time-sharing policy";
    }
    CRecordingRunnable runnable(true);
    const VXThreadId thread = VXThreadCreate(&runnable, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE);
    ASSERT_NE(thread, 0u);
    runnable.waitUntilStarted();
    EXPECT_EQ(VXThreadSetPriority(thread, 10), 0);
    EXPECT_EQ(VXThreadGetPriority(thread), 0);
    runnable.release();
    ASSERT_TRUE(VXThreadJoin(thread));
}

TEST(VXThreadSetPriority, ReturnsThePreviousPriorityOfARealTimeThread) {
    CRealTimeScope realTime(SCHED_FIFO, 5);
    if (!realTime.active()) {
        GTEST_SKIP() << "no privilege for real-time scheduling";
    }
    CRecordingRunnable runnable(true);
    const VXThreadId thread = VXThreadCreate(&runnable, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE);
    ASSERT_NE(thread, 0u);
    runnable.waitUntilStarted();
    EXPECT_EQ(VXThreadSetPriority(thread, 10), 5);
    EXPECT_EQ(VXThreadGetPriority(thread), 10);
    EXPECT_EQ(VXThreadSetPriority(thread, 6), 10);
    EXPECT_EQ(VXThreadGetPriority(thread), 6);
    // Out of the policy's range: refused, the previous priority is still reported.
    EXPECT_EQ(VXThreadSetPriority(thread, 1000), 6);
    EXPECT_EQ(VXThreadGetPriority(thread), 6);
    int policy = 0;
    sched_param param{};
    ASSERT_EQ(pthread_getschedparam(static_cast<pthread_t>(thread), &policy, &param), 0);
    EXPECT_EQ(policy, SCHED_FIFO);
    runnable.release();
    ASSERT_TRUE(VXThreadJoin(thread));
}

TEST(VXThreadSetPriority, NoThreadGivesMinusOne) {
    EXPECT_EQ(VXThreadSetPriority(0, 10), -1);
    EXPECT_EQ(VXThreadGetPriority(0), -1);
    EXPECT_FALSE(VXThreadJoin(0));
}

TEST(VXThreadSetPriority, EndedThreadReportsMinusOneUntilJoined) {
    CRecordingRunnable runnable;
    const VXThreadId thread = VXThreadCreate(&runnable, 0, -1, VX_THREAD_DEFAULT_STACK_SIZE);
    ASSERT_NE(thread, 0u);
    // The id of a thread that is not joined stays usable after its body returned; its scheduling
    // parameters can then no longer be read.
    int32_t priority = 0;
    for (int attempt = 0; attempt < 5000 && priority != -1; ++attempt) {
        priority = VXThreadGetPriority(thread);
        if (priority != -1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    EXPECT_EQ(priority, -1);
    EXPECT_EQ(VXThreadSetPriority(thread, 10), -1);
    ASSERT_TRUE(VXThreadJoin(thread));
    EXPECT_EQ(runnable.runCount(), 1);
}

} // namespace
