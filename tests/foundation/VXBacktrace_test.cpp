// The backtrace writer: report layout, file naming, map listing, failures and concurrent writers.
#include "foundation/VXBacktrace.h"

#include "foundation/platform/VXStackWalk.h"
#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <climits>
#include <sys/stat.h>
#include <thread>

namespace {

int g_fakeAddressCount = 0;

// Addresses 0x1000, 0x1001, ... as the stack walk's result.
int fakeAddresses(uintptr_t* addresses, int capacity) {
    const int count = g_fakeAddressCount < capacity ? g_fakeAddressCount : capacity;
    for (int i = 0; i < count; ++i) {
        addresses[i] = 0x1000u + static_cast<uintptr_t>(i);
    }
    return count;
}

void testNaming(char* header, size_t headerSize, char* stem, size_t stemSize) {
    snprintf(header, headerSize, "custom header");
    snprintf(stem, stemSize, "custom-stem");
}

const std::string PID = std::to_string(getpid());

// One whole report: caption, header, the fixed note, address rows, and the map listing.
std::string report(const std::string& caption, const std::string& addresses = "",
                   const std::string& map = "", const std::string& header = "") {
    return "\n[QNX backtrace] INFO - " + caption + "\n\n" +
           (header.empty() ? "TID: " + std::to_string(gettid()) + " PID: " + PID : header) +
           "\ndata below is the actual callstack created with QNX libbacktrace.so\n"
           "usable for analysis with proper project MAP file\n\n" +
           addresses + "\n\n" + map + "\n\n";
}

// A mapping of the named object as a map file shows it, or as a report lists it.
std::string mapLine(unsigned index, const std::string& name, const char* permissions = "r-xp",
                    bool listed = false) {
    const unsigned start = 0x10000u * (index + 1);
    char line[256];
    if (listed) {
        snprintf(line, sizeof line, "%08X-%08X %s %08X %s\n", start, start + 0x8000u, permissions,
                 0x1000u * index, name.c_str());
    } else {
        snprintf(line, sizeof line, "%08x-%08x %s %08x 08:01 %u %s\n", start, start + 0x8000u,
                 permissions, 0x1000u * index, 1000 + index, name.c_str());
    }
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
    void write(const char* caption, bool append = true, VXBacktraceNamingHook hook = nullptr,
               const char* suffix = "ass") {
        VXBacktraceWrite(caption, m_reports.path().c_str(), suffix, append, hook);
    }
    std::string written(const std::string& name = "PID" + PID + ".ass") const {
        return readFile(m_reports.file(name));
    }

    TempDir m_reports;
    std::string m_mapFile = m_reports.file("maps.txt");
    VXBacktraceSource m_previousSource = nullptr;
};

TEST_F(VXBacktraceWriter, DefaultNamingIsTheSameWithAndWithoutTheHook) {
    const mode_t previousMask = umask(0);
    write("without hook");
    umask(previousMask);
    write("with hook", true, VXBacktraceDefaultNaming);
    VXBacktraceWrite(CVXString("as strings"), CVXString(m_reports.path().c_str()), CVXString("ass"),
                     true);
    EXPECT_EQ(written(), report("without hook") + report("with hook") + report("as strings"));
    struct stat status {};
    ASSERT_EQ(stat(m_reports.file("PID" + PID + ".ass").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777u, 0666u);
    // Without append the file is written from its start, without truncation.
    m_reports.write("PID" + PID + ".ass", std::string(400, '#'));
    write("over", false);
    EXPECT_EQ(written(), report("over") + std::string(400 - report("over").size(), '#'));
}

TEST_F(VXBacktraceWriter, AddressesInRowsOfSixAndExecutableFileMappingsUpToFifty) {
    g_fakeAddressCount = 13;
    m_reports.write("maps.txt", mapLine(0, "/usr/bin/velkor") +
                                    mapLine(1, "/usr/bin/velkor", "r--p") + mapLine(2, "", "rw-p") +
                                    mapLine(3, "[vdso]") + mapLine(4, "/lib/with space.so"));
    write("hooked", true, testNaming, "bt");
    EXPECT_EQ(written("custom-stem.bt"),
              report("hooked",
                     "\n00001000 00001001 00001002 00001003 00001004 00001005 "
                     "\n00001006 00001007 00001008 00001009 0000100A 0000100B \n0000100C ",
                     mapLine(0, "/usr/bin/velkor", "r-xp", true) +
                         mapLine(4, "/lib/with space.so", "r-xp", true),
                     "custom header"));

    g_fakeAddressCount = 0;
    std::string map;
    std::string listed;
    for (unsigned i = 0; i < 70; ++i) {
        // Long names: every entry uses close to its whole share of the listing.
        const std::string name = "/opt/a-rather-long-directory-name-for-libraries/and-another/lib" +
                                 std::to_string(i) + ".so";
        map += mapLine(i, name);
        listed += i < 49 ? mapLine(i, name, "r-xp", true) : "";
    }
    const std::string name = "/" + std::string(150, 'd') + "/libend.so"; // keeps its end
    m_reports.write("maps.txt", mapLine(0, name) + map);
    write("many", true, testNaming, "many");
    EXPECT_EQ(written("custom-stem.many"),
              report("many", "",
                     mapLine(0, "..." + name.substr(name.size() - 93), "r-xp", true) + listed,
                     "custom header"));
}

TEST_F(VXBacktraceWriter, FailuresAreReportedAndAbsorbed) {
    const std::string directory = m_reports.path() + "/not-there";
    testing::internal::CaptureStdout();
    VXBacktraceWrite("lost", directory.c_str(), "ass", true, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Cannot open " + directory + "/PID" + PID + ".ass\n");

    ScopedEnvironment reports("VX_ASSERTION_BACKTRACE_DIR", m_reports.path().c_str());
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
    // Only the assertions' own reports were written.
    EXPECT_EQ(countOccurrences(written(), "[QNX backtrace] INFO - "), 3u);

    for (const auto& [value, expected] : {std::pair<const char*, const char*>{"/var/r", "/var/r"},
                                          {nullptr, "/dev/shm"},
                                          {"", "/dev/shm"}}) {
        ScopedEnvironment variable("VX_ASSERTION_BACKTRACE_DIR", value);
        EXPECT_STREQ(VXBacktraceDirectory(), expected);
    }
}

TEST_F(VXBacktraceWriter, ReportsOfConcurrentThreadsStayWhole) {
    g_fakeAddressCount = 20;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int r = 0; r < 15; ++r) {
                write(("thread " + std::to_string(t)).c_str(), true, testNaming);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::string all = written("custom-stem.ass");
    for (int t = 0; t < 4; ++t) {
        const std::string whole =
            report("thread " + std::to_string(t),
                   "\n00001000 00001001 00001002 00001003 00001004 00001005 "
                   "\n00001006 00001007 00001008 00001009 0000100A 0000100B "
                   "\n0000100C 0000100D 0000100E 0000100F 00001010 00001011 \n00001012 00001013 ",
                   "", "custom header");
        EXPECT_EQ(countOccurrences(all, whole), 15u) << t;
        EXPECT_EQ(all.size(), 60 * whole.size());
    }
}

TEST(VXBacktraceLive, ReportHasReturnAddressesAndListsThisProgram) {
    const TempDir reports;
    VXBacktraceWrite("live", reports.path().c_str(), "ass", true, nullptr);
    const std::string all = readFile(reports.file("PID" + PID + ".ass"));
    const std::string head = report("live").substr(0, report("live").size() - 4) + "\n";
    ASSERT_EQ(all.substr(0, head.size()), head);
    // At least one row of addresses, each "%08X ".
    const std::string row = all.substr(head.size(), all.find('\n', head.size()) - head.size());
    EXPECT_GE(row.size(), 9u);
    EXPECT_EQ(row.find_first_not_of("0123456789ABCDEF "), std::string::npos) << row;
    char self[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    EXPECT_NE(all.find(" r-xp "), std::string::npos) << all;
    EXPECT_NE(all.find(self), std::string::npos) << all;
}

} // namespace
