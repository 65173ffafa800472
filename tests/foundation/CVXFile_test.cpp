// File access: results and errno of every operation, restarts after signals, time-outs, and a
// write that transfers nothing.
#include "foundation/CVXFile.h"

#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>

namespace {

using namespace std::chrono_literals;

std::atomic<int> g_signalsCaught{0};

// "<result> <errno name>" of a call made with errno set to EAGAIN, so that a cleared errno shows.
std::string outcome(int64_t result) {
    return std::to_string(result) + " " + (errno == 0 ? "0" : strerrorname_np(errno));
}
#define OUTCOME(call) (errno = EAGAIN, outcome(call))

// A temporary directory, and a SIGUSR1 handler without SA_RESTART, so that a blocking system call
// the signal hits fails with EINTR instead of being restarted by the kernel.
class CVXFileTest : public testing::Test {
protected:
    void SetUp() override {
        struct sigaction action {};
        action.sa_handler = [](int) { g_signalsCaught.fetch_add(1); };
        sigaction(SIGUSR1, &action, &m_previous);
        g_signalsCaught = 0;
    }
    void TearDown() override { sigaction(SIGUSR1, &m_previous, nullptr); }

    std::string path(const char* name) const { return m_directory.file(name); }
    std::string makeFifo() const {
        EXPECT_EQ(mkfifo(path("fifo").c_str(), 0600), 0) << std::strerror(errno);
        return path("fifo");
    }
    // A peer thread that sends count signals to this thread, one every interval, then does work.
    static std::thread interruptThen(std::function<void()> work, int count = 5,
                                     std::chrono::milliseconds interval = 20ms) {
        return std::thread([work = std::move(work), count, interval, target = pthread_self()] {
            for (int i = 0; i < count; ++i) {
                std::this_thread::sleep_for(interval);
                pthread_kill(target, SIGUSR1);
            }
            work();
        });
    }
    static void writeToFifo(const std::string& fifo, const char* text) {
        const int writer = ::open(fifo.c_str(), O_WRONLY);
        EXPECT_EQ(::write(writer, text, std::strlen(text)), static_cast<ssize_t>(strlen(text)));
        ::close(writer);
    }

