// Thread start and priority changes over the kernel thread calls.
#include "foundation/VXThread.h"

#include "foundation/VXAssert.h"

#include <cerrno>

static void* runThreadObject(void* argument) {
    static_cast<CVXRunnable*>(argument)->run();
    return nullptr;
}

VXThreadId VXThreadCreateWith(const VXThreadPlatformCalls& calls, CVXRunnable* object,
                              uint32_t flags, int32_t priority, uint32_t stackSize) {
    if (object == nullptr) {
        VXAssertionFailed(__LINE__, "VXThread", "Invalid parameter");
        return 0;
    }
    VXPlatformThreadAttributes attributes;
    attributes.flags = flags;
    attributes.stackSize = stackSize;
    attributes.policy = 0;
    if (calls.schedGetParam(&attributes.param) != 0) {
        return 0;
    }

    VXThreadId thread = 0;
    int result = 0;
    do {
        result = calls.threadCreate(&thread, runThreadObject, object, &attributes);
    } while (result == EINTR);
    if (result != 0 || thread == 0) {
        return 0;
    }

    if (priority != -1) {
        VXThreadSetPriority(thread, priority);
    }
    return thread;
}

VXThreadId VXThreadCreate(CVXRunnable* object, uint32_t flags, int32_t priority,
                          uint32_t stackSize) {
    static constexpr VXThreadPlatformCalls platformCalls = {VXPlatformSchedGetParam,
                                                            VXPlatformThreadCreate};
    return VXThreadCreateWith(platformCalls, object, flags, priority, stackSize);
}

int32_t VXThreadSetPriority(VXThreadId thread, int32_t priority) {
    int policy = 0;
    sched_param param{};
    if (thread == 0 || VXPlatformSchedGet(thread, &policy, &param) != 0) {
        return -1;
    }
    const int32_t previous = param.sched_priority;
    param.sched_priority = priority;
    // A refused change (policy limits, missing privilege) leaves the thread as it was; the caller
    // learns the previous priority all the same.
    (void)VXPlatformSchedSet(thread, policy, &param);
    return previous;
}

int32_t VXThreadGetPriority(VXThreadId thread) {
    int policy = 0;
    sched_param param{};
    if (thread == 0 || VXPlatformSchedGet(thread, &policy, &param) != 0) {
        return -1;
    }
    return param.sched_priority;
}

bool VXThreadJoin(VXThreadId thread) {
    return VXPlatformThreadJoin(thread) == 0;
}
