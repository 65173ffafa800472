// Stress run of the page lock: writer processes rewrite the MurelPage through the page writer and
// raise the change counter, while velkor --check processes and reader threads of this process copy
// it through the page client. Every copy must pass its CRC: a copy taken while a writer is half-way
// through its write fails it. Writers copy the block in pieces and yield between them, so that a
// lock that let a reader in would be caught quickly.
//
//   velkor_stress --velkor=PATH [--seconds=N] [--writers=N] [--checkers=N] [--readers=N]
//                 [--min-velkor-reads=N] [--bound=SECONDS] [--unlocked-writers]
//
// --unlocked-writers makes the writers skip the write lock: a demonstration that torn copies are
// caught (the run then fails).
//
// Every child process is bounded: a velkor run that has not ended after --bound seconds (default
// 20) is killed and counted as a hang, and so is a writer that does not stop. The counts are
// printed at the end; the exit status is 0 only when nothing failed, nothing hung and at least
// --min-velkor-reads velkor runs were made.
#include "murelpage/MurelPageGet.h"
#include "murelpage/MurelPageImage.h"
#include "murelpage/MurelPageWriter.h"
#include "murelpage/murelshaccobj.h"
#include "tools/murelpage-sim/MurelPageSimBlockCrc.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr uint32_t BLOCK_ID = 0x800007F4u;
constexpr uint8_t BLOCK_VERSION = 2;
constexpr uint32_t WRITE_PIECE = 256;

using Clock = std::chrono::steady_clock;

struct CSettings {
    std::string velkor;
    double seconds = 30;
    int writers = 3;
    int checkers = 4;
    int readers = 2;
    uint64_t minVelkorReads = 0;
    double bound = 20;
    bool unlockedWriters = false;
};

// Counts shared with the writer processes.
struct CCounts {
    std::atomic<uint64_t> writes;
    std::atomic<uint64_t> writeFailures;
    std::atomic<uint64_t> velkorReads;
    std::atomic<uint64_t> velkorFailures;
    std::atomic<uint64_t> libraryReads;
    std::atomic<uint64_t> libraryFailures;
    std::atomic<uint64_t> hangs;
};

std::atomic<bool> g_stop{false};

void onSignal(int) {
    g_stop.store(true);
}

bool parseArguments(int argc, char** argv, CSettings& settings) {
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : argument.substr(equals + 1);
        char* end = nullptr;
        const double number = strtod(value.c_str(), &end);
        const bool numeric = !value.empty() && end != nullptr && *end == '\0' && number >= 0;
        if (name == "--velkor" && !value.empty()) {
            settings.velkor = value;
        } else if (name == "--seconds" && numeric && number > 0) {
            settings.seconds = number;
        } else if (name == "--writers" && numeric && number >= 1) {
            settings.writers = static_cast<int>(number);
        } else if (name == "--checkers" && numeric) {
            settings.checkers = static_cast<int>(number);
        } else if (name == "--readers" && numeric) {
            settings.readers = static_cast<int>(number);
        } else if (name == "--min-velkor-reads" && numeric) {
            settings.minVelkorReads = static_cast<uint64_t>(number);
        } else if (name == "--bound" && numeric && number > 0) {
            settings.bound = number;
        } else if (argument == "--unlocked-writers") {
            settings.unlockedWriters = true;
        } else {
            fprintf(stderr, "velkor_stress: bad argument '%s'\n", argument.c_str());
            return false;
        }
    }
    if (settings.velkor.empty() && settings.checkers > 0) {
        fprintf(stderr, "velkor_stress: --velkor=PATH is needed (or --checkers=0)\n");
        return false;
    }
    return true;
}

// A block of random bytes with layout version 2 and its correct CRC.
void makeBlock(std::mt19937& random, std::vector<uint8_t>& block) {
    block.resize(kMurelPageSimBlockSize);
    for (uint8_t& byte : block) {
        byte = static_cast<uint8_t>(random());
    }
    block[8] = BLOCK_VERSION;
    MurelPageSimStoreCrc(block.data(), MurelPageSimBlockCrc(block.data()));
}

bool makePage(std::mt19937& random, std::vector<uint8_t>& page) {
    CMurelPageItem value;
    value.id = 0x00000001;
    value.version = 0x0102;
    value.data = {1, 2, 3, 4};
    CMurelPageItem region;
    region.id = BLOCK_ID;
    makeBlock(random, region.data);
    return MurelPageImage_build({value, region}, page);
}

