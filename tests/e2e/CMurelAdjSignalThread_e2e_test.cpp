// Termination requests and other signals sent to a running velkor.
#include "tests/support/Emulator.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/syscall.h>

namespace {

using Args = std::vector<std::string>;
const std::string SAMPLE = VELKOR_SOURCE_DIR "/examples/adjust-block.bin";
const std::string PAGE = uniqueShmName("page");
const std::string LOCK = uniqueShmName("lock");

// The words followed by the options that name the test's page.
Args onPage(Args words) {
    words.insert(words.end(), {"--page=" + PAGE, "--pagelock=" + LOCK});
    return words;
}

// Each test has the sample block in a page of its own.
class CMurelAdjSignalThread : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(runProcess(MURELPAGE_SIM_BINARY, onPage({"write", "--block=" + SAMPLE})).exitCode,
                  0);
    }
    void TearDown() override { runProcess(MURELPAGE_SIM_BINARY, onPage({"remove"})); }
};

void expectRun(const ProcessResult& result, int exitCode, const std::string& out,
               const std::string& err) {
    EXPECT_EQ(result.exitCode, exitCode);
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, err);
}

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

TEST_F(CMurelAdjSignalThread, SignalsDuringTheOnlyActionAreLoggedAndItFinishes) {
    RunningProcess holder(MURELPAGE_SIM_BINARY, onPage({"hold-lock", "--seconds=60"}));
    ASSERT_TRUE(holder.waitForOutput("locked\n"));
    RunningProcess velkor(VELKOR_BINARY, onPage({"--dump", "--log=stdout"}));
    // The dump has started once the access object is mapped; it then waits for the lock.
    ASSERT_TRUE(eventually([&] {
        return procText(velkor.pid(), "maps").find("/dev/shm" + LOCK) != std::string::npos;
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
    const std::string dump = runProcess(VELKOR_BINARY, {"--from=" + SAMPLE, "--dump"}).out;
    expectRun(velkor.wait(), 0, dump, logged + "SUCCESS\n");
}

// Whether main (or else another thread of the process) waits for a lock or standard error.
bool blockedOnLockOrStandardError(pid_t pid, bool main) {
    std::error_code ignored;
    const std::string mainThread = std::to_string(pid);
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + mainThread + "/task", ignored)) {
        const std::string thread = task.path().filename().string();
        long argument = -1;
        const long call = blockedSyscall(pid, thread, &argument);
        if ((thread == mainThread) == main &&
            (call == SYS_futex || (call == SYS_write && argument == 2))) {
            return true;
        }
    }
    return false;
}

// The watch thread is held up on a full standard error while a signal waits to be taken or to be
// logged: main must neither start an action after a request nor end before every line is out.
TEST_F(CMurelAdjSignalThread, RequestsBeforeAnActionStopItAndEveryLineIsOutBeforeTheEnd) {
    const std::string hangup = "velkor: INFO: got signal 1 Hangup, ignored\n";
    const std::string stopped = "velkor: INFO: got signal 15 Terminated, ignored\nFAILURE\n";
    const std::string description = VELKOR_SOURCE_DIR "/examples/adjust-block.txt";
    const std::string parsed =
        "velkor: INFO: config: '" + description + "' successfully parsed, 139 adjust nodes found\n";
    const std::string config = "--config=" + description;
    const std::string usage = readFile(VELKOR_SOURCE_DIR "/tests/e2e/expected/usage.txt");
    const struct {
        const char* name;
        Args arguments;
        std::vector<int> pendingAtStart;
        // Sent once main blocks on its first line: taken, but not logged when main goes on.
        bool sentWhileMainWrites;
        int exitCode;
        std::string out;
        std::string err;
    } cases[] = {
        // SIGHUP is taken first and waits to be logged; SIGTERM is still pending when main is
        // about to start the dump.
        {"pending at start", {"--dump=hex"}, {SIGHUP, SIGTERM}, false, 1, "", hangup + stopped},
        // Had get run, it would have reported the unknown entry.
        {"description file", {config, "--get=E2P.A.B"}, {}, true, 1, "", parsed + stopped},
        // Main writes nothing to standard error and would end while the line waits.
        {"usage text", {"--help"}, {SIGHUP}, false, 0, usage, hangup},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (kUnderEmulator && c.sentWhileMainWrites) {
            continue; // the moment to send is seen only in /proc of the program itself
        }
        ProcessOptions options;
        options.fullStandardError = true;
        options.pendingSignals = c.pendingAtStart;
        Args arguments = onPage(c.arguments);
        arguments.push_back("--log=stdout");
        RunningProcess velkor(VELKOR_BINARY, arguments, options);
        const pid_t pid = velkor.pid();
        const std::string main = std::to_string(pid);
        if (c.sentWhileMainWrites) {
            ASSERT_TRUE(eventually([&] {
                long descriptor = -1;
                return blockedSyscall(pid, main, &descriptor) == SYS_write && descriptor == 2;
            }));
            velkor.signal(SIGTERM);
            ASSERT_TRUE(eventually([&] {
                return !inStatusMask(pid, "ShdPnd", SIGTERM) &&
                       blockedOnLockOrStandardError(pid, false);
            }));
        } else if (!kUnderEmulator) {
            // Both threads wait (main for the watch thread, or for standard error after an action
            // it should not have started), or the process has ended.
            ASSERT_TRUE(eventually([&] {
                return procText(pid, "status").find("State:\tZ") != std::string::npos ||
                       (blockedOnLockOrStandardError(pid, true) &&
                        blockedOnLockOrStandardError(pid, false));
            }));
        }
        expectRun(velkor.wait(), c.exitCode, c.out, c.err);
    }
}

} // namespace
