// The signal-watch thread: started before main, it takes every asynchronous signal, counts the
// termination requests (SIGINT, SIGTERM) and logs each signal as ignored.
#pragma once

#include "foundation/VXThread.h"

#include <csignal>
#include <cstdint>

// Termination requests counted so far; main reads it before each action.
extern volatile uint32_t terminationRequests;

class CMurelAdjSignalThread final : public CVXRunnable {
public:
    static constexpr int32_t PRIORITY = 10;
    static constexpr uint32_t STACK_SIZE = 0x8000;

    // Blocks the watched signals for the whole process (the calling thread's mask is inherited by
    // every later thread) and starts the thread. Without a thread the previous mask is restored.
    CMurelAdjSignalThread();
    CMurelAdjSignalThread(const CMurelAdjSignalThread&) = delete;
    CMurelAdjSignalThread& operator=(const CMurelAdjSignalThread&) = delete;

    // Waits for the watched signals for ever; a failing wait ends the process with status 1.
    void run() override;

    bool isRunning() const { return m_thread != 0; }

    // Every signal except the synchronous fault signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP,
    // SIGSYS, SIGABRT), which must reach the thread that raised them.
    static void watchedSignals(sigset_t* set);

private:
    VXThreadId m_thread = 0;
};
