#include "app/CMurelAdjSignalThread.h"

#include "app/CMurelAdjLog.h"
#include "foundation/platform/VXAtomic.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <pthread.h>

volatile uint32_t terminationRequests = 0;

namespace {

// Constructed during static initialisation and never destroyed: its thread is never joined, may
// not even have called run() yet when main returns, and ends only with the process.
alignas(CMurelAdjSignalThread) unsigned char s_signalThreadStorage[sizeof(CMurelAdjSignalThread)];
[[maybe_unused]] CMurelAdjSignalThread* const s_signalThread =
    new (s_signalThreadStorage) CMurelAdjSignalThread;

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
            const int error = errno;
            CMurelAdjLog::error("failed sigwaitinfo, errno: <%d|%s>", error, strerror(error));
            exit(EXIT_FAILURE);
        }
        if (signalNumber == SIGINT || signalNumber == SIGTERM) {
            VXAtomicAdd(&terminationRequests, 1);
        }
        CMurelAdjLog::info("got signal %d %s, %s", signalNumber, strsignal(signalNumber),
                           "ignored");
    }
}
