// Linux stand-ins for the kernel thread calls: POSIX threads.
#include "foundation/platform/VXPlatformThread.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <type_traits>

static_assert(std::is_integral_v<pthread_t> && sizeof(pthread_t) <= sizeof(uint64_t),
              "thread ids are kept as 64-bit integers");

static pthread_t toPthread(uint64_t thread) {
    return static_cast<pthread_t>(thread);
}

// The requested stack size raised to the platform minimum and rounded up to whole pages.
static size_t platformStackSize(uint32_t requested) {
    size_t size = requested;
    long minimum = sysconf(_SC_THREAD_STACK_MIN);
    if (minimum <= 0) {
        minimum = static_cast<long>(PTHREAD_STACK_MIN);
    }
    if (size < static_cast<size_t>(minimum)) {
        size = static_cast<size_t>(minimum);
    }
    const long page = sysconf(_SC_PAGESIZE);
    if (page > 0) {
        const size_t pageSize = static_cast<size_t>(page);
        size = (size + pageSize - 1) / pageSize * pageSize;
    }
    return size;
}

int VXPlatformThreadCreate(uint64_t* thread, VXPlatformThreadEntry entry, void* argument,
                           const VXPlatformThreadAttributes* attributes) {
    if (thread == nullptr || entry == nullptr) {
        return EINVAL;
    }
    pthread_attr_t attr;
    int result = pthread_attr_init(&attr);
    if (result != 0) {
        return result;
    }
    if (attributes != nullptr) {
        // The new thread inherits the creator's policy and priority (the default of
        // PTHREAD_INHERIT_SCHED); the copied parameters are recorded for completeness.
        if (attributes->stackSize != 0) {
            result = pthread_attr_setstacksize(&attr, platformStackSize(attributes->stackSize));
        }
        if (result == 0) {
            result = pthread_attr_setinheritsched(&attr, PTHREAD_INHERIT_SCHED);
        }
    }
    pthread_t created{};
    if (result == 0) {
        result = pthread_create(&created, &attr, entry, argument);
    }
    pthread_attr_destroy(&attr);
    if (result == 0) {
        *thread = static_cast<uint64_t>(created);
    }
    return result;
}

int VXPlatformThreadJoin(uint64_t thread) {
    if (thread == 0) {
        return ESRCH;
    }
    return pthread_join(toPthread(thread), nullptr);
}

int VXPlatformSchedGetParam(sched_param* param) {
    return sched_getparam(0, param);
}

int VXPlatformSchedGet(uint64_t thread, int* policy, sched_param* param) {
    if (thread == 0 || policy == nullptr || param == nullptr) {
        return EINVAL;
    }
    return pthread_getschedparam(toPthread(thread), policy, param);
}

int VXPlatformSchedSet(uint64_t thread, int policy, const sched_param* param) {
    if (thread == 0 || param == nullptr) {
        return EINVAL;
    }
    return pthread_setschedparam(toPthread(thread), policy, param);
}

uint64_t VXPlatformThreadSelf() {
    return static_cast<uint64_t>(pthread_self());
}

int VXPlatformThreadQueueSignal(uint64_t thread, int signalNumber, void* value) {
    if (thread == 0) {
        return ESRCH;
    }
    sigval signalValue{};
    signalValue.sival_ptr = value;
    return pthread_sigqueue(toPthread(thread), signalNumber, signalValue);
}

bool VXPlatformSignalQueuedHere(const siginfo_t& info, const void* value) {
    return info.si_code == SI_QUEUE && info.si_pid == getpid() && info.si_value.sival_ptr == value;
}