    TempDir m_directory;
    struct sigaction m_previous {};
};

TEST_F(CVXFileTest, OpenCloseAndStatusReportTheSystemsErrno) {
    SlogCapture log;
    {
        CVXFile file;
        EXPECT_TRUE(file.close()); // nothing open: success at once
        EXPECT_EQ(outcome(CVXFile(path("missing").c_str(), O_RDONLY).descriptor()), "-1 ENOENT");
        ASSERT_TRUE(file.open(m_directory.write("first", "1111").c_str(), O_RDONLY));
        const int oldDescriptor = file.descriptor();
        ASSERT_TRUE(file.open(m_directory.write("second", "2222").c_str(), O_RDONLY));
        if (file.descriptor() != oldDescriptor) { // opening again closes the old one first
            EXPECT_EQ(fcntl(oldDescriptor, F_GETFD), -1);
        }
        char buffer[4];
        EXPECT_EQ(file.read(buffer, 4), 4);
        EXPECT_EQ(std::string(buffer, 4), "2222");
        EXPECT_EQ(OUTCOME(file.open(path("missing").c_str(), O_RDONLY)), "0 ENOENT");
        EXPECT_EQ(file.descriptor(), -1);
    }
    EXPECT_TRUE(log.lines().empty()); // destroying closed files logs nothing

    VXFileStatus status{};
    ASSERT_TRUE(CVXFileSystem::status(m_directory.path().c_str(), status));
    EXPECT_FALSE(CVXFileSystem::isRegularFile(status));
    ASSERT_EQ(symlink(path("second").c_str(), path("link").c_str()), 0);
    ASSERT_TRUE(CVXFileSystem::status(path("link").c_str(), status)); // links are followed
    EXPECT_TRUE(CVXFileSystem::isRegularFile(status));
    EXPECT_EQ(status.st_size, 4);
    EXPECT_EQ(OUTCOME(CVXFileSystem::status(path("missing").c_str(), status)), "0 ENOENT");
}

TEST_F(CVXFileTest, ReadWriteSeekAndTellResultsAndErrno) {
    const mode_t previousMask = umask(022);
    CVXFile written(path("written").c_str(), O_WRONLY | O_CREAT | O_TRUNC);
    umask(previousMask);
    EXPECT_TRUE(written.write("abcd", 4));
    EXPECT_TRUE(written.close());
    VXFileStatus status{};
    ASSERT_TRUE(CVXFileSystem::status(path("written").c_str(), status));
    EXPECT_EQ(status.st_mode & 07777, 0755u); // 0777 less the umask

    CVXFile file(path("written").c_str(), O_RDONLY);
    char buffer[10] = {};
    EXPECT_EQ(file.read(buffer, sizeof buffer), 4); // a single read, fewer bytes than asked
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(OUTCOME(file.read(buffer, sizeof buffer)), "0 0"); // end of file
    EXPECT_EQ(OUTCOME(file.read(nullptr, 5)), "-1 EINVAL");
    EXPECT_EQ(OUTCOME(file.read(nullptr, 0)), "0 0"); // the system is asked, and reads nothing
    EXPECT_EQ(OUTCOME(file.write("abc", 3)), "0 EBADF");
    EXPECT_TRUE(file.seek(-2, CVXFile::SEEK_FROM_END));
    EXPECT_EQ(file.tell(), 2);
    EXPECT_EQ(file.read(buffer, 4), 2);
    EXPECT_EQ(std::string(buffer, 2), "cd");
    EXPECT_TRUE(file.seek(100, CVXFile::SEEK_FROM_START)); // beyond the end
    EXPECT_TRUE(file.seek(-10, CVXFile::SEEK_FROM_CURRENT));
    EXPECT_EQ(file.tell(), 90);
    EXPECT_EQ(file.read(buffer, 4), 0);
    const int64_t beyondFourGiB = (int64_t{5} << 30) + 3;
    EXPECT_TRUE(file.seek(beyondFourGiB, CVXFile::SEEK_FROM_START));
    EXPECT_EQ(file.tell(), beyondFourGiB);
    EXPECT_EQ(OUTCOME(file.seek(-1, CVXFile::SEEK_FROM_START)), "0 EINVAL");

    CVXFile closed; // every system call fails with EBADF
    EXPECT_EQ(OUTCOME(closed.read(nullptr, 0)), "-1 EBADF");
    EXPECT_EQ(OUTCOME(closed.write(nullptr, 0)), "1 0"); // no system call
    EXPECT_EQ(OUTCOME(closed.write(nullptr, 3)), "0 EINVAL");
    EXPECT_EQ(OUTCOME(closed.write("abc", 3)), "0 EBADF");
    EXPECT_EQ(OUTCOME(closed.tell()), "-1 EBADF");
    EXPECT_EQ(OUTCOME(closed.seek(0, CVXFile::SEEK_FROM_START)), "0 EBADF");
}

TEST_F(CVXFileTest, AFailedCloseKeepsTheDescriptorAndDestroyLogsIt) {
    SlogCapture log;
    {
        CVXFile file(m_directory.write("four", "abcd").c_str(), O_RDONLY);
        const int descriptor = file.descriptor();
        ASSERT_EQ(::close(descriptor), 0); // taken away behind the object's back
        EXPECT_EQ(OUTCOME(file.close()), "0 EBADF");
        EXPECT_EQ(file.descriptor(), descriptor);
        EXPECT_TRUE(log.lines().empty());
    }
    EXPECT_EQ(log.lines(), std::vector<SlogLine>{processLine(
                               VX_SLOG_ERROR, "closing file failed (operating system error 9, " +
                                                  std::string(std::strerror(EBADF)) + ")")});
}

TEST_F(CVXFileTest, OpenAndReadAreRestartedAfterSignals) {
    const std::string fifo = makeFifo();
    std::thread peer = interruptThen([&fifo] {
        // Opening for writing succeeds only while the reader waits in open, so an open that gave
        // up after a signal fails the test instead of hanging.
        int writer = -1;
        for (int attempt = 0; writer == -1 && attempt < 1000; ++attempt) {
            writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            std::this_thread::sleep_for(writer == -1 ? 5ms : 0ms);
        }
        ASSERT_NE(writer, -1) << "the reader is not waiting in open";
        ::close(writer);
    });
    CVXFile file(fifo.c_str(), O_RDONLY); // blocks until the peer opens for writing
    peer.join();
    EXPECT_GE(g_signalsCaught.exchange(0), 5);

    ASSERT_TRUE(file.open(fifo.c_str(), O_RDWR)); // its own writer: reads block instead of ending
    peer = interruptThen([&fifo] { writeToFifo(fifo, "hello"); });
    char buffer[16] = {};
    const int32_t count = file.read(buffer, sizeof buffer);
    peer.join();
    EXPECT_GE(g_signalsCaught.load(), 5);
    ASSERT_EQ(count, 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
}

// Opens the fifo for non-blocking writing, shrinks the pipe and fills it; returns the descriptor
// and the number of bytes written through it.
std::pair<int, size_t> fillFifo(const std::string& fifo) {
    const int filler = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    fcntl(filler, F_SETPIPE_SZ, 4096);
    const std::string chunk(512, '.');
    size_t filled = 0;
    for (ssize_t count = 0; (count = ::write(filler, chunk.data(), chunk.size())) > 0;) {
        filled += static_cast<size_t>(count);
    }
    EXPECT_EQ(errno, EAGAIN);
    return {filler, filled};
}

TEST_F(CVXFileTest, WriteGoesOnAfterSignalsAndPartialWritesUntilAllIsWritten) {
    const std::string fifo = makeFifo();
    CVXFile file(fifo.c_str(), O_RDWR);
    const auto [filler, filled] = fillFifo(fifo);
    std::string data(64 * 1024, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>('a' + i % 23);
    }
    std::string received;
    std::thread peer = interruptThen([&, total = filled + data.size()] {
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        std::vector<char> buffer(8192);
        const auto giveUp = std::chrono::steady_clock::now() + 10s;
        while (received.size() < total && std::chrono::steady_clock::now() < giveUp) {
            const ssize_t count = ::read(reader, buffer.data(), buffer.size());
            received.append(buffer.data(), static_cast<size_t>(count > 0 ? count : 0));
            std::this_thread::sleep_for(count > 0 ? 0ms : 1ms);
        }
        ::close(reader);
    });
    EXPECT_TRUE(file.write(data.data(), static_cast<uint32_t>(data.size())));
    peer.join();
    ::close(filler);
    EXPECT_GE(g_signalsCaught.load(), 5);
    ASSERT_EQ(received.size(), filled + data.size());
    EXPECT_TRUE(received.substr(filled) == data);
}

TEST_F(CVXFileTest, TimedReadAndWriteEndAtTheDeadline) {
    const std::string fifo = makeFifo();
    CVXFile file(fifo.c_str(), O_RDWR);
    char buffer[16] = {};
    EXPECT_EQ(OUTCOME(file.read(buffer, sizeof buffer, 50)), "0 ETIMEDOUT");
    // Signals keep arriving past the deadline: the read still ends, with ETIMEDOUT.
    std::thread peer = interruptThen([] {}, 15, 10ms);
    EXPECT_EQ(OUTCOME(file.read(buffer, sizeof buffer, 60)), "0 ETIMEDOUT");
    peer.join();

    peer = interruptThen([&fifo] { writeToFifo(fifo, "later"); });
    const int32_t count = file.read(buffer, sizeof buffer, 20000); // data before the deadline
    peer.join();
    ASSERT_EQ(count, 5) << std::strerror(errno);
    EXPECT_EQ(std::string(buffer, 5), "later");

    const int filler = fillFifo(fifo).first;
    EXPECT_EQ(OUTCOME(file.write("more", 4, 50)), "0 ETIMEDOUT");
    ::close(filler);

    CVXFile regular(path("timed").c_str(), O_RDWR | O_CREAT | O_TRUNC);
    EXPECT_TRUE(regular.write("abcd", 4, 1000));
    EXPECT_TRUE(regular.seek(0, CVXFile::SEEK_FROM_START));
    EXPECT_EQ(regular.read(buffer, sizeof buffer, 1000), 4);
    EXPECT_EQ(OUTCOME(regular.read(buffer, sizeof buffer, 1000)), "0 0");
}

// The child's exit status: 0 when both writes to /dev/null ended with EIO once a seccomp filter
// made every write system call on it return 0 bytes, 77 without seccomp, else the number of the
// first check that failed. A write loop that never ends is killed by SIGALRM.
[[noreturn]] void runZeroWriteChild() {
    alarm(10);
    CVXFile file("/dev/null", O_WRONLY);
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the filter reads the low word");
    struct sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_write, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(file.descriptor()), 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog filter = {static_cast<unsigned short>(std::size(program)), program};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) {
        _exit(77);
    }
    _exit(::write(file.descriptor(), "probe", 5) != 0      ? 1 // the filter does not work
          : OUTCOME(file.write("abc", 3)) != "0 EIO"       ? 2
          : OUTCOME(file.write("abc", 3, 1000)) != "0 EIO" ? 3
                                                           : 0);
}

TEST(CVXFileZeroWriteTest, AWriteThatTransfersNothingEndsWithEio) {
    const pid_t child = fork();
    ASSERT_NE(child, -1) << std::strerror(errno);
    if (child == 0) {
        runZeroWriteChild();
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "seccomp filters are not available here";
    }
    ASSERT_FALSE(WIFSIGNALED(status))
        << "the write loop did not end (signal " << WTERMSIG(status) << ")";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
