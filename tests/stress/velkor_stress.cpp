// Stress run of the page lock (see README.md): writer processes rewrite the page under the write
// lock with a new random block and its CRC each time while velkor --check runs, which must pass.
// Failures are counted; "unlocked" lets the writers skip the lock: the run must fail.
#include "murelpage/MurelPageImage.h"
#include "murelpage/MurelPageWriter.h"
#include "tools/murelpage-sim/MurelPageSimBlockCrc.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sched.h>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t BLOCK_ID = 0x800007F4u;
enum { WRITES, VELKOR_READS, VELKOR_FAILED, FAILED, COUNTS };
std::atomic<uint64_t>* g_counts = nullptr; // shared by the processes
time_t g_deadline = 0;

bool running() {
    return time(nullptr) < g_deadline;
}

std::vector<uint8_t> makePage() {
    CMurelPageItem block{BLOCK_ID, 0, std::vector<uint8_t>(kMurelPageSimBlockSize)};
    for (uint8_t& byte : block.data) {
        byte = static_cast<uint8_t>(rand());
    }
    block.data[8] = 2; // the layout version velkor expects
    MurelPageSimStoreCrc(block.data.data(), MurelPageSimBlockCrc(block.data.data()));
    std::vector<uint8_t> page;
    MurelPageImage_build({block}, page);
    return page;
}

// Writes in 256-byte pieces with a yield after each, so that a reader let in is caught quickly.
int runWriter(const std::string& page, const std::string& lock, bool locked) {
    CMurelPageWriter writer;
    bool good = writer.open(page, lock);
    while (good && running()) {
        const std::vector<uint8_t> image = makePage();
        good = !locked ||
               MurelShAccObj_timedLockWrite(writer.accessObject(), MURELSHACCOBJ_WAIT_FOREVER) == 0;
        for (size_t at = 0; good && at < image.size(); at += 256) {
            memcpy(writer.page() + at, image.data() + at, 256);
            sched_yield();
        }
        writer.markChanged();
        good = good && (!locked || MurelShAccObj_unlock(writer.accessObject()) == 0);
        g_counts[WRITES] += good;
    }
    return good ? 0 : 1;
}

// velkor --check runs, one after the other, each under timeout(1).
int runChecker(const char* velkor, const std::string& page, const std::string& lock) {
    const std::string command = std::string("timeout -s KILL 20 ") + velkor +
                                " --check --page=" + page + " --pagelock=" + lock +
                                " --log=stdout >/dev/null 2>&1";
    for (; running(); ++g_counts[VELKOR_READS]) {
        g_counts[VELKOR_FAILED] += system(command.c_str()) != 0;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 && (argc != 5 || strcmp(argv[4], "unlocked") != 0)) {
        fprintf(stderr, "usage: velkor_stress VELKOR SECONDS MIN_VELKOR_READS [unlocked]\n");
        return 2;
    }
    void* const shared = mmap(nullptr, sizeof(std::atomic<uint64_t>) * COUNTS,
                              PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    g_counts = static_cast<std::atomic<uint64_t>*>(shared); // zeros
    const std::string page = "/velkor-stress-" + std::to_string(getpid());
    const std::string lock = page + "-lock";
    std::string error;
    if (CMurelPageWriter first;
        shared == MAP_FAILED || !first.open(page, lock) || !first.write(makePage())) {
        fprintf(stderr, "velkor_stress: cannot set up: %s\n", first.error().c_str());
        CMurelPageWriter::remove(page, lock, error);
        return 2;
    }
    g_deadline = time(nullptr) + atoi(argv[2]);

    // 3 writers, 4 velkor slots; a hung one is killed at the end.
    std::vector<pid_t> children;
    for (int child = 0; child < 7; ++child) {
        children.push_back(fork());
        if (children.back() == 0) {
            srand(1000u + static_cast<unsigned>(child));
            alarm(static_cast<unsigned>(atoi(argv[2])) + 40);
            _exit(child < 3 ? runWriter(page, lock, argc == 4) : runChecker(argv[1], page, lock));
        }
    }
    for (const pid_t pid : children) {
        int status = -1;
        waitpid(pid, &status, 0); // one that could not be forked fails
        g_counts[FAILED] += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    }
    CMurelPageWriter::remove(page, lock, error);
    const char* const names[] = {"writes", "velkor reads", "velkor failed", "processes failed"};
    bool passed = g_counts[VELKOR_READS] >= strtoull(argv[3], nullptr, 10);
    for (int what = 0; what < COUNTS; ++what) {
        printf("%s: %llu\n", names[what], static_cast<unsigned long long>(g_counts[what]));
        passed = passed && (what < VELKOR_FAILED || g_counts[what] == 0);
    }
    printf("%s\n", passed ? "PASSED" : "FAILED");
    return passed ? 0 : 1;
}
