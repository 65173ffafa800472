#include "foundation/CVXFile.h"

#include "foundation/platform/VXSlog.h"
#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif

namespace {

using namespace std::chrono_literals;

std::atomic<int> g_signalsCaught{0};

void countSignal(int) {
    g_signalsCaught.fetch_add(1);
}

// Installs a SIGUSR1 handler without SA_RESTART, so a blocking system call that the signal hits
// fails with EINTR instead of being restarted by the kernel.
class CInterruptingSignal {
public:
    CInterruptingSignal() {
        struct sigaction action {};
        action.sa_handler = countSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(SIGUSR1, &action, &m_previous);
        g_signalsCaught = 0;
    }
    ~CInterruptingSignal() { sigaction(SIGUSR1, &m_previous, nullptr); }
    CInterruptingSignal(const CInterruptingSignal&) = delete;
    CInterruptingSignal& operator=(const CInterruptingSignal&) = delete;

    // Sends count signals to thread, one every interval.
    static void interrupt(pthread_t thread, int count,
                          std::chrono::milliseconds interval = std::chrono::milliseconds(20)) {
        for (int i = 0; i < count; ++i) {
            std::this_thread::sleep_for(interval);
            pthread_kill(thread, SIGUSR1);
        }
    }

private:
    struct sigaction m_previous {};
};

class CVXFileTest : public ::testing::Test {
protected:
    std::string path(const char* name) const { return m_directory.file(name); }
    std::string makeFile(const char* name, const std::string& content) const {
        return m_directory.write(name, content);
    }
    std::string makeFifo(const char* name) const {
        const std::string fifoPath = path(name);
        EXPECT_EQ(mkfifo(fifoPath.c_str(), 0600), 0) << std::strerror(errno);
        return fifoPath;
    }

