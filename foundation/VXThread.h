// Threads started with a chosen priority and stack size (QNX ThreadCreate / SchedGet / SchedSet).
#pragma once

#include <cstdint>

// Base of thread objects: run() is the thread body.
class CVXRunnable {
public:
    virtual ~CVXRunnable() = default;
    virtual void run() = 0;
};

using VXThreadId = uint64_t; // 0 means "no thread"

// Starts a thread that calls object->run(). priority -1 keeps the inherited priority.
// Returns the new thread's id, or 0 on failure.
VXThreadId VXThreadCreate(CVXRunnable* object, uint32_t flags, int32_t priority, uint32_t stackSize);

// Sets the thread's priority; returns the previous priority, or -1 if it cannot be read.
int32_t VXThreadSetPriority(VXThreadId thread, int32_t priority);
// Current priority of the thread, or -1.
int32_t VXThreadGetPriority(VXThreadId thread);

constexpr int32_t VX_THREAD_DEFAULT_PRIORITY = 10;
constexpr uint32_t VX_THREAD_DEFAULT_STACK_SIZE = 32768;
