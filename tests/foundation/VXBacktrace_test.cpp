// Tests of the backtrace writer: report layout, file naming, map listing and failures.
#include "foundation/VXBacktrace.h"

#include "foundation/VXAssert.h"
#include "foundation/platform/VXStackWalk.h"
#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

int g_fakeAddressCount = 0;

// Addresses 0x1000, 0x1001, ... as the stack walk's result.
int fakeAddresses(uintptr_t* addresses, int capacity) {
    int count = g_fakeAddressCount < capacity ? g_fakeAddressCount : capacity;
    for (int i = 0; i < count; ++i) {
        addresses[i] = 0x1000u + static_cast<uintptr_t>(i);
    }
    return count;
}

void testNaming(char* header, size_t headerSize, char* stem, size_t stemSize) {
    snprintf(header, headerSize, "custom header");
    snprintf(stem, stemSize, "custom-stem");
}

std::string pidText() {
    return std::to_string(getpid());
}

std::string idsLine() {
    return "\nTID: " + std::to_string(gettid()) + " PID: " + pidText() + "\n";
}

const char* const CALLSTACK_NOTE = "data below is the actual callstack created with QNX "
                                   "libbacktrace.so\nusable for analysis with proper project MAP "
                                   "file\n\n";

// One line of a map file: an executable mapping of the named object.
std::string mapLine(unsigned index, const std::string& name, const char* permissions = "r-xp") {
    char line[256];
    snprintf(line, sizeof line, "%08x-%08x %s %08x 08:01 %u %s\n", 0x10000u * (index + 1),
             0x10000u * (index + 1) + 0x8000u, permissions, 0x1000u * index, 1000 + index,
             name.c_str());
    return line;
}

std::string listedLine(unsigned index, const std::string& name) {
    char line[256];
    snprintf(line, sizeof line, "%08X-%08X r-xp %08X %s\n", 0x10000u * (index + 1),
             0x10000u * (index + 1) + 0x8000u, 0x1000u * index, name.c_str());
    return line;
}

class VXBacktraceWriter : public testing::Test {
protected:
    void SetUp() override {
        g_fakeAddressCount = 0;
        m_previousSource = VXPlatformSetBacktraceSource(fakeAddresses);
        VXPlatformSetMemoryMapFile(m_mapFile.c_str()); // missing until a test writes it
    }
    void TearDown() override {
        VXPlatformSetBacktraceSource(m_previousSource);
        VXPlatformSetMemoryMapFile(nullptr);
    }
    std::string defaultReportFile() const { return m_reports.file("PID" + pidText() + ".ass"); }
    void writeMap(const std::string& text) { m_reports.write("maps.txt", text); }

    TempDir m_reports;
    ScopedEnvironment m_directory{"VX_ASSERTION_BACKTRACE_DIR", m_reports.path().c_str()};
    std::string m_mapFile = m_reports.file("maps.txt");
    VXBacktraceSource m_previousSource = nullptr;
};

TEST_F(VXBacktraceWriter, ThirteenAddressesMakeRowsOfSixSixAndOne) {
    g_fakeAddressCount = 13;
    VXBacktraceWrite("thirteen", m_reports.path().c_str(), "ass", true, nullptr);
    EXPECT_EQ("\n[QNX backtrace] INFO - thirteen\n" + idsLine() + CALLSTACK_NOTE +
                  "\n00001000 00001001 00001002 00001003 00001004 00001005 "
                  "\n00001006 00001007 00001008 00001009 0000100A 0000100B "
                  "\n0000100C "
                  "\n\n\n\n",
              readFile(defaultReportFile()));
}

TEST_F(VXBacktraceWriter, NoAddressesAndNoMapLeaveOnlyTheFrame) {
    VXBacktraceWrite("empty", m_reports.path().c_str(), "ass", true, nullptr);
    EXPECT_EQ("\n[QNX backtrace] INFO - empty\n" + idsLine() + CALLSTACK_NOTE + "\n\n\n\n",
              readFile(defaultReportFile()));
}

TEST_F(VXBacktraceWriter, MapListsExecutableFileMappingsOnly) {
    g_fakeAddressCount = 1;
    writeMap(mapLine(0, "/usr/bin/velkor") + mapLine(1, "/usr/bin/velkor", "r--p") +
             mapLine(2, "", "rw-p") + mapLine(3, "[vdso]") + mapLine(4, "/lib/libc.so.6") +
             mapLine(5, "/lib/with space.so"));
    VXBacktraceWrite("map", m_reports.path().c_str(), "ass", true, nullptr);
    EXPECT_EQ("\n[QNX backtrace] INFO - map\n" + idsLine() + CALLSTACK_NOTE + "\n00001000 \n\n" +
                  listedLine(0, "/usr/bin/velkor") + listedLine(4, "/lib/libc.so.6") +
                  listedLine(5, "/lib/with space.so") + "\n\n",
              readFile(defaultReportFile()));
}