    TempDir m_directory;
};

TEST_F(CVXFileTest, OpeningAMissingFileFailsWithEnoentAndClosingLogsNothing) {
    SlogCapture log;
    {
        CVXFile file;
        EXPECT_EQ(file.descriptor(), -1);
        EXPECT_FALSE(file.open(path("missing").c_str(), O_RDONLY));
        EXPECT_EQ(errno, ENOENT);
        EXPECT_EQ(file.descriptor(), -1);
        EXPECT_FALSE(file.isOpen());

        CVXFile constructed(path("missing").c_str(), O_RDONLY);
        EXPECT_EQ(errno, ENOENT);
        EXPECT_FALSE(constructed.isOpen());
        EXPECT_TRUE(constructed.close());
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(CVXFileTest, WrittenBytesReadBackAndTheFileGetsMode0777LessTheUmask) {
    const std::string filePath = path("written");
    const mode_t previousMask = umask(022);
    {
        CVXFile file(filePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
        ASSERT_TRUE(file.isOpen());
        EXPECT_TRUE(file.write("abcd", 4));
        EXPECT_TRUE(file.close());
        EXPECT_EQ(file.descriptor(), -1);
        EXPECT_TRUE(file.close()); // closing a closed file succeeds at once
    }
    umask(previousMask);

    VXFileStatus status{};
    ASSERT_TRUE(CVXFileSystem::status(filePath.c_str(), status));
    EXPECT_EQ(status.st_mode & 07777, 0755u);
    EXPECT_EQ(status.st_size, 4);
    EXPECT_TRUE(CVXFileSystem::isRegularFile(status));

    CVXFile file(filePath.c_str(), O_RDONLY);
    char buffer[10] = {};
    EXPECT_EQ(file.read(buffer, sizeof buffer), 4); // a single read, fewer bytes than asked
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    errno = EAGAIN;
    EXPECT_EQ(file.read(buffer, sizeof buffer), 0);
    EXPECT_EQ(errno, 0);
}

TEST_F(CVXFileTest, ReadRejectsANullBufferOnlyWhenBytesAreAsked) {
    CVXFile file(makeFile("four", "abcd").c_str(), O_RDONLY);
    EXPECT_EQ(file.read(nullptr, 5), -1);
    EXPECT_EQ(errno, EINVAL);
    errno = EAGAIN;
    EXPECT_EQ(file.read(nullptr, 0), 0); // the system is asked, and reads nothing
    EXPECT_EQ(errno, 0);

    CVXFile closed;
    EXPECT_EQ(closed.read(nullptr, 0), -1); // the system is asked: bad descriptor
    EXPECT_EQ(errno, EBADF);
}

TEST_F(CVXFileTest, WriteOfNothingSucceedsWithoutTheSystem) {
    CVXFile closed; // any system call would fail with EBADF
    errno = EAGAIN;
    EXPECT_TRUE(closed.write("x", 0));
    EXPECT_EQ(errno, 0);
    EXPECT_TRUE(closed.write(nullptr, 0));
    EXPECT_EQ(errno, 0);

    EXPECT_FALSE(closed.write(nullptr, 3));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(closed.write("abc", 3));
    EXPECT_EQ(errno, EBADF);

    CVXFile readOnly(makeFile("ro", "abcd").c_str(), O_RDONLY);
    EXPECT_FALSE(readOnly.write("abc", 3));
    EXPECT_EQ(errno, EBADF);
}

TEST_F(CVXFileTest, OpeningAgainClosesTheOldDescriptorFirst) {
    CVXFile file(makeFile("first", "1111").c_str(), O_RDONLY);
    const int oldDescriptor = file.descriptor();
    ASSERT_NE(oldDescriptor, -1);
    ASSERT_TRUE(file.open(makeFile("second", "2222").c_str(), O_RDONLY));
    if (file.descriptor() != oldDescriptor) {
        EXPECT_EQ(fcntl(oldDescriptor, F_GETFD), -1);
    }
    char buffer[4];
    EXPECT_EQ(file.read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "2222");

    EXPECT_FALSE(file.open(path("missing").c_str(), O_RDONLY));
    EXPECT_EQ(file.descriptor(), -1);
}

TEST_F(CVXFileTest, SeekAndTellUseSixtyFourBitOffsets) {
    CVXFile file(makeFile("four", "abcd").c_str(), O_RDONLY);
    EXPECT_EQ(file.tell(), 0);
    EXPECT_TRUE(file.seek(-2, CVXFile::SEEK_FROM_END));
    EXPECT_EQ(file.tell(), 2);
    char buffer[4];
    EXPECT_EQ(file.read(buffer, 4), 2);
    EXPECT_EQ(std::string(buffer, 2), "cd");

    EXPECT_TRUE(file.seek(100, CVXFile::SEEK_FROM_START));
    EXPECT_EQ(file.tell(), 100);
    EXPECT_EQ(file.read(buffer, 4), 0);
    EXPECT_TRUE(file.seek(-10, CVXFile::SEEK_FROM_CURRENT));
    EXPECT_EQ(file.tell(), 90);

    const int64_t beyondFourGiB = (int64_t{5} << 30) + 3;
    EXPECT_TRUE(file.seek(beyondFourGiB, CVXFile::SEEK_FROM_START));
    EXPECT_EQ(file.tell(), beyondFourGiB);

    EXPECT_FALSE(file.seek(-1, CVXFile::SEEK_FROM_START));
    EXPECT_EQ(errno, EINVAL);

    CVXFile closed;
    EXPECT_EQ(closed.tell(), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(closed.seek(0, CVXFile::SEEK_FROM_START));
    EXPECT_EQ(errno, EBADF);
}

TEST_F(CVXFileTest, StatusTellsDirectoriesFromRegularFilesAndFollowsLinks) {
    VXFileStatus status{};
    ASSERT_TRUE(CVXFileSystem::status(m_directory.path().c_str(), status));
    EXPECT_NE(status.st_mode & 0xF000, 0x8000u);
    EXPECT_FALSE(CVXFileSystem::isRegularFile(status));

    const std::string filePath = makeFile("seven", "1234567");
    const std::string linkPath = path("link");
    ASSERT_EQ(symlink(filePath.c_str(), linkPath.c_str()), 0);
    status = VXFileStatus{};
    ASSERT_TRUE(CVXFileSystem::status(linkPath.c_str(), status));
    EXPECT_TRUE(CVXFileSystem::isRegularFile(status));
    EXPECT_EQ(status.st_size, 7);

    EXPECT_FALSE(CVXFileSystem::status(path("missing").c_str(), status));
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(CVXFileTest, AFailedCloseKeepsTheDescriptorAndDestroyLogsIt) {
    SlogCapture log;
    {
        CVXFile file(makeFile("four", "abcd").c_str(), O_RDONLY);
        const int descriptor = file.descriptor();
        ASSERT_NE(descriptor, -1);
        ASSERT_EQ(::close(descriptor), 0); // taken away behind the object's back
        EXPECT_FALSE(file.close());
        EXPECT_EQ(errno, EBADF);
        EXPECT_EQ(file.descriptor(), descriptor);
        EXPECT_TRUE(log.lines().empty());
    }
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].opcode, 10000);
    EXPECT_EQ(log.lines()[0].severity, VX_SLOG_ERROR);
    EXPECT_EQ(log.lines()[0].text, "pid " + std::to_string(getpid()) +
                                       ": closing file failed (operating system error 9, " +
                                       std::strerror(EBADF) + ")");
}

TEST_F(CVXFileTest, OpenIsRestartedAfterASignal) {
    const std::string fifoPath = makeFifo("fifo");
    CInterruptingSignal signal;
    std::thread peer([&fifoPath, mainThread = pthread_self()] {
        CInterruptingSignal::interrupt(mainThread, 5);
        // Opening for writing lets the reader's open finish. It succeeds only while the reader
        // waits in open, so an open that gave up after a signal fails the test instead of hanging.
        int writer = -1;
        const auto giveUp = std::chrono::steady_clock::now() + 5s;
        while (writer == -1 && std::chrono::steady_clock::now() < giveUp) {
            writer = ::open(fifoPath.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer == -1) {
                std::this_thread::sleep_for(5ms);
            }
        }
        ASSERT_NE(writer, -1) << "the reader is not waiting in open";
        EXPECT_EQ(::write(writer, "x", 1), 1);
        ::close(writer);
    });
    CVXFile file(fifoPath.c_str(), O_RDONLY); // blocks until the peer opens for writing
    peer.join();
    EXPECT_TRUE(file.isOpen());
    EXPECT_GE(g_signalsCaught.load(), 5);
    char byte = 0;
    EXPECT_EQ(file.read(&byte, 1), 1);
    EXPECT_EQ(byte, 'x');
    EXPECT_EQ(file.read(&byte, 1), 0);
}

TEST_F(CVXFileTest, ReadIsRestartedAfterASignal) {
    const std::string fifoPath = makeFifo("fifo");
    CVXFile file(fifoPath.c_str(), O_RDWR); // its own writer: reads block instead of ending
    ASSERT_TRUE(file.isOpen());
    CInterruptingSignal signal;
    std::thread peer([&fifoPath, mainThread = pthread_self()] {
        CInterruptingSignal::interrupt(mainThread, 5);
        const int writer = ::open(fifoPath.c_str(), O_WRONLY);
        EXPECT_EQ(::write(writer, "hello", 5), 5);
        ::close(writer);
    });
    char buffer[16] = {};
    const int32_t count = file.read(buffer, sizeof buffer);
    peer.join();
    EXPECT_GE(g_signalsCaught.load(), 5);
    ASSERT_EQ(count, 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
}

// Opens the fifo for non-blocking writing, shrinks the pipe and fills it; returns the descriptor
// and the number of bytes written through it.
std::pair<int, size_t> fillFifo(const std::string& fifoPath) {
    const int filler = ::open(fifoPath.c_str(), O_WRONLY | O_NONBLOCK);
    EXPECT_NE(filler, -1) << std::strerror(errno);
    fcntl(filler, F_SETPIPE_SZ, 4096);
    const std::string chunk(512, '.');
    size_t filled = 0;
    for (;;) {
        const ssize_t count = ::write(filler, chunk.data(), chunk.size());
        if (count <= 0) {
            break;
        }
        filled += static_cast<size_t>(count);
    }
    EXPECT_EQ(errno, EAGAIN);
    return {filler, filled};
}

// Reads from the fifo until total bytes arrived or ten seconds passed.
std::string drainFifo(const std::string& fifoPath, size_t total) {
    const int reader = ::open(fifoPath.c_str(), O_RDONLY | O_NONBLOCK);
    std::string received;
    const auto giveUp = std::chrono::steady_clock::now() + 10s;
    std::vector<char> buffer(8192);
    while (received.size() < total && std::chrono::steady_clock::now() < giveUp) {
        const ssize_t count = ::read(reader, buffer.data(), buffer.size());
        if (count > 0) {
            received.append(buffer.data(), static_cast<size_t>(count));
        } else {
            std::this_thread::sleep_for(1ms);
        }
    }
    ::close(reader);
    return received;
}

TEST_F(CVXFileTest, WriteGoesOnAfterSignalsAndPartialWritesUntilAllIsWritten) {
    const std::string fifoPath = makeFifo("fifo");
    CVXFile file(fifoPath.c_str(), O_RDWR);
    ASSERT_TRUE(file.isOpen());
    const std::pair<int, size_t> fill = fillFifo(fifoPath);
    const int filler = fill.first;
    const size_t filled = fill.second;

    std::string data(64 * 1024, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>('a' + i % 23);
    }
    CInterruptingSignal signal;
    std::string received;
    std::thread peer([&, mainThread = pthread_self()] {
        CInterruptingSignal::interrupt(mainThread, 5);
        received = drainFifo(fifoPath, filled + data.size());
    });
    const bool written = file.write(data.data(), static_cast<uint32_t>(data.size()));
    peer.join();
    ::close(filler);
    EXPECT_TRUE(written) << std::strerror(errno);
    EXPECT_GE(g_signalsCaught.load(), 5);
    ASSERT_EQ(received.size(), filled + data.size());
    EXPECT_TRUE(received.substr(filled) == data);
}

TEST_F(CVXFileTest, TimedReadEndsWithNothingAtTheDeadline) {
    const std::string fifoPath = makeFifo("fifo");
    CVXFile file(fifoPath.c_str(), O_RDWR);
    char buffer[8];
    errno = 0;
    EXPECT_EQ(file.read(buffer, sizeof buffer, 50), 0);
    EXPECT_EQ(errno, ETIMEDOUT);

    // Signals keep arriving past the deadline: the read still ends, with ETIMEDOUT.
    CInterruptingSignal signal;
    std::thread peer([mainThread = pthread_self()] {
        CInterruptingSignal::interrupt(mainThread, 15, std::chrono::milliseconds(10));
    });
    errno = 0;
    EXPECT_EQ(file.read(buffer, sizeof buffer, 60), 0);
    EXPECT_EQ(errno, ETIMEDOUT);
    peer.join();
}

TEST_F(CVXFileTest, TimedReadReturnsDataArrivingBeforeTheDeadline) {
    const std::string fifoPath = makeFifo("fifo");
    CVXFile file(fifoPath.c_str(), O_RDWR);
    ASSERT_TRUE(file.write("ready", 5));
    char buffer[16] = {};
    EXPECT_EQ(file.read(buffer, sizeof buffer, 1000), 5);
    EXPECT_EQ(std::string(buffer, 5), "ready");

    CInterruptingSignal signal;
    std::thread peer([&fifoPath, mainThread = pthread_self()] {
        CInterruptingSignal::interrupt(mainThread, 5);
        const int writer = ::open(fifoPath.c_str(), O_WRONLY);
        EXPECT_EQ(::write(writer, "later", 5), 5);
        ::close(writer);
    });
    const int32_t count = file.read(buffer, sizeof buffer, 20000);
    peer.join();
    ASSERT_EQ(count, 5) << std::strerror(errno);
    EXPECT_EQ(std::string(buffer, 5), "later");

    CVXFile regular(makeFile("four", "abcd").c_str(), O_RDONLY);
    EXPECT_EQ(regular.read(buffer, sizeof buffer, 1000), 4);
    errno = EAGAIN;
    EXPECT_EQ(regular.read(buffer, sizeof buffer, 1000), 0);
    EXPECT_EQ(errno, 0);
}

TEST_F(CVXFileTest, TimedWriteToAFullPipeFailsWithEtimedout) {
    const std::string fifoPath = makeFifo("fifo");
    CVXFile file(fifoPath.c_str(), O_RDWR);
    const std::pair<int, size_t> fill = fillFifo(fifoPath);
    EXPECT_GT(fill.second, 0u);
    EXPECT_FALSE(file.write("more", 4, 50));
    EXPECT_EQ(errno, ETIMEDOUT);
    ::close(fill.first);

    CVXFile regular(path("timed").c_str(), O_WRONLY | O_CREAT | O_TRUNC);
    EXPECT_TRUE(regular.write("abcd", 4, 1000));
    EXPECT_EQ(regular.tell(), 4);
}

#if defined(__linux__)
#if defined(__x86_64__)
constexpr uint32_t FILTER_ARCH = AUDIT_ARCH_X86_64;
#elif defined(__i386__)
constexpr uint32_t FILTER_ARCH = AUDIT_ARCH_I386;
#elif defined(__aarch64__)
constexpr uint32_t FILTER_ARCH = AUDIT_ARCH_AARCH64;
#elif defined(__arm__)
constexpr uint32_t FILTER_ARCH = AUDIT_ARCH_ARM;
#else
constexpr uint32_t FILTER_ARCH = 0;
#endif

// Makes the kernel answer every write system call on descriptor with 0 bytes written, without
// writing: a seccomp filter returning "error" 0. Once installed it cannot be removed, so it is
// only used in a child process.
bool makeWritesTransferNothing(int descriptor) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    const uint32_t lowWordOfFirstArgument = offsetof(struct seccomp_data, args[0]);
#else
    const uint32_t lowWordOfFirstArgument = offsetof(struct seccomp_data, args[0]) + 4;
#endif
    struct sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, FILTER_ARCH, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_write, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, lowWordOfFirstArgument),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(descriptor), 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog filter = {static_cast<unsigned short>(sizeof program / sizeof program[0]),
                                program};
    return FILTER_ARCH != 0 && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

// Child-process outcomes of the zero-byte write check.
enum EZeroWriteOutcome : int {
    ZERO_WRITE_ENDED_WITH_EIO = 0,
    ZERO_WRITE_REPORTED_SUCCESS = 1,
    ZERO_WRITE_WRONG_ERRNO = 2,
    ZERO_WRITE_TIMED_REPORTED_SUCCESS = 3,
    ZERO_WRITE_TIMED_WRONG_ERRNO = 4,
    ZERO_WRITE_FILTER_INEFFECTIVE = 5,
    ZERO_WRITE_OPEN_FAILED = 6,
    ZERO_WRITE_NO_FILTER = 77,
};

[[noreturn]] void runZeroWriteChild() {
    alarm(10); // a write loop that never ends is killed by SIGALRM
    CVXFile file("/dev/null", O_WRONLY);
    if (!file.isOpen()) {
        _exit(ZERO_WRITE_OPEN_FAILED);
    }
    if (!makeWritesTransferNothing(file.descriptor())) {
        _exit(ZERO_WRITE_NO_FILTER);
    }
    if (::write(file.descriptor(), "probe", 5) != 0) {
        _exit(ZERO_WRITE_FILTER_INEFFECTIVE);
    }
    errno = 0;
    if (file.write("abc", 3)) {
        _exit(ZERO_WRITE_REPORTED_SUCCESS);
    }
    if (errno != EIO) {
        _exit(ZERO_WRITE_WRONG_ERRNO);
    }
    errno = 0;
    if (file.write("abc", 3, 1000)) {
        _exit(ZERO_WRITE_TIMED_REPORTED_SUCCESS);
    }
    if (errno != EIO) {
        _exit(ZERO_WRITE_TIMED_WRONG_ERRNO);
    }
    _exit(ZERO_WRITE_ENDED_WITH_EIO);
}

TEST(CVXFileZeroWriteTest, AWriteThatTransfersNothingEndsWithEio) {
    const pid_t child = fork();
    ASSERT_NE(child, -1) << std::strerror(errno);
    if (child == 0) {
        runZeroWriteChild();
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == ZERO_WRITE_NO_FILTER) {
        GTEST_SKIP() << "seccomp filters are not available here";
    }
    ASSERT_FALSE(WIFSIGNALED(status))
        << "the write loop did not end (signal " << WTERMSIG(status) << ")";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), ZERO_WRITE_ENDED_WITH_EIO);
}
#endif

} // namespace
