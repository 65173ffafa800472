// Termination requests and other signals sent to a running velkor.
#include "tests/e2e/E2EPage.h"
#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/syscall.h>
#include <thread>

namespace {

std::string procText(pid_t pid, const std::string& file) {
    return readFile("/proc/" + std::to_string(pid) + "/" + file);
}

// Whether the signal is set in the hexadecimal mask of a "Name:" line of /proc/<pid>/status.
bool inStatusMask(pid_t pid, const std::string& name, int signal) {
    const std::string status = procText(pid, "status");
    const size_t line = status.find("\n" + name + ":");
    return line != std::string::npos &&
           ((std::stoull(status.substr(line + name.size() + 2), nullptr, 16) >> (signal - 1)) & 1);
}

// The system call a thread is blocked in and its first argument, or -1.
long blockedSyscall(pid_t pid, const std::string& thread, long* firstArgument = nullptr) {
    std::istringstream fields(procText(pid, "task/" + thread + "/syscall"));
    std::string number;
    std::string argument;
    fields >> number >> argument;
    if (number.empty() || number == "running" || number[0] == '-') {
        return -1;
    }
    if (firstArgument != nullptr) {
        *firstArgument = std::stol(argument, nullptr, 16);
    }
    return std::stol(number);
}

template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(CMurelAdjSignalThread, SignalsDuringTheOnlyActionAreLoggedAndItFinishes) {
    E2EPage page;
    ASSERT_TRUE(page.writeBlock(sampleBlock()));
    RunningProcess holder(MURELPAGE_SIM_BINARY,
                          {"hold-lock", "--pagelock=" + page.lock(), "--seconds=60"});
    ASSERT_TRUE(holder.waitForOutput("locked\n"));
    RunningProcess velkor(VELKOR_BINARY, page.arguments({"--dump", "--log=stdout"}));
    // The dump has started once the access object is mapped; it then waits for the lock.
    ASSERT_TRUE(eventually([&] {
        return procText(velkor.pid(), "maps").find("/dev/shm" + page.lock()) != std::string::npos;
    }));

    // The watch thread takes every asynchronous signal; the fault signals keep their default
    // action for the thread that raises them. (An emulator keeps the program's masks to itself.)
    for (int signal :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGCHLD, SIGTSTP}) {
        EXPECT_TRUE(kUnderEmulator || inStatusMask(velkor.pid(), "SigBlk", signal)) << signal;
    }
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT}) {
        EXPECT_TRUE(kUnderEmulator || !inStatusMask(velkor.pid(), "SigBlk", signal)) << signal;
    }

    std::string logged;
    for (const auto& [signal, name] :
         {std::pair{SIGTERM, "15 Terminated"}, {SIGINT, "2 Interrupt"}, {SIGHUP, "1 Hangup"}}) {
        const std::string line = "velkor: INFO: got signal " + std::string(name) + ", ignored\n";
        velkor.signal(signal);
        ASSERT_TRUE(velkor.waitForError(line));
        logged += line;
    }
    holder.signal(SIGTERM); // releases the lock
    holder.wait();
    expectRun(velkor.wait(), 0, expectedOutput("adjust-block-dump-big.txt"), logged + "SUCCESS\n");
}

TEST(CMurelAdjSignalThread, ARequestDuringTheDescriptionFileKeepsGetFromRunning) {
    if (kUnderEmulator) {
        GTEST_SKIP() << "needs the program's own threads and system calls in /proc";
    }
    // Standard error starts full, so the description-file action blocks on its success line until
    // the test reads; the request arrives while it waits. The page does not exist: had get run, it
    // would have reported that.
    ProcessOptions options;
    options.fullStandardError = true;
    E2EPage absent;
    RunningProcess velkor(VELKOR_BINARY,
                          absent.arguments({"--config=" + sampleDescriptionPath(),
                                            "--get=E2P.Networking.Eth0MacAddr", "--log=stdout"}),
                          options);
    const pid_t pid = velkor.pid();
    const std::string main = std::to_string(pid);
    ASSERT_TRUE(eventually([&] {
        long descriptor = -1;
        return blockedSyscall(pid, main, &descriptor) == SYS_write && descriptor == 2;
    }));

    velkor.signal(SIGTERM);
    // Taken by the watch thread, which counts it and then waits to write its own line.
    ASSERT_TRUE(eventually([&] {
        if (inStatusMask(pid, "ShdPnd", SIGTERM)) {
            return false;
        }
        std::error_code ignored;
        for (const auto& task :
             std::filesystem::directory_iterator("/proc/" + main + "/task", ignored)) {
            const std::string thread = task.path().filename().string();
            const long call = blockedSyscall(pid, thread);
            if (thread != main && (call == SYS_futex || call == SYS_write)) {
                return true;
            }
        }
        return false;
    }));

    const ProcessResult result = velkor.wait();
    const std::string parsed = parsedLine(sampleDescriptionPath());
    const std::string signal = "velkor: INFO: got signal 15 Terminated, ignored\n";
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    // The watch thread's line may come before or after the verdict.
    EXPECT_TRUE(result.err == parsed + signal + "FAILURE\n" ||
                result.err == parsed + "FAILURE\n" + signal)
        << result.err;
}

} // namespace
