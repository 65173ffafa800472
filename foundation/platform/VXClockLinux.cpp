// Linux stand-ins for the kernel clock and time-out calls.
#include "foundation/platform/VXClock.h"

#include "foundation/VXOperatingSystem.h"

#include <cerrno>
#include <poll.h>

namespace {

// The time-out armed on this thread for its next blocking call.
struct ArmedTimeout {
    bool armed = false;
    uint64_t deadline = 0; // absolute monotonic nanoseconds
};

thread_local ArmedTimeout t_armedTimeout;

constexpr uint64_t NANOSECONDS_PER_SECOND = 1000000000ull;
constexpr uint64_t NANOSECONDS_PER_MILLISECOND = 1000000ull;

} // namespace

int VXPlatformClockTime(clockid_t clockId, uint64_t* nanoseconds) {
    timespec now{};
    if (clock_gettime(clockId, &now) != 0) {
        return -1;
    }
    *nanoseconds = static_cast<uint64_t>(now.tv_sec) * NANOSECONDS_PER_SECOND +
                   static_cast<uint64_t>(now.tv_nsec);
    return 0;
}

uint64_t VXPlatformMonotonicCounter() {
    uint64_t nanoseconds = 0;
    if (VXPlatformClockTime(CLOCK_MONOTONIC, &nanoseconds) != 0) {
        return 0;
    }
    return nanoseconds;
}

int VXPlatformTimerTimeout(uint32_t flags, uint64_t nanoseconds) {
    uint64_t deadline = nanoseconds;
    if ((flags & VX_TIMER_ABSTIME) == 0) {
        uint64_t now = VXPlatformMonotonicCounter();
        deadline = (nanoseconds > VX_NO_DEADLINE - now) ? VX_NO_DEADLINE : now + nanoseconds;
    }
    t_armedTimeout.armed = true;
    t_armedTimeout.deadline = deadline;
    return 0;
}

int VXWaitForArmedTimeout(int descriptor, short events) {
    if (!t_armedTimeout.armed) {
        return 1;
    }
    // Like the kernel's time-out, an armed time-out covers exactly one blocking call.
    const uint64_t deadline = t_armedTimeout.deadline;
    t_armedTimeout.armed = false;

    pollfd entry{};
    entry.fd = descriptor;
    entry.events = events;
    for (;;) {
        int waitMs = -1;
        if (deadline != VX_NO_DEADLINE) {
            uint64_t now = VXPlatformMonotonicCounter();
            uint64_t remaining = (now >= deadline) ? 0 : deadline - now;
            // Rounded up so that the wait never ends before the deadline.
            uint64_t milliseconds =
                (remaining + NANOSECONDS_PER_MILLISECOND - 1) / NANOSECONDS_PER_MILLISECOND;
            waitMs = (milliseconds > 0x7FFFFFFFull) ? 0x7FFFFFFF : static_cast<int>(milliseconds);
        }
        entry.revents = 0;
        int ready = poll(&entry, 1, waitMs);
        if (ready > 0) {
            // Readable, writable, or an error condition that the blocking call itself will report.
            return 1;
        }
        if (ready < 0) {
            if (errno == EINTR) {
                return 0;
            }
            // The wait itself failed (e.g. no memory): leave the verdict to the blocking call.
            return 1;
        }
        if (waitMs == 0 || VXPlatformMonotonicCounter() >= deadline) {
            errno = ETIMEDOUT;
            return 0;
        }
    }
}
