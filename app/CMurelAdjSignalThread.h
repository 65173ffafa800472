// The signal-watch thread: started before main, it takes every asynchronous signal, counts the
// termination requests (SIGINT, SIGTERM) and logs each signal as ignored.
#pragma once

#include "foundation/VXThread.h"

#include <csignal>
#include <cstdint>
#include <pthread.h>

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

    // Returns once the thread has counted and logged every signal sent to the process before the
    // call: a signal it took earlier has its line, one still pending is taken now. Returns at once
    // when there is no thread. Called by main before it reads terminationRequests.
    static void takePendingSignals();
    // The same, once, on the way out: afterwards the thread takes no signal any more (later ones
    // stay pending and end with the process), so the exit cannot cut off a taken signal's line.
    static void takeLastSignals();

    // Every signal except the synchronous fault signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP,
    // SIGSYS, SIGABRT), which must reach the thread that raised them.
    static void watchedSignals(sigset_t* set);

private:
    // Main's side: asks the thread to take what is pending and waits for its answer.
    void request(bool last);
    // The thread's side: takes every pending signal and answers; false after the last request.
    bool answer(const sigset_t& watched);
    static void take(int signalNumber);

    VXThreadId m_thread = 0;
    pthread_mutex_t m_mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t m_answered = PTHREAD_COND_INITIALIZER;
    uint32_t m_requests = 0; // requests sent by main, under m_mutex
    uint32_t m_answers = 0;  // requests answered by the thread, under m_mutex
    bool m_last = false;     // the last request was sent, under m_mutex
};
