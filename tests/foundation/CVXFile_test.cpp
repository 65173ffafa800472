// File access: results and errno of every operation, restarts after signals and partial writes
// (forced: each signal comes while the call waits), and time-outs.
#include "foundation/CVXFile.h"

#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <thread>

namespace {

// "<result> <errno name>" of a call made with errno set to EAGAIN, so that a cleared errno shows.
std::string outcome(int64_t result) {
    return std::to_string(result) + " " + (errno == 0 ? "0" : strerrorname_np(errno));
}
#define OUTCOME(call) (errno = EAGAIN, outcome(call))

TEST(CVXFileTest, ResultsAndErrnoOfEveryOperation) {
    const TempDir directory;
    const mode_t previousMask = umask(022);
    CVXFile file(directory.file("f").c_str(), O_RDWR | O_CREAT);
    umask(previousMask);
    CVXFile closed;
    VXFileStatus status{};
    char buffer[8] = {};
    const std::pair<std::string, std::string> rows[] = {
        // the calls run in order
        {OUTCOME(file.write("abc", 3)), "1 0"},
        {OUTCOME(file.write("d", 1)), "1 0"},
        {OUTCOME(file.write(nullptr, 0)), "1 0"},
        {OUTCOME(file.write(nullptr, 3)), "0 EINVAL"},
        {OUTCOME(file.seek(-3, CVXFile::SEEK_FROM_END)), "1 0"},
        {OUTCOME(file.read(buffer, 8)), "3 0"}, // a single read, fewer bytes than asked
        {OUTCOME(file.read(buffer + 3, 8)), "0 0"},
        {OUTCOME(file.read(nullptr, 5)), "-1 EINVAL"},
        {OUTCOME(file.read(nullptr, 0)), "0 0"}, // the system is asked, and reads nothing
        {OUTCOME(file.seek((int64_t{5} << 30) + 3, CVXFile::SEEK_FROM_START)), "1 0"},
        {OUTCOME(file.tell()), "5368709123 0"},
        {OUTCOME(file.seek(-1, CVXFile::SEEK_FROM_START)), "0 EINVAL"},
        {OUTCOME(CVXFileSystem::status(directory.file("f").c_str(), status)), "1 0"},
        {OUTCOME(closed.close()), "1 EAGAIN"}, // nothing open: success at once
        {OUTCOME(closed.write("abc", 3)), "0 EBADF"},
        {OUTCOME(closed.read(buffer, 3)), "-1 EBADF"},
        {OUTCOME(closed.open(directory.file("missing").c_str(), O_RDONLY)), "0 ENOENT"},
        {OUTCOME(CVXFileSystem::status(directory.file("missing").c_str(), status)), "0 ENOENT"},
    };
    for (size_t row = 0; row < std::size(rows); ++row) {
        EXPECT_EQ(rows[row].first, rows[row].second) << "row " << row;
    }
    EXPECT_STREQ(buffer, "bcd");
    EXPECT_EQ(status.st_mode & 07777, 0755u); // 0777 less the umask
    EXPECT_EQ(closed.descriptor(), -1);
    EXPECT_FALSE(closed.isOpen());
    // Descriptor 0 is a file like any other (a program started with standard input closed).
    const int savedInput = dup(0); // -1: nothing there to keep
    ::close(0);
    EXPECT_TRUE(closed.open("/dev/null", O_RDONLY) && closed.descriptor() == 0 && closed.isOpen());
    closed.close();
    if (savedInput >= 0) {
        dup2(savedInput, 0);
        ::close(savedInput);
    }

    const int oldDescriptor = file.descriptor(); // opening again closes the old one first
    ASSERT_TRUE(file.open("/dev/null", O_RDONLY));
    EXPECT_TRUE(file.descriptor() == oldDescriptor || fcntl(oldDescriptor, F_GETFD) == -1);
    SlogCapture log;
    {
        CVXFile taken("/dev/null", O_RDONLY);
        ASSERT_EQ(::close(taken.descriptor()), 0); // closed behind the object's back
        EXPECT_EQ(OUTCOME(taken.close()), "0 EBADF");
        EXPECT_NE(taken.descriptor(), -1);
    }
    EXPECT_EQ(log.take(), std::vector<SlogLine>{processLine(
                              VX_SLOG_ERROR, "closing file failed (operating system error 9, " +
                                                 std::string(std::strerror(EBADF)) + ")")});
}

std::atomic<int> g_signalsCaught{0};

// The signal handler has no SA_RESTART: a blocking system call it hits fails with EINTR instead
// of being restarted by the kernel. Each signal goes once the thread waits in the system call.
TEST(CVXFileFifo, OpenReadAndWriteGoOnAfterSignalsAndPartialWrites) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = [](int) { g_signalsCaught.fetch_add(1); };
    sigaction(SIGUSR1, &action, &previous);
    g_signalsCaught = 0;
    const auto interrupt = [main = pthread_self(), tid = gettid()](long call) {
        const int caught = g_signalsCaught.load();
        EXPECT_TRUE(eventually([&] { return waitsIn(tid, call); }));
        pthread_kill(main, SIGUSR1);
        EXPECT_TRUE(eventually([&] { return g_signalsCaught.load() != caught; }));
    };
    const TempDir directory;
    const std::string fifo = directory.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread peer([&] {
        interrupt(SYS_openat);
        int writer = -1; // succeeds once the reader waits in open again
        eventually([&] { return (writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) != -1; });
        ::close(writer);
    });
    CVXFile file(fifo.c_str(), O_RDONLY);
    peer.join();
    EXPECT_TRUE(file.isOpen());
    ASSERT_TRUE(file.open(fifo.c_str(), O_RDWR)); // its own writer: reads block instead of ending
    peer = std::thread([&] {
        interrupt(SYS_read);
        EXPECT_EQ(::write(file.descriptor(), "hello", 5), 5);
    });
    char buffer[16] = {};
    const int32_t count = file.read(buffer, sizeof buffer);
    peer.join();
    ASSERT_EQ(count, 5);
    EXPECT_STREQ(buffer, "hello");
    EXPECT_EQ(OUTCOME(file.read(buffer, 1, 0)), "0 ETIMEDOUT"); // nothing there: no wait

