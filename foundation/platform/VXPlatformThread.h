// Kernel thread calls (QNX ThreadCreate / SchedGet / SchedSet).
//
// On QNX these forward to the kernel calls. On Linux a thread is a POSIX thread: it is always
// created joinable, so that its id stays valid for priority changes even after the thread body has
// returned (a thread that is never joined, such as the signal-watch thread, ends with the process).
// Priorities are POSIX scheduling priorities of the thread's policy; under the Linux time-sharing
// policy (SCHED_OTHER) the only priority is 0, so a request for any other value is refused there
// (EINVAL), privileged or not. The real-time policies (SCHED_FIFO, SCHED_RR) take 1 to 99.
#pragma once

#include <sched.h>

#include <csignal>
#include <cstdint>

// Kernel thread-attribute record of a thread start.
struct VXPlatformThreadAttributes {
    uint32_t flags = 0;     // kernel creation flags; none is defined on Linux (ignored)
    uint32_t stackSize = 0; // bytes; 0 gives the platform default
    int policy = 0;         // 0 keeps the creator's policy (the only value supported on Linux)
    sched_param param{};    // scheduling parameters the creator copies into the record
};

// Thread entry: receives the argument given at creation.
using VXPlatformThreadEntry = void* (*)(void* argument);

// ThreadCreate: starts entry(argument) on a new thread of this process and stores its id (never 0)
// in *thread. Returns 0, or an error number (EINTR: interrupted, call again; EAGAIN: no resources;
// EINVAL: bad attributes).
int VXPlatformThreadCreate(uint64_t* thread, VXPlatformThreadEntry entry, void* argument,
                           const VXPlatformThreadAttributes* attributes);

// Waits for a thread to end and releases it. Returns 0 or an error number.
int VXPlatformThreadJoin(uint64_t thread);

// The calling process's current scheduling parameters (sched_getparam of process 0).
// Returns 0, or -1 with errno set.
int VXPlatformSchedGetParam(sched_param* param);

// SchedGet: the thread's policy and scheduling parameters. Returns 0 or an error number.
int VXPlatformSchedGet(uint64_t thread, int* policy, sched_param* param);

// SchedSet: applies policy and parameters to the thread. Returns 0 or an error number.
int VXPlatformSchedSet(uint64_t thread, int policy, const sched_param* param);

// Id of the calling thread, in the form VXPlatformThreadCreate hands out.
uint64_t VXPlatformThreadSelf();

// Queues a signal with a value for one thread of this process (pthread_sigqueue). Returns 0 or an
// error number.
int VXPlatformThreadQueueSignal(uint64_t thread, int signalNumber, void* value);

// Whether a signal taken with sigwaitinfo was queued with this value by
// VXPlatformThreadQueueSignal of this process (code SI_QUEUE, this process's id, the value).
bool VXPlatformSignalQueuedHere(const siginfo_t& info, const void* value);
