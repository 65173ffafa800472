// lock-fairness: how long writers wait for the page's lock under a steady stream of readers.
//
//     lock-fairness WRITERS threads|processes SECONDS
//
// Eight readers take the read lock for 150 to 300 ms each, with 1 ms between; WRITERS writers take
// the write lock with a deadline 3 s ahead, hold it 20 ms and pause 1 ms. Prints per writer the
// acquisitions, time-outs and longest wait, then the longest writer and reader waits. The figures
// are quoted in docs/murelpage-lock.md.
#include "murelpage/MurelRwLock.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const int kReaders = 8;
const int kMaxWriters = 16;

struct CProbeArea {
    MurelRwLock lock;
    std::atomic<int> stop;
    std::atomic<int> acquired[kMaxWriters];
    std::atomic<int> timedOut[kMaxWriters];
    std::atomic<int64_t> longestWaitNs[kMaxWriters + 1]; // the last one: the readers'
};

int64_t nowNs(clockid_t clock) {
    struct timespec now {};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void noteWait(std::atomic<int64_t>& longest, int64_t since) {
    const int64_t wait = nowNs(CLOCK_MONOTONIC) - since;
    int64_t seen = longest;
    while (wait > seen && !longest.compare_exchange_weak(seen, wait)) {
    }
}

void reader(CProbeArea* area, int index) {
    std::minstd_rand random(static_cast<unsigned>(index * 7919 + getpid()));
    while (area->stop == 0) {
        const int64_t start = nowNs(CLOCK_MONOTONIC);
        if (MurelRwLock_readLock(&area->lock, nullptr) != 0) {
            std::abort();
        }
        noteWait(area->longestWaitNs[kMaxWriters], start);
        usleep(static_cast<useconds_t>(150000 + random() % 150001));
        MurelRwLock_unlock(&area->lock);
        usleep(1000);
    }
}

void writer(CProbeArea* area, int index) {
    while (area->stop == 0) {
        const int64_t start = nowNs(CLOCK_MONOTONIC);
        const int64_t end = nowNs(CLOCK_REALTIME) + 3000000000;
        struct timespec deadline {};
        deadline.tv_sec = static_cast<time_t>(end / 1000000000);
        deadline.tv_nsec = static_cast<long>(end % 1000000000);
        const int result = MurelRwLock_writeLock(&area->lock, &deadline);
        noteWait(area->longestWaitNs[index], start);
        if (result == 0) {
            ++area->acquired[index];
            usleep(20000);
            MurelRwLock_unlock(&area->lock);
        } else if (result == ETIMEDOUT) {
            ++area->timedOut[index];
        } else {
            std::abort();
        }
        usleep(1000);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int writers = argc == 4 ? atoi(argv[1]) : 0;
    const bool processes = argc == 4 && argv[2][0] == 'p';
    const int seconds = argc == 4 ? atoi(argv[3]) : 0;
    if (writers < 1 || writers > kMaxWriters || seconds < 1) {
        std::fprintf(stderr, "usage: lock-fairness WRITERS(1..16) threads|processes SECONDS\n");
        return 1;
    }
    void* memory = mmap(nullptr, sizeof(CProbeArea), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        return 1;
    }
    CProbeArea* area = new (memory) CProbeArea{};
    MurelRwLock_init(&area->lock, 1);
    std::vector<std::thread> threads;
    std::vector<pid_t> children;
    const auto start = [&](void (*body)(CProbeArea*, int), int index) {
        if (!processes) {
            threads.emplace_back(body, area, index);
        } else if (const pid_t child = fork(); child == 0) {
            body(area, index);
            _exit(0);
        } else {
            children.push_back(child);
        }
    };
    for (int index = 0; index < kReaders; ++index) {
        start(&reader, index);
    }
    usleep(50000);
    for (int index = 0; index < writers; ++index) {
        start(&writer, index);
    }
    sleep(static_cast<unsigned>(seconds));
    area->stop = 1;
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (pid_t child : children) {
        waitpid(child, nullptr, 0);
    }
    int64_t longest = 0;
    std::printf("%d writer %s, %d s:", writers, processes ? "processes" : "threads", seconds);
    for (int index = 0; index < writers; ++index) {
        std::printf(" [%d: %d taken, %d timed out, longest %lld ms]", index,
                    area->acquired[index].load(), area->timedOut[index].load(),
                    static_cast<long long>(area->longestWaitNs[index] / 1000000));
        longest = std::max<int64_t>(longest, area->longestWaitNs[index]);
    }
    std::printf("; longest writer wait %lld ms, longest reader wait %lld ms\n",
                static_cast<long long>(longest / 1000000),
                static_cast<long long>(area->longestWaitNs[kMaxWriters] / 1000000));
    return 0;
}