TEST_F(VXBacktraceWriter, LongMapListsAllUpToFiftyEntries) {
    std::string map;
    std::string expected;
    for (unsigned i = 0; i < 40; ++i) {
        const std::string name = "/opt/lib/lib" + std::to_string(i) + ".so";
        map += mapLine(i, name);
        expected += listedLine(i, name);
    }
    writeMap(map);
    VXBacktraceWrite("forty", m_reports.path().c_str(), "ass", true, nullptr);
    const std::string report = readFile(defaultReportFile());
    EXPECT_EQ(expected + "\n\n", report.substr(report.size() - expected.size() - 2));
}

TEST_F(VXBacktraceWriter, MapOfMoreThanFiftyEntriesListsTheFirstFifty) {
    std::string map;
    std::string expected;
    for (unsigned i = 0; i < 70; ++i) {
        // Long names: every entry uses close to its whole share of the listing.
        const std::string name = "/opt/a-rather-long-directory-name-for-libraries/and-another-one/"
                                 "lib" +
                                 std::to_string(i) + ".so";
        map += mapLine(i, name);
        if (i < 50) {
            expected += listedLine(i, name);
        }
    }
    writeMap(map);
    VXBacktraceWrite("seventy", m_reports.path().c_str(), "ass", true, nullptr);
    const std::string report = readFile(defaultReportFile());
    const std::string start = "\n[QNX backtrace] INFO - seventy\n" + idsLine() + CALLSTACK_NOTE;
    EXPECT_EQ(start + "\n\n" + expected + "\n\n", report);
}

TEST_F(VXBacktraceWriter, OverlongObjectNamesKeepTheirEnd) {
    const std::string name = "/" + std::string(150, 'd') + "/libend.so";
    writeMap(mapLine(0, name));
    VXBacktraceWrite("long name", m_reports.path().c_str(), "ass", true, nullptr);
    const std::string report = readFile(defaultReportFile());
    EXPECT_NE(std::string::npos,
              report.find(" r-xp 00000000 ..." + name.substr(name.size() - 93) + "\n\n\n"))
        << report;
}

TEST_F(VXBacktraceWriter, HookNamesTheFileAndWritesTheHeader) {
    g_fakeAddressCount = 2;
    VXBacktraceWrite("hooked", m_reports.path().c_str(), "bt", true, testNaming);
    EXPECT_EQ("\n[QNX backtrace] INFO - hooked\n\ncustom header\n" + std::string(CALLSTACK_NOTE) +
                  "\n00001000 00001001 \n\n\n\n",
              readFile(m_reports.file("custom-stem.bt")));
}

TEST_F(VXBacktraceWriter, DefaultHookGivesTheSameNameAndHeaderAsNoHook) {
    char header[64];
    char stem[64];
    VXBacktraceDefaultNaming(header, sizeof header, stem, sizeof stem);
    EXPECT_EQ("TID: " + std::to_string(gettid()) + " PID: " + pidText(), std::string(header));
    EXPECT_EQ("PID" + pidText(), std::string(stem));

    VXBacktraceWrite("with hook", m_reports.path().c_str(), "ass", true, VXBacktraceDefaultNaming);
    VXBacktraceWrite("without hook", m_reports.path().c_str(), "ass", true, nullptr);
    EXPECT_EQ("\n[QNX backtrace] INFO - with hook\n" + idsLine() + CALLSTACK_NOTE + "\n\n\n\n" +
                  "\n[QNX backtrace] INFO - without hook\n" + idsLine() + CALLSTACK_NOTE +
                  "\n\n\n\n",
              readFile(defaultReportFile()));
}

TEST_F(VXBacktraceWriter, WithoutAppendWritesFromTheStartWithoutTruncating) {
    const std::string file = m_reports.write("PID" + pidText() + ".ass", std::string(400, '#'));
    VXBacktraceWrite("over", m_reports.path().c_str(), "ass", false, nullptr);
    const std::string report =
        "\n[QNX backtrace] INFO - over\n" + idsLine() + CALLSTACK_NOTE + "\n\n\n\n";
    ASSERT_LT(report.size(), 400u);
    EXPECT_EQ(report + std::string(400 - report.size(), '#'), readFile(file));
}

TEST_F(VXBacktraceWriter, CreatedFileIsReadableByEveryone) {
    const mode_t previousMask = umask(0);
    VXBacktraceWrite("mode", m_reports.path().c_str(), "ass", true, nullptr);
    umask(previousMask);
    struct stat status {};
    ASSERT_EQ(0, stat(defaultReportFile().c_str(), &status));
    EXPECT_EQ(0666u, status.st_mode & 0777u);
}

TEST_F(VXBacktraceWriter, MissingDirectoryIsReportedOnStandardOutput) {
    const std::string directory = m_reports.path() + "/not-there";
    testing::internal::CaptureStdout();
    VXBacktraceWrite("lost", directory.c_str(), "ass", true, nullptr);
    EXPECT_EQ("Cannot open " + directory + "/PID" + pidText() + ".ass\n",
              testing::internal::GetCapturedStdout());
    struct stat status {};
    EXPECT_NE(0, stat(directory.c_str(), &status));
}