bool blockPasses(const uint8_t* block) {
    uint32_t stored = 0;
    memcpy(&stored, block, sizeof stored);
    return block[8] == BLOCK_VERSION && stored == MurelPageSimBlockCrc(block);
}

// One writer process: rewrites the page until the deadline, under the write lock, in pieces.
int runWriter(const std::string& pagePath, const std::string& lockPath, int seed, bool locked,
              Clock::time_point deadline, CCounts& counts) {
    CMurelPageWriter writer;
    if (!writer.open(pagePath, lockPath)) {
        fprintf(stderr, "writer: %s\n", writer.error().c_str());
        counts.writeFailures.fetch_add(1);
        return 1;
    }
    std::mt19937 random(static_cast<uint32_t>(seed));
    std::vector<uint8_t> page;
    while (Clock::now() < deadline && !g_stop.load()) {
        if (!makePage(random, page) ||
            (locked && MurelShAccObj_timedLockWrite(writer.accessObject(),
                                                    MURELSHACCOBJ_WAIT_FOREVER) != 0)) {
            counts.writeFailures.fetch_add(1);
            return 1;
        }
        for (uint32_t at = 0; at < page.size(); at += WRITE_PIECE) {
            const uint32_t size = std::min<uint32_t>(WRITE_PIECE, page.size() - at);
            memcpy(writer.page() + at, page.data() + at, size);
            if ((at / WRITE_PIECE) % 4 == 3) {
                sched_yield();
            }
        }
        writer.markChanged();
        if (locked && MurelShAccObj_unlock(writer.accessObject()) != 0) {
            counts.writeFailures.fetch_add(1);
            return 1;
        }
        counts.writes.fetch_add(1);
    }
    return 0;
}

// One reader thread of this process: refreshes the client's copy and checks the block's CRC.
void runReader(const std::string& pagePath, const std::string& lockPath, Clock::time_point deadline,
               CCounts& counts) {
    std::vector<uint8_t> block(kMurelPageSimBlockSize);
    while (Clock::now() < deadline && !g_stop.load()) {
        uint16_t version = 0xFFFF;
        uint32_t length = 0;
        const bool read =
            MurelPageGetSh_attach(pagePath.c_str(), lockPath.c_str()) == MurelPageGet_OK &&
            MurelPageGetSh_getDataVersion(BLOCK_ID, &version) == MurelPageGet_OK &&
            MurelPageGetSh_getBuffer(BLOCK_ID, version, block.data(),
                                     static_cast<uint32_t>(block.size()),
                                     &length) == MurelPageGet_OK &&
            length == block.size();
        if (!read || !blockPasses(block.data())) {
            if (counts.libraryFailures.fetch_add(1) < 5) {
                fprintf(stderr, "reader: %s\n", read ? "CRC mismatch" : "read failed");
            }
        }
        counts.libraryReads.fetch_add(1);
    }
}

// Waits for a child until the bound; kills it when it is over. True when it ended by itself.
bool waitBounded(pid_t pid, Clock::time_point bound, int& status) {
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return true;
        }
        if (done < 0 && errno != EINTR) {
            status = -1;
            return true;
        }
        if (Clock::now() >= bound) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

