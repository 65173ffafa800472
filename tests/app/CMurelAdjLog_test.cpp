#include "app/CMurelAdjLog.h"

#include "app/MurelAdjMain.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <syslog.h>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// What reaches the system-log seam: "open <identity> <option> <facility>", "<priority> <line>" and
// "close".
Lines* g_systemLog = nullptr;

void captureOpen(const char* identity, int option, int facility) {
    g_systemLog->push_back("open " + std::string(identity) + " " + std::to_string(option) + " " +
                           std::to_string(facility));
}
__attribute__((format(printf, 2, 0))) void captureWrite(int priority, const char* format,
                                                        va_list args) {
    char text[512];
    vsnprintf(text, sizeof(text), format, args);
    g_systemLog->push_back(std::to_string(priority) + " " + text);
}
const CMurelAdjSystemLog CAPTURE = {captureOpen, captureWrite,
                                    [] { g_systemLog->emplace_back("close"); }};

__attribute__((format(printf, 2, 3))) void writeRaw(uint32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    CMurelAdjLog::write(level, format, args);
    va_end(args);
}

class CMurelAdjLogTest : public testing::Test {
protected:
    void SetUp() override {
        g_systemLog = &m_systemLog;
        m_previous = CMurelAdjLog::setSystemLog(&CAPTURE);
        testing::internal::CaptureStderr();
    }
    void TearDown() override {
        testing::internal::GetCapturedStderr();
        CMurelAdjLog::setSystemLog(m_previous);
        CMurelAdjLog::setTarget(CMurelAdjLog::DEFAULT_TARGET);
        CMurelAdjLog::setLevelMask(CMurelAdjLog::DEFAULT_LEVEL_MASK);
        g_systemLog = nullptr;
    }
    // Standard error since the last call; captures again.
    std::string err() {
        const std::string text = testing::internal::GetCapturedStderr();
        testing::internal::CaptureStderr();
        return text;
    }

    Lines m_systemLog;
    const CMurelAdjSystemLog* m_previous = nullptr;
};

// Standard error's filtering is also checked through the binary; the system log only here.
TEST_F(CMurelAdjLogTest, LevelMaskAndTargetFilterBothChannels) {
    EXPECT_EQ(CMurelAdjLog::target(), 3u);
    EXPECT_EQ(CMurelAdjLog::levelMask(), 7u);
    const auto logAll = [&](uint32_t target, uint32_t mask) {
        m_systemLog.clear();
        CMurelAdjLog::setTarget(target);
        CMurelAdjLog::setLevelMask(mask);
        CMurelAdjLog::warning("w %d", 1);
        CMurelAdjLog::error("e %s", "two");
        // Arguments are not taken as format.
        CMurelAdjLog::info("i %u%% %s", 3u, "/tmp/%s%n");
        // Any level other than warning and error goes to the system log as LOG_INFO.
        writeRaw(8, "raw %s", "eight");
        writeRaw(16, "not in the mask %d", 16);
        return m_systemLog;
    };
    const auto line = [](int priority, const char* text) {
        return std::to_string(priority) + " " + text;
    };
    const std::string warning = line(LOG_WARNING, "velkor: WARNING: w 1");
    const std::string error = line(LOG_ERR, "velkor: ERROR: e two");
    EXPECT_EQ(logAll(3, 0x0F),
              (Lines{warning, error, line(LOG_INFO, "velkor: INFO: i 3% /tmp/%s%n"),
                     line(LOG_INFO, "raw eight")}));
    EXPECT_EQ(err(), "velkor: WARNING: w 1\nvelkor: ERROR: e two\nvelkor: INFO: i 3% /tmp/%s%n\n"
                     "raw eight\n");
    EXPECT_EQ(logAll(1, 3), (Lines{warning, error}));
    EXPECT_EQ(logAll(1, 2), (Lines{error}));
    EXPECT_EQ(logAll(3, CMurelAdjLog::LEVEL_NONE), Lines{});
    EXPECT_EQ(err(), "");
    EXPECT_EQ(logAll(2, 1), Lines{});
    EXPECT_EQ(err(), "velkor: WARNING: w 1\n");

    // Option errors ignore mask and target.
    CMurelAdjLog::setTarget(1);
    CMurelAdjLog::setLevelMask(CMurelAdjLog::LEVEL_NONE);
    m_systemLog.clear();
    reportOptionError("'%s' option not supported.", "--x%d");
    EXPECT_EQ(err(), "velkor: '--x%d' option not supported.\n");
    EXPECT_EQ(m_systemLog, Lines{});
}

TEST_F(CMurelAdjLogTest, MainOpensTheSystemLogFirstAndClosesItLast) {
    // The test program's own arguments are no velkor options: the run ends with an option error,
    // which goes to standard error only. The last signals are logged before the log closes.
    volatile uint32_t requests = 0;
    EXPECT_EQ(murelAdjMain({&requests, nullptr, [] { CMurelAdjLog::warning("last"); }}), 1);
    EXPECT_EQ(m_systemLog, (Lines{"open velkor " + std::to_string(LOG_PID | LOG_CONS) + " " +
                                      std::to_string(LOG_USER),
                                  "4 velkor: WARNING: last", "close"}));
}

} // namespace
