// The backtrace writer: report layout, file naming, map listing, failures and concurrent writers.
#include "foundation/VXBacktrace.h"

#include "foundation/platform/VXStackWalk.h"
#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>

namespace {

int g_fakeAddressCount = 0;

// Addresses 0x1000, 0x1001, ... as the stack walk's result.
int fakeAddresses(uintptr_t* addresses, int capacity) {
    for (int i = 0; i < g_fakeAddressCount && i < capacity; ++i) {
        addresses[i] = 0x1000u + static_cast<uintptr_t>(i);
    }
    return g_fakeAddressCount;
}

void testNaming(char* header, size_t headerSize, char* stem, size_t stemSize) {
    snprintf(header, headerSize, "custom header");
    snprintf(stem, stemSize, "custom-stem");
}

// One whole report: caption, header, the fixed note, the fake addresses in rows of six, the map.
std::string report(const std::string& caption, int addresses, const std::string& map = "",
                   const std::string& header = "custom header") {
    std::string rows;
    for (int i = 0; i < addresses; ++i) {
        char address[16];
        snprintf(address, sizeof address, "%s%08X ", i % 6 == 0 ? "\n" : "", 0x1000u + i);
        rows += address;
    }
    return "\n[QNX backtrace] INFO - " + caption + "\n\n" + header +
           "\ndata below is the actual callstack created with QNX libbacktrace.so\n"
           "usable for analysis with proper project MAP file\n\n" +
           rows + "\n\n" + map + "\n\n";
}

// A mapping of the named object as a map file shows it, or as a report lists it.
std::string mapLine(unsigned index, const std::string& name, const char* permissions = "r-xp",
                    bool listed = false) {
    const unsigned start = 0xA0000000u + 0x10000u * index;
    char line[40100];
    snprintf(line, sizeof line,
             listed ? "%08X-%08X %s %08X %s\n" : "%08x-%08x %s %08x 08:01 1 %s\n", start,
             start + 0x8000u, permissions, 0x1000u * index, name.c_str());
    return line;
}

const std::string PID = std::to_string(getpid());

class VXBacktraceWriter : public testing::Test {
protected:
    void SetUp() override {
        m_previousSource = VXPlatformSetBacktraceSource(fakeAddresses);
        VXPlatformSetMemoryMapFile(m_mapFile.c_str()); // missing until a test writes it
    }
    void TearDown() override {
        VXPlatformSetBacktraceSource(m_previousSource);
        VXPlatformSetMemoryMapFile(nullptr);
    }
    void write(const std::string& caption, VXBacktraceNamingHook hook = testNaming) {
        VXBacktraceWrite(caption.c_str(), m_reports.path().c_str(), "bt", true, hook);
    }

    TempDir m_reports;
    std::string m_mapFile = m_reports.file("maps.txt");
    VXBacktraceSource m_previousSource = nullptr;
};

// Only executable file mappings are listed; the report file is made for everyone to read.
TEST_F(VXBacktraceWriter, AddressesInRowsOfSixAndExecutableFileMappings) {
    g_fakeAddressCount = 13;
    m_reports.write("maps.txt", mapLine(0, "/usr/bin/velkor") +
                                    mapLine(1, "/usr/bin/velkor", "r--p") +
                                    mapLine(2, std::string(40000, '/'), "rw-p") +
                                    mapLine(3, "[vdso]") + mapLine(4, "/lib/with space.so"));
    const mode_t previousMask = umask(0);
    write("few");
    umask(previousMask);
    EXPECT_EQ(readFile(m_reports.file("custom-stem.bt")),
              report("few", 13,
                     mapLine(0, "/usr/bin/velkor", "r-xp", true) +
                         mapLine(4, "/lib/with space.so", "r-xp", true)));
    struct stat status {};
    ASSERT_EQ(stat(m_reports.file("custom-stem.bt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777u, 0666u);
}

TEST_F(VXBacktraceWriter, FailuresAreReportedAndAbsorbed) {
    const std::string directory = m_reports.path() + "/not-there";
    testing::internal::CaptureStdout();
    VXBacktraceWrite("lost", directory.c_str(), "bt", true, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Cannot open " + directory + "/PID" + PID + ".bt\n");
    SlogCapture capture;
    testing::internal::CaptureStderr();
    VXBacktraceWrite(nullptr, m_reports.path().c_str(), "sfx", true, nullptr);
    VXBacktraceWrite("caption", nullptr, "sfx", true, nullptr);
    VXBacktraceWrite("caption", m_reports.path().c_str(), nullptr, true, nullptr);
    testing::internal::GetCapturedStderr();
    const std::vector<SlogLine> lines = capture.take();
    for (const char* message :
         {"caption is missing", "directory is missing", "suffix is missing"}) {
        EXPECT_EQ(countAssertionReports(lines, "VXBacktraceQNX", message), 1) << message;
    }
}

// The real stack under the test runner fills the room given, the walker's own frame left out.
TEST(VXPlatformBacktrace, TheRealStackFillsTheRoomGiven) {
    uintptr_t addresses[2] = {};
    EXPECT_EQ(VXPlatformBacktrace(addresses, 2), 2);
}

// The writer's lock keeps every report whole: a second writer waits (in a futex) while the first
// is held in its naming hook, and gets inside only after the first has written its report.
std::atomic<int> g_inside{0};
std::atomic<bool> g_released{false};
void heldNaming(char* header, size_t headerSize, char* stem, size_t stemSize) {
    testNaming(header, headerSize, stem, stemSize);
    g_inside.fetch_add(1);
    g_released.wait(false);
}

TEST_F(VXBacktraceWriter, ReportsOfConcurrentThreadsStayWhole) {
    g_fakeAddressCount = 20;
    g_inside = 0;
    g_released = false;
    std::thread first([this] { write("first", heldNaming); });
    ASSERT_TRUE(eventually([] { return g_inside.load() == 1; }));
    std::atomic<pid_t> secondThread{0};
    std::thread second([this, &secondThread] {
        secondThread = gettid();
        write("second", heldNaming);
    });
    EXPECT_TRUE(eventually([&] {
        return g_inside.load() == 2 || (secondThread != 0 && waitsIn(secondThread, SYS_futex));
    }));
    EXPECT_EQ(g_inside.load(), 1);
    g_released = true;
    g_released.notify_all();
    first.join();
    second.join();
    EXPECT_EQ(readFile(m_reports.file("custom-stem.bt")),
              report("first", 20) + report("second", 20));
}

} // namespace