    // A pipe of one page, full: the write waits at once, is interrupted with nothing written,
    // writes one page once the reader takes one, and is interrupted after that partial write.
    ASSERT_EQ(fcntl(file.descriptor(), F_SETPIPE_SZ, 4096), 4096);
    std::string data(4096 + 20000, '.');
    for (size_t i = 4096; i < data.size(); ++i) {
        data[i] = static_cast<char>('a' + i % 23);
    }
    ASSERT_TRUE(file.write(data.data(), 4096));
    std::string received(data.size(), '\0');
    peer = std::thread([&] {
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        interrupt(SYS_write);
        int queued = 0;
        EXPECT_EQ(::read(reader, received.data(), 4096), 4096);
        eventually([&] { return ioctl(reader, FIONREAD, &queued) == 0 && queued == 4096; });
        interrupt(SYS_write);
        fcntl(reader, F_SETFL, 0); // the rest: until the writer is gone
        for (ssize_t at = 4096, n = 1; n > 0; at += n) {
            n = ::read(reader, received.data() + at, received.size() - static_cast<size_t>(at));
        }
        ::close(reader);
    });
    EXPECT_TRUE(file.write(data.data() + 4096, 20000));
    file.close();
    peer.join();
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(g_signalsCaught.load(), 4);
    EXPECT_TRUE(received == data);

    // With a time-out the calls end at the deadline.
    ASSERT_TRUE(file.open(fifo.c_str(), O_RDWR));
    ASSERT_EQ(fcntl(file.descriptor(), F_SETPIPE_SZ, 4096), 4096);
    EXPECT_EQ(OUTCOME(file.read(buffer, sizeof buffer, 50)), "0 ETIMEDOUT");
    EXPECT_TRUE(file.write(data.data(), 4096, 1000));
    EXPECT_EQ(OUTCOME(file.write("more", 4, 50)), "0 ETIMEDOUT");
    EXPECT_EQ(file.read(buffer, sizeof buffer, 1000), 16);
}

} // namespace
