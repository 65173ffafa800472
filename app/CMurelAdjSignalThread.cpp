#include "app/CMurelAdjSignalThread.h"

#include "app/CMurelAdjLog.h"
#include "foundation/platform/VXAtomic.h"
#include "foundation/platform/VXPlatformThread.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

volatile uint32_t terminationRequests = 0;

namespace {

// Constructed during static initialisation and never destroyed: its thread is never joined, may
// not even have called run() yet when main returns, and ends only with the process.
alignas(CMurelAdjSignalThread) unsigned char s_signalThreadStorage[sizeof(CMurelAdjSignalThread)];
CMurelAdjSignalThread* const s_signalThread = new (s_signalThreadStorage) CMurelAdjSignalThread;

// Queued by main for the thread, with the thread object as value, to have it take what is pending;
// neither counted nor logged. The same signal sent otherwise is logged as any other. A real-time
// signal: each one queued is delivered, none is lost to one of the same number already pending.
int wakeUpSignal() {
    return SIGRTMIN;
}

bool isWakeUp(int signalNumber, const siginfo_t& info, const CMurelAdjSignalThread* thread) {
    return signalNumber == wakeUpSignal() && VXPlatformSignalQueuedHere(info, thread);
}

[[noreturn]] void failWait() {
    const int error = errno;
    CMurelAdjLog::error("failed sigwaitinfo, errno: <%d|%s>", error, strerror(error));
    exit(EXIT_FAILURE);
}

} // namespace

void CMurelAdjSignalThread::watchedSignals(sigset_t* set) {
    static constexpr int FAULT_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL,
                                            SIGTRAP, SIGSYS, SIGABRT};
    sigfillset(set);
    for (const int fault : FAULT_SIGNALS) {
        sigdelset(set, fault);
    }
}

CMurelAdjSignalThread::CMurelAdjSignalThread() {
    // A process-directed signal goes to any thread that does not block it, so the main thread must
    // block them too, or a SIGTERM would end the process before this thread could count it.
    sigset_t watched;
    sigset_t previous;
    watchedSignals(&watched);
    const bool blocked = pthread_sigmask(SIG_BLOCK, &watched, &previous) == 0;
    m_thread = VXThreadCreate(this, 0, PRIORITY, STACK_SIZE);
    if (m_thread == 0 && blocked) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
}

void CMurelAdjSignalThread::run() {
    sigset_t watched;
    watchedSignals(&watched);
    pthread_sigmask(SIG_BLOCK, &watched, nullptr);
    for (;;) {
        siginfo_t info;
        const int signalNumber = sigwaitinfo(&watched, &info);
        if (signalNumber == -1) {
            // A stop and continue of the process interrupts the wait; it is no failure.
            if (errno == EINTR) {
                continue;
            }
            failWait();
        }
        if (!isWakeUp(signalNumber, info, this)) {
            take(signalNumber);
        } else if (!answer(watched)) {
            // Parked until the process ends: signals from now on stay pending.
            pthread_mutex_lock(&m_mutex);
            for (;;) {
                pthread_cond_wait(&m_answered, &m_mutex);
            }
        }
    }
}

void CMurelAdjSignalThread::take(int signalNumber) {
    if (signalNumber == SIGINT || signalNumber == SIGTERM) {
        VXAtomicAdd(&terminationRequests, 1);
    }
    CMurelAdjLog::info("got signal %d %s, %s", signalNumber, strsignal(signalNumber), "ignored");
}

bool CMurelAdjSignalThread::answer(const sigset_t& watched) {
    // Every signal sent before the request was taken before the wake-up or is pending now: the
    // kernel may hand out the wake-up, sent to this thread, ahead of the process's signals.
    static constexpr timespec NO_WAIT = {0, 0};
    for (;;) {
        siginfo_t info;
        const int signalNumber = sigtimedwait(&watched, &info, &NO_WAIT);
        if (signalNumber == -1) {
            if (errno == EAGAIN) {
                break;
            }
            if (errno != EINTR) {
                failWait();
            }
        } else if (!isWakeUp(signalNumber, info, this)) {
            take(signalNumber);
        }
    }
    pthread_mutex_lock(&m_mutex);
    m_answers = m_requests;
    const bool last = m_last;
    pthread_cond_broadcast(&m_answered);
    pthread_mutex_unlock(&m_mutex);
    return !last;
}

void CMurelAdjSignalThread::request(bool last) {
    if (m_thread == 0) {
        return;
    }
    pthread_mutex_lock(&m_mutex);
    if (m_last) {
        // The thread takes nothing any more.
        pthread_mutex_unlock(&m_mutex);
        return;
    }
    const uint32_t request = ++m_requests;
    m_last = last;
    pthread_mutex_unlock(&m_mutex);
    if (VXPlatformThreadQueueSignal(m_thread, wakeUpSignal(), this) != 0) {
        return;
    }
    pthread_mutex_lock(&m_mutex);
    while (m_answers != request) {
        pthread_cond_wait(&m_answered, &m_mutex);
    }
    pthread_mutex_unlock(&m_mutex);
}

void CMurelAdjSignalThread::takePendingSignals() {
    s_signalThread->request(false);
}

void CMurelAdjSignalThread::takeLastSignals() {
    s_signalThread->request(true);
}
