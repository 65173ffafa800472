// Threads started with a chosen priority and stack size (QNX ThreadCreate / SchedGet / SchedSet).
#pragma once

#include "foundation/platform/VXPlatformThread.h"

#include <cstdint>

// Base of thread objects: run() is the thread body.
class CVXRunnable {
public:
    virtual ~CVXRunnable() = default;
    virtual void run() = 0;
};

using VXThreadId = uint64_t; // 0 means "no thread"

// Starts a thread that calls object->run() once. flags go to the kernel's thread attributes (0 in
// this program); priority -1 keeps the inherited priority; stackSize 0 gives the platform default
// (a smaller size than the platform minimum is raised to it). Returns the new thread's id, or 0
// on failure (not logged: the caller decides). The thread is joinable; it may be joined with
// VXThreadJoin or left to end with the process.
VXThreadId VXThreadCreate(CVXRunnable* object, uint32_t flags, int32_t priority,
                          uint32_t stackSize);

// Sets the thread's priority; returns the previous priority, or -1 if it cannot be read. The
// previous priority is returned also when the new one is refused (on Linux the time-sharing
// policy only has priority 0, so there every other request is refused and the thread stays at 0).
int32_t VXThreadSetPriority(VXThreadId thread, int32_t priority);
// Current priority of the thread, or -1.
int32_t VXThreadGetPriority(VXThreadId thread);

// Waits for the thread to end; true when it was joined.
bool VXThreadJoin(VXThreadId thread);

// The kernel calls behind VXThreadCreate. VXThreadCreateWith lets tests stand in for them (an
// interrupted creation, unreadable scheduling parameters).
struct VXThreadPlatformCalls {
    int (*schedGetParam)(sched_param* param);
    int (*threadCreate)(uint64_t* thread, VXPlatformThreadEntry entry, void* argument,
                        const VXPlatformThreadAttributes* attributes);
};
VXThreadId VXThreadCreateWith(const VXThreadPlatformCalls& calls, CVXRunnable* object,
                              uint32_t flags, int32_t priority, uint32_t stackSize);

constexpr int32_t VX_THREAD_DEFAULT_PRIORITY = 10;
constexpr uint32_t VX_THREAD_DEFAULT_STACK_SIZE = 32768;