// One checker slot: runs velkor --check against the page, one process after the other.
void runChecker(const CSettings& settings, const std::string& pagePath, const std::string& lockPath,
                Clock::time_point deadline, CCounts& counts) {
    const std::string page = "--page=" + pagePath;
    const std::string lock = "--pagelock=" + lockPath;
    std::vector<char*> argv = {const_cast<char*>(settings.velkor.c_str()),
                               const_cast<char*>("--check"),
                               const_cast<char*>(page.c_str()),
                               const_cast<char*>(lock.c_str()),
                               const_cast<char*>("--log=stdout"),
                               nullptr};
    const auto bound =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(settings.bound));
    while (Clock::now() < deadline && !g_stop.load()) {
        int output[2];
        if (pipe2(output, O_CLOEXEC) != 0) {
            counts.velkorFailures.fetch_add(1);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
        pid_t pid = -1;
        const int spawned =
            posix_spawn(&pid, settings.velkor.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(output[1]);
        if (spawned != 0) {
            close(output[0]);
            fprintf(stderr, "checker: cannot start %s: %s\n", settings.velkor.c_str(),
                    strerror(spawned));
            counts.velkorFailures.fetch_add(1);
            return;
        }
        int status = 0;
        const bool ended = waitBounded(pid, Clock::now() + bound, status);
        char text[4096];
        const ssize_t got = read(output[0], text, sizeof text - 1);
        close(output[0]);
        text[got > 0 ? got : 0] = '\0';
        counts.velkorReads.fetch_add(1);
        const bool passed = ended && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                            strstr(text, "SUCCESS") != nullptr;
        if (!ended) {
            counts.hangs.fetch_add(1);
        }
        if (!passed && counts.velkorFailures.fetch_add(1) < 5) {
            fprintf(stderr, "velkor --check failed (%s, status %d):\n%s\n",
                    ended ? "ended" : "killed after the bound", status, text);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    CSettings settings;
    if (!parseArguments(argc, argv, settings)) {
        return 2;
    }
    signal(SIGINT, onSignal);
    signal(SIGTERM, onSignal);

    void* shared =
        mmap(nullptr, sizeof(CCounts), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) {
        perror("mmap");
        return 2;
    }
    CCounts& counts = *new (shared) CCounts{};

    const std::string base = "/velkor-stress-" + std::to_string(getpid());
    const std::string pagePath = base + "-page";
    const std::string lockPath = base + "-lock";
    {
        CMurelPageWriter first;
        std::mt19937 random(1);
        std::vector<uint8_t> page;
        if (!makePage(random, page) || !first.open(pagePath, lockPath) || !first.write(page)) {
            fprintf(stderr, "velkor_stress: cannot create the page: %s\n", first.error().c_str());
            std::string error;
            CMurelPageWriter::remove(pagePath, lockPath, error);
            return 2;
        }
    }

    const auto start = Clock::now();
    const auto deadline = start + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(settings.seconds));

    // Writers first: no threads exist yet when they are forked.
    std::vector<pid_t> writers;
    for (int index = 0; index < settings.writers; ++index) {
        const pid_t pid = fork();
        if (pid == 0) {
            _exit(runWriter(pagePath, lockPath, 1000 + index, !settings.unlockedWriters, deadline,
                            counts));
        }
        if (pid > 0) {
            writers.push_back(pid);
        } else {
            counts.writeFailures.fetch_add(1);
        }
    }

    std::vector<std::thread> threads;
    for (int index = 0; index < settings.readers; ++index) {
        threads.emplace_back(runReader, pagePath, lockPath, deadline, std::ref(counts));
    }
    for (int index = 0; index < settings.checkers; ++index) {
        threads.emplace_back(runChecker, std::cref(settings), pagePath, lockPath, deadline,
                             std::ref(counts));
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const auto writerBound = Clock::now() + std::chrono::seconds(10);
    for (const pid_t pid : writers) {
        int status = 0;
        if (!waitBounded(pid, writerBound, status)) {
            counts.hangs.fetch_add(1);
        } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            counts.writeFailures.fetch_add(1);
        }
    }
    std::string error;
    if (!CMurelPageWriter::remove(pagePath, lockPath, error)) {
        fprintf(stderr, "velkor_stress: %s\n", error.c_str());
    }

    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const uint64_t failures = counts.writeFailures + counts.velkorFailures + counts.libraryFailures;
    printf("seconds: %.1f\n", elapsed);
    printf("writer processes: %d, velkor slots: %d, reader threads: %d\n", settings.writers,
           settings.checkers, settings.readers);
    printf("writes: %llu\n", static_cast<unsigned long long>(counts.writes.load()));
    printf("velkor reads: %llu\n", static_cast<unsigned long long>(counts.velkorReads.load()));
    printf("library reads: %llu\n", static_cast<unsigned long long>(counts.libraryReads.load()));
    printf("failures: %llu\n", static_cast<unsigned long long>(failures));
    printf("hangs: %llu\n", static_cast<unsigned long long>(counts.hangs.load()));
    const bool enough = counts.velkorReads.load() >= settings.minVelkorReads;
    if (!enough) {
        printf("too few velkor reads: %llu of %llu\n",
               static_cast<unsigned long long>(counts.velkorReads.load()),
               static_cast<unsigned long long>(settings.minVelkorReads));
    }
    const bool passed = failures == 0 && counts.hangs.load() == 0 && enough;
    printf("%s\n", passed ? "PASSED" : "FAILED");
    return passed ? 0 : 1;
}