TEST_F(VXBacktraceWriter, MissingArgumentsAreAssertions) {
    SlogCapture capture;
    testing::internal::CaptureStderr();
    const uint32_t before = VXAssertionCount();
    VXBacktraceWrite(nullptr, m_reports.path().c_str(), "sfx", true, nullptr);
    VXBacktraceWrite("caption", nullptr, "sfx", true, nullptr);
    VXBacktraceWrite("caption", m_reports.path().c_str(), nullptr, true, nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(before + 3, VXAssertionCount());
    EXPECT_EQ(3u, countOccurrences(err, "\nVXBacktraceQNX:")) << err;
    // Only the assertions' own reports were written.
    EXPECT_EQ(3u, countOccurrences(readFile(defaultReportFile()), "[QNX backtrace] INFO - "));
    EXPECT_NE(std::string::npos, readFile(defaultReportFile()).find("failed in VXBacktraceQNX "));
}

TEST_F(VXBacktraceWriter, StringFormUsesTheDefaultNaming) {
    VXBacktraceWrite(CVXString("as strings"), CVXString(m_reports.path().c_str()), CVXString("ass"),
                     true);
    EXPECT_EQ("\n[QNX backtrace] INFO - as strings\n" + idsLine() + CALLSTACK_NOTE + "\n\n\n\n",
              readFile(defaultReportFile()));
}

TEST_F(VXBacktraceWriter, ReportsOfConcurrentThreadsStayWhole) {
    g_fakeAddressCount = 20;
    constexpr int THREADS = 4;
    constexpr int REPORTS = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([this, t] {
            for (int r = 0; r < REPORTS; ++r) {
                const std::string caption = "thread " + std::to_string(t);
                VXBacktraceWrite(caption.c_str(), m_reports.path().c_str(), "ass", true,
                                 testNaming);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::string body = std::string("\n\ncustom header\n") + CALLSTACK_NOTE +
                             "\n00001000 00001001 00001002 00001003 00001004 00001005 "
                             "\n00001006 00001007 00001008 00001009 0000100A 0000100B "
                             "\n0000100C 0000100D 0000100E 0000100F 00001010 00001011 "
                             "\n00001012 00001013 \n\n\n\n";
    const std::string all = readFile(m_reports.file("custom-stem.ass"));
    size_t position = 0;
    int reports = 0;
    const std::string start = "\n[QNX backtrace] INFO - thread ";
    while (position < all.size()) {
        ASSERT_EQ(start, all.substr(position, start.size())) << "report " << reports;
        position += start.size() + 1; // the thread digit
        ASSERT_EQ(body, all.substr(position, body.size())) << "report " << reports;
        position += body.size();
        ++reports;
    }
    EXPECT_EQ(THREADS * REPORTS, reports);
}

// ---- the real stack walk and map ---------------------------------------------------------

TEST(VXBacktraceLive, ReportHasReturnAddressesAndListsThisProgram) {
    TempDir reports;
    VXBacktraceWrite("live", reports.path().c_str(), "ass", true, nullptr);
    const std::string report = readFile(reports.file("PID" + pidText() + ".ass"));
    const std::string head = "\n[QNX backtrace] INFO - live\n" + idsLine() + CALLSTACK_NOTE + "\n";
    ASSERT_EQ(head, report.substr(0, head.size()));
    // At least one row of addresses, each "%08X ".
    const size_t rowEnd = report.find('\n', head.size());
    ASSERT_NE(std::string::npos, rowEnd);
    const std::string row = report.substr(head.size(), rowEnd - head.size());
    ASSERT_GE(row.size(), 9u);
    EXPECT_EQ(' ', row.back());
    EXPECT_EQ(std::string::npos, row.find_first_not_of("0123456789ABCDEF ")) << row;

    char self[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    EXPECT_NE(std::string::npos, report.find(std::string(" r-xp "))) << report;
    EXPECT_NE(std::string::npos, report.find(self)) << report;
    EXPECT_EQ("\n\n", report.substr(report.size() - 2));
}

TEST(VXBacktraceDirectory, EnvironmentWinsOverThePlatformDefault) {
    {
        ScopedEnvironment directory("VX_ASSERTION_BACKTRACE_DIR", "/var/reports");
        EXPECT_STREQ("/var/reports", VXBacktraceDirectory());
    }
    {
        ScopedEnvironment directory("VX_ASSERTION_BACKTRACE_DIR", nullptr);
        EXPECT_STREQ("/dev/shm", VXBacktraceDirectory());
    }
    {
        ScopedEnvironment directory("VX_ASSERTION_BACKTRACE_DIR", "");
        EXPECT_STREQ("/dev/shm", VXBacktraceDirectory());
    }
}

} // namespace
