#include "tests/support/ProcessRunner.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void closeIfOpen(int& fd) {
    if (fd != -1) {
        ::close(fd);
        fd = -1;
    }
}

[[noreturn]] void childFail(const char* what) {
    const int error = errno;
    dprintf(2, "ProcessRunner: %s failed: %s\n", what, strerror(error));
    _exit(127);
}

} // namespace

RunningProcess::RunningProcess(const std::string& program,
                               const std::vector<std::string>& arguments,
                               const ProcessOptions& options)
    : m_timeoutMs(options.timeoutMs) {
    int outPipe[2];
    int errPipe[2];
    int inPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0 ||
        pipe2(inPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    if (options.fullStandardError) {
        fcntl(errPipe[1], F_SETPIPE_SZ, 4096);
        fcntl(errPipe[1], F_SETFL, O_NONBLOCK);
        while (::write(errPipe[1], "#", 1) == 1) {
            ++m_errFiller;
        }
        fcntl(errPipe[1], F_SETFL, 0);
    }
    std::vector<std::string> argumentCopies;
#ifdef VELKOR_TEST_EMULATOR
    // Cross builds: the target's programs run under the emulator (its words come first).
    std::istringstream emulator(VELKOR_TEST_EMULATOR);
    for (std::string word; emulator >> word;) {
        argumentCopies.push_back(word);
    }
#endif
    argumentCopies.push_back(program);
    argumentCopies.insert(argumentCopies.end(), arguments.begin(), arguments.end());

    m_pid = fork();
    if (m_pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (m_pid == 0) {
        // Child: only async-signal-safe work would be strictly correct after fork in a threaded
        // test; the test processes are single-threaded when they start children.
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        for (const std::string& change : options.environment) {
            const size_t equals = change.find('=');
            if (equals == std::string::npos) {
                unsetenv(change.c_str());
            } else {
                setenv(change.substr(0, equals).c_str(), change.substr(equals + 1).c_str(), 1);
            }
        }
        if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) {
            childFail("chdir");
        }
        std::vector<char*> argv;
        for (std::string& argument : argumentCopies) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
#ifdef VELKOR_TEST_EMULATOR
        execvp(argv[0], argv.data());
#else
        execv(program.c_str(), argv.data());
#endif
        childFail("execv");
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ::close(inPipe[0]);
    m_outFd = outPipe[0];
    m_errFd = errPipe[0];
    // Feed standard input and close it (small inputs only: the pipe buffer holds 64 KiB).
    if (!options.standardInput.empty()) {
        const ssize_t written =
            ::write(inPipe[1], options.standardInput.data(), options.standardInput.size());
        (void)written;
    }
    ::close(inPipe[1]);
}

RunningProcess::~RunningProcess() {
    if (!m_waited && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    closeIfOpen(m_outFd);
    closeIfOpen(m_errFd);
}

void RunningProcess::pump(int timeoutMs) {
    pollfd fds[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
    const int ready = poll(fds, 2, timeoutMs);
    if (ready <= 0) {
        return;
    }
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
        if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        int& fd = i == 0 ? m_outFd : m_errFd;
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0 && i == 1 && m_errFiller > 0) {
            const size_t skipped = std::min(m_errFiller, static_cast<size_t>(count));
            m_errFiller -= skipped;
            m_result.err.append(buffer + skipped, static_cast<size_t>(count) - skipped);
        } else if (count > 0) {
            (i == 0 ? m_result.out : m_result.err).append(buffer, static_cast<size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            closeIfOpen(fd);
        }
    }
}

bool RunningProcess::waitForOutput(const std::string& text, int timeoutMs) {
    return waitFor(m_result.out, text, timeoutMs);
}

bool RunningProcess::waitForError(const std::string& text, int timeoutMs) {
    return waitFor(m_result.err, text, timeoutMs);
}

bool RunningProcess::waitFor(const std::string& stream, const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (stream.find(text) == std::string::npos) {
        if (m_outFd == -1 && m_errFd == -1) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            return false;
        }
        if (m_outFd == -1) {
            pollfd fd{m_errFd, POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(left)) > 0) {
                pump(0);
            }
            continue;
        }
        pump(static_cast<int>(left));
    }
    return true;
}

void RunningProcess::signal(int signalNumber) {
    if (m_pid > 0 && !m_waited) {
        ::kill(m_pid, signalNumber);
    }
}

ProcessResult RunningProcess::wait() {
    if (m_waited) {
        return m_result;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeoutMs);
    while (m_outFd != -1 || m_errFd != -1) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            m_result.timedOut = true;
            ::kill(m_pid, SIGKILL);
            break;
        }
        pump(static_cast<int>(std::min<long long>(left, 100)));
    }
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    // Collect what is left after a kill.
    while (m_outFd != -1 || m_errFd != -1) {
        pump(0);
        if (m_result.timedOut) {
            break;
        }
    }
    closeIfOpen(m_outFd);
    closeIfOpen(m_errFd);
    m_waited = true;
    if (WIFEXITED(status)) {
        m_result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        m_result.termSignal = WTERMSIG(status);
    }
    return m_result;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options) {
    RunningProcess process(program, arguments, options);
    return process.wait();
}

std::string uniqueShmName(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    std::ostringstream name;
    name << "/velkor-test-" << getpid() << "-" << counter++ << "-" << tag;
    return name.str();
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
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string readFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}
