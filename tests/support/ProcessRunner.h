// Runs a program as a child process and captures what it prints, for end-to-end tests.
#pragma once

#include <csignal>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct ProcessOptions {
    // Environment changes on top of the test's own environment: "NAME=value" sets, "NAME" unsets.
    std::vector<std::string> environment;
    // Standard error starts as a full pipe: the child's first write blocks until the test reads.
    bool fullStandardError = false;
    std::vector<int> pendingSignals; // blocked and pending when the program starts
};

struct ProcessResult {
    int exitCode = -1; // exit status, -1 when the child did not exit normally
    std::string out;   // everything written to standard output
    std::string err;   // everything written to standard error
};

// A started child; wait() collects its output and status (killing it after 30 s).
class RunningProcess {
public:
    RunningProcess(const std::string& program, const std::vector<std::string>& arguments,
                   const ProcessOptions& options = {});
    ~RunningProcess(); // kills and reaps a child that was not waited for
    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;

    pid_t pid() const { return m_pid; }
    // Reads standard output (error) until it contains text or the child ends; true when found.
    bool waitForOutput(const std::string& text) { return waitFor(m_result.out, text); }
    bool waitForError(const std::string& text) { return waitFor(m_result.err, text); }
    void signal(int signalNumber) { ::kill(m_pid, signalNumber); } // before wait() only
    ProcessResult wait();

private:
    void pump(int timeoutMs);
    bool waitFor(const std::string& stream, const std::string& text);

    pid_t m_pid = -1;
    int m_fds[2] = {-1, -1}; // standard output, standard error
    bool m_waited = false;
    size_t m_errFiller = 0; // bytes of standard error that the test filled in
    ProcessResult m_result;
};

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

// Runs body in a child process with an empty /dev/shm of its own (a private mount namespace) and
// returns its exit status (128 + signal when it died, killed after 60 s), 77 when not root.
int runWithPrivateShm(const std::function<int()>& body);

// A shared-memory object name unique to this process and call ("/velkor-test-<pid>-<n>-<tag>").
std::string uniqueShmName(const std::string& tag);

// A fresh directory under the system temp directory, removed with its contents when destroyed.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::string m_path;
};

std::string readFile(const std::string& path);

// Polls done() every millisecond for up to 20 s; true when it held.
bool eventually(const std::function<bool()>& done);
