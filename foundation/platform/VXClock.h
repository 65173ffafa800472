// Kernel clock and time-out calls (QNX ClockTime, the system page's monotonic counter and
// TimerTimeout).
//
// On Linux the clocks are read with clock_gettime; a time-out armed with VXPlatformTimerTimeout is
// kept per thread and honoured by VXWaitForArmedTimeout (see foundation/VXOperatingSystem.h), which
// the file layer calls right before its blocking read or write.
#pragma once

#include <cstdint>
#include <ctime>

// TimerTimeout flag: the time is an absolute monotonic deadline instead of a relative duration.
constexpr uint32_t VX_TIMER_ABSTIME = 0x80000000u;
// Blocking states that a file read or write passes through (QNX STATE_SEND and STATE_REPLY bits).
constexpr uint32_t VX_TIMEOUT_SEND = 0x10u;
constexpr uint32_t VX_TIMEOUT_REPLY = 0x40u;

// ClockTime(clockId, no new value, out): 0 with *nanoseconds set, or -1 with errno set.
int VXPlatformClockTime(clockid_t clockId, uint64_t* nanoseconds);

// Nanoseconds since boot from the system page's time section (0 if unreadable).
uint64_t VXPlatformMonotonicCounter();

// TimerTimeout on the monotonic clock for the next blocking call of the calling thread: flags are
// blocking states, optionally with VX_TIMER_ABSTIME. 0 when armed, -1 with errno set.
int VXPlatformTimerTimeout(uint32_t flags, uint64_t nanoseconds);
