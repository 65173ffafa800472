#include "tests/support/ProcessRunner.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sched.h>
#include <sstream>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

void closeIfOpen(int& fd) {
    if (fd != -1) {
        ::close(fd);
        fd = -1;
    }
}

int millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
}

} // namespace

RunningProcess::RunningProcess(const std::string& program,
                               const std::vector<std::string>& arguments,
                               const ProcessOptions& options) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    if (options.fullStandardError) {
        fcntl(err[1], F_SETPIPE_SZ, 4096);
        fcntl(err[1], F_SETFL, O_NONBLOCK);
        while (::write(err[1], "#", 1) == 1) {
            ++m_errFiller;
        }
        fcntl(err[1], F_SETFL, 0);
    }
    std::vector<std::string> words;
#ifdef VELKOR_TEST_EMULATOR
    // Cross builds: the target's programs run under the emulator.
    std::istringstream emulator(VELKOR_TEST_EMULATOR);
    for (std::string word; emulator >> word;) {
        words.push_back(word);
    }
#endif
    words.push_back(program);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    m_pid = fork();
    if (m_pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (m_pid == 0) {
        // Single-threaded test processes start children; standard input is empty.
        dup2(::open("/dev/null", O_RDONLY), 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (const std::string& change : options.environment) {
            const size_t equals = change.find('=');
            if (equals == std::string::npos) {
                unsetenv(change.c_str());
            } else {
                setenv(change.substr(0, equals).c_str(), change.c_str() + equals + 1, 1);
            }
        }
        sigset_t pending;
        sigemptyset(&pending);
        for (const int signal : options.pendingSignals) {
            sigaddset(&pending, signal);
        }
        sigprocmask(SIG_BLOCK, &pending, nullptr);
        for (const int signal : options.pendingSignals) {
            ::kill(getpid(), signal);
        }
        execvp(argv[0], argv.data()); // a path with a slash is not searched for
        dprintf(2, "ProcessRunner: cannot start %s: %s\n", argv[0], strerror(errno));
        _exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    m_fds[0] = out[0];
    m_fds[1] = err[0];
}

RunningProcess::~RunningProcess() {
    if (!m_waited && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    closeIfOpen(m_fds[0]);
    closeIfOpen(m_fds[1]);
}

void RunningProcess::pump(int timeoutMs) {
    pollfd fds[2] = {{m_fds[0], POLLIN, 0}, {m_fds[1], POLLIN, 0}}; // poll ignores a closed -1
    if (poll(fds, 2, timeoutMs) <= 0) {
        return;
    }
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
        const ssize_t count = fds[i].revents == 0 ? 0 : ::read(m_fds[i], buffer, sizeof buffer);
        if (fds[i].revents != 0 && (count == 0 || (count < 0 && errno != EINTR))) {
            closeIfOpen(m_fds[i]);
        }
        // The filler of standard error is not part of its text.
        const size_t got = static_cast<size_t>(std::max<ssize_t>(count, 0));
        const size_t skipped = i == 0 ? 0 : std::min(m_errFiller, got);
        m_errFiller -= skipped;
        (i == 0 ? m_result.out : m_result.err).append(buffer + skipped, got - skipped);
    }
}

bool RunningProcess::waitFor(const std::string& stream, const std::string& text) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (stream.find(text) == std::string::npos) {
        if ((m_fds[0] == -1 && m_fds[1] == -1) || Clock::now() >= deadline) {
            return false;
        }
        pump(millisecondsUntil(deadline));
    }
    return true;
}

ProcessResult RunningProcess::wait() {
    if (m_waited) {
        return m_result;
    }
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (m_fds[0] != -1 || m_fds[1] != -1) {
        if (Clock::now() >= deadline) {
            ::kill(m_pid, SIGKILL);
            break;
        }
        pump(millisecondsUntil(deadline));
    }
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    closeIfOpen(m_fds[0]);
    closeIfOpen(m_fds[1]);
    m_waited = true;
    m_result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m_result;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options) {
    return RunningProcess(program, arguments, options).wait();
}

int runWithPrivateShm(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("velkor-test-shm", "/dev/shm", "tmpfs", 0, "mode=1777,size=1m") != 0) {
            _exit(77);
        }
        alarm(60);
        const int result = body();
        std::fflush(nullptr);
        _exit(result);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string uniqueShmName(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    return "/velkor-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" + tag;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velkor-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
    const std::string path = file(name);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string readFile(const std::string& path) {
    std::ostringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
}

bool eventually(const std::function<bool()>& done) {
    for (const auto end = Clock::now() + std::chrono::seconds(20); !done(); usleep(1000)) {
        if (Clock::now() > end) {
            return false;
        }
    }
    return true;
}
