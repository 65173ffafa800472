// Termination requests and other signals sent to a running velkor.
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto PATIENCE = std::chrono::seconds(20);

// velkor started with its own pipes; standard error can start out full, so that the program's
// first line blocks until the test reads.
class CVelkorChild {
public:
    CVelkorChild(const std::vector<std::string>& arguments, bool fullStandardError) {
        int outPipe[2];
        int errPipe[2];
        if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe2: " << strerror(errno);
            return;
        }
        if (fullStandardError) {
            fcntl(errPipe[1], F_SETPIPE_SZ, 4096);
            fcntl(errPipe[1], F_SETFL, O_NONBLOCK);
            const std::string filler(4096, '#');
            ssize_t written = 0;
            while ((written = ::write(errPipe[1], filler.data(), filler.size())) > 0) {
                m_filler += static_cast<size_t>(written);
            }
            while (::write(errPipe[1], "#", 1) == 1) {
                ++m_filler;
            }
            fcntl(errPipe[1], F_SETFL, 0);
        }
        std::vector<std::string> copies = {VELKOR_BINARY};
        copies.insert(copies.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& copy : copies) {
            argv.push_back(copy.data());
        }
        argv.push_back(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(outPipe[1], 1);
            dup2(errPipe[1], 2);
            execv(VELKOR_BINARY, argv.data());
            _exit(127);
        }
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        m_out = outPipe[0];
        m_err = errPipe[0];
    }

    ~CVelkorChild() {
        if (m_pid > 0 && !m_waited) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
        if (m_out != -1) {
            ::close(m_out);
        }
        if (m_err != -1) {
            ::close(m_err);
        }
    }

    CVelkorChild(const CVelkorChild&) = delete;
    CVelkorChild& operator=(const CVelkorChild&) = delete;

    pid_t pid() const { return m_pid; }

    // Reads what is there; waits at most timeoutMs for something to arrive.
    void pump(int timeoutMs) {
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        if (poll(fds, 2, timeoutMs) <= 0) {
            return;
        }
        for (int index = 0; index < 2; ++index) {
            if (fds[index].fd == -1 || (fds[index].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t count = ::read(fds[index].fd, buffer, sizeof(buffer));
            if (count > 0) {
                (index == 0 ? m_stdout : m_stderr).append(buffer, static_cast<size_t>(count));
            } else if (count == 0) {
                ::close(fds[index].fd);
                (index == 0 ? m_out : m_err) = -1;
            }
        }
    }

    bool waitForStandardError(const std::string& text) {
        const auto deadline = Clock::now() + PATIENCE;
        while (m_stderr.find(text) == std::string::npos) {
            if (Clock::now() > deadline || (m_out == -1 && m_err == -1)) {
                return false;
            }
            pump(50);
        }
        return true;
    }

    // Reads everything and returns the exit status (-1 when the child did not exit).
    int wait() {
        const auto deadline = Clock::now() + PATIENCE;
        while ((m_out != -1 || m_err != -1) && Clock::now() < deadline) {
            pump(100);
        }
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_waited = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    const std::string& standardOutput() const { return m_stdout; }
    // Standard error without the bytes the test filled in.
    std::string standardError() const {
        return m_stderr.size() >= m_filler ? m_stderr.substr(m_filler) : std::string();
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    bool m_waited = false;
    size_t m_filler = 0;
    std::string m_stdout;
    std::string m_stderr;
};

std::string procText(const std::string& path) {
    std::ifstream stream(path);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

// The system call a thread of pid is blocked in (number and first argument), or -1.
long blockedSyscall(pid_t pid, pid_t thread, long* firstArgument = nullptr) {
    std::istringstream fields(
        procText("/proc/" + std::to_string(pid) + "/task/" + std::to_string(thread) + "/syscall"));
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

std::vector<pid_t> threadsOf(pid_t pid) {
    std::vector<pid_t> threads;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        threads.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    }
    return threads;
}

// True when signal is pending for the whole process (not yet taken by any thread).
bool processPending(pid_t pid, int signal) {
    std::istringstream status(procText("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("ShdPnd:", 0) == 0) {
            const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            return (mask & (1ull << (signal - 1))) != 0;
        }
    }
    return false;
}

template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = Clock::now() + PATIENCE;
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines = linesOf(text);
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(CMurelAdjSignalThread, SignalsDuringTheOnlyActionAreLoggedAndItFinishes) {
    E2EPage page;
    ASSERT_TRUE(page.writeBlock(sampleBlock()));
    RunningProcess holder(MURELPAGE_SIM_BINARY,
                          {"hold-lock", "--pagelock=" + page.lock(), "--seconds=60"});
    ASSERT_TRUE(holder.waitForOutput("locked\n"));

    CVelkorChild velkor(page.arguments({"--dump", "--log=stdout"}), false);
    // The dump action has started once the access object is mapped; it then waits for the lock.
    const std::string maps = "/proc/" + std::to_string(velkor.pid()) + "/maps";
    const std::string lockFile = "/dev/shm" + page.lock();
    ASSERT_TRUE(eventually([&] { return procText(maps).find(lockFile) != std::string::npos; }));

    ::kill(velkor.pid(), SIGTERM);
    ASSERT_TRUE(velkor.waitForStandardError("velkor: INFO: got signal 15 Terminated, ignored\n"));
    ::kill(velkor.pid(), SIGINT);
    ASSERT_TRUE(velkor.waitForStandardError("velkor: INFO: got signal 2 Interrupt, ignored\n"));
    ::kill(velkor.pid(), SIGHUP);
    ASSERT_TRUE(velkor.waitForStandardError("velkor: INFO: got signal 1 Hangup, ignored\n"));

    holder.signal(SIGTERM); // releases the lock
    holder.wait();
    EXPECT_EQ(velkor.wait(), 0);
    EXPECT_EQ(velkor.standardOutput(), sourceFile("tests/e2e/expected/adjust-block-dump-big.txt"));
    EXPECT_EQ(velkor.standardError(), "velkor: INFO: got signal 15 Terminated, ignored\n"
                                      "velkor: INFO: got signal 2 Interrupt, ignored\n"
                                      "velkor: INFO: got signal 1 Hangup, ignored\n"
                                      "SUCCESS\n");
}

TEST(CMurelAdjSignalThread, ARequestDuringTheDescriptionFileKeepsGetFromRunning) {
    // Standard error starts full, so the description-file action blocks on its success line
    // until the test reads; the request arrives while it waits. The page does not exist: had get
    // run, it would have reported that.
    const std::string config = sampleDescriptionPath();
    CVelkorChild velkor({"--page=" + uniqueShmName("page"), "--pagelock=" + uniqueShmName("lock"),
                         "--config=" + config, "--get=E2P.Networking.Eth0MacAddr", "--log=stdout"},
                        true);
    const pid_t pid = velkor.pid();
    ASSERT_TRUE(eventually([&] {
        long descriptor = -1;
        return blockedSyscall(pid, pid, &descriptor) == SYS_write && descriptor == 2;
    }));

    ::kill(pid, SIGTERM);
    // Taken by the watch thread, which counts it and then waits to write its own line.
    ASSERT_TRUE(eventually([&] {
        if (processPending(pid, SIGTERM)) {
            return false;
        }
        for (pid_t thread : threadsOf(pid)) {
            const long call = blockedSyscall(pid, thread);
            if (thread != pid && (call == SYS_futex || call == SYS_write)) {
                return true;
            }
        }
        return false;
    }));

    EXPECT_EQ(velkor.wait(), 1);
    EXPECT_EQ(velkor.standardOutput(), "");
    const std::string parsed =
        "velkor: INFO: config: '" + config + "' successfully parsed, 139 adjust nodes found";
    const std::string err = velkor.standardError();
    EXPECT_EQ(err.rfind(parsed + "\n", 0), 0u) << err;
    EXPECT_EQ(sortedLines(err),
              sortedLines(parsed + "\nvelkor: INFO: got signal 15 Terminated, ignored\nFAILURE\n"));
}

TEST(CMurelAdjSignalThread, FaultSignalsAreNotBlocked) {
    // The watch thread takes every asynchronous signal; the fault signals keep their default
    // action for the thread that raises them.
    E2EPage page;
    ASSERT_TRUE(page.writeBlock(sampleBlock()));
    RunningProcess holder(MURELPAGE_SIM_BINARY,
                          {"hold-lock", "--pagelock=" + page.lock(), "--seconds=60"});
    ASSERT_TRUE(holder.waitForOutput("locked\n"));
    CVelkorChild velkor(page.arguments({"--dump", "--log=stdout"}), false);
    const std::string status = "/proc/" + std::to_string(velkor.pid()) + "/status";
    const std::string maps = "/proc/" + std::to_string(velkor.pid()) + "/maps";
    ASSERT_TRUE(eventually(
        [&] { return procText(maps).find("/dev/shm" + page.lock()) != std::string::npos; }));
    std::istringstream lines(procText(status));
    std::string line;
    unsigned long long blocked = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("SigBlk:", 0) == 0) {
            blocked = std::stoull(line.substr(7), nullptr, 16);
        }
    }
    auto bit = [](int signal) { return 1ull << (signal - 1); };
    for (int signal :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGCHLD, SIGTSTP}) {
        EXPECT_NE(blocked & bit(signal), 0u) << signal;
    }
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT}) {
        EXPECT_EQ(blocked & bit(signal), 0u) << signal;
    }
    holder.signal(SIGTERM);
    holder.wait();
    EXPECT_EQ(velkor.wait(), 0);
    EXPECT_EQ(velkor.standardError(), "SUCCESS\n");
}

} // namespace
