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

TEST_F(CMurelAdjLogTest, LevelMaskAndTargetFilterBothChannels) {
    EXPECT_EQ(CMurelAdjLog::target(), 3u);
    EXPECT_EQ(CMurelAdjLog::levelMask(), 7u);
    const char* const lines[] = {"velkor: WARNING: w 1", "velkor: ERROR: e two",
                                 "velkor: INFO: i 3%"};
    const int priorities[] = {LOG_WARNING, LOG_ERR, LOG_INFO};
    struct Case {
        uint32_t target;
        uint32_t mask;
        const char* levels; // the lines that get through
    } const cases[] = {{3, 7, "012"}, {3, 2, "1"},   {3, 5, "02"},
                       {3, ~0u, ""},  {1, 7, "012"}, {2, 7, "012"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "target " << c.target << " mask " << c.mask);
        m_systemLog.clear();
        CMurelAdjLog::setTarget(c.target);
        CMurelAdjLog::setLevelMask(c.mask);
        CMurelAdjLog::warning("w %d", 1);
        CMurelAdjLog::error("e %s", "two");
        CMurelAdjLog::info("i %u%%", 3u);
        std::string expectedErr;
        Lines expectedSystemLog;
        for (const char* level = c.levels; *level != '\0'; ++level) {
            const int i = *level - '0';
            if ((c.target & 2) != 0) {
                expectedErr += lines[i] + std::string("\n");
            }
            if ((c.target & 1) != 0) {
                expectedSystemLog.push_back(std::to_string(priorities[i]) + " " + lines[i]);
            }
        }
        EXPECT_EQ(err(), expectedErr);
        EXPECT_EQ(m_systemLog, expectedSystemLog);
    }
}

TEST_F(CMurelAdjLogTest, RawLevelsArgumentsAndOptionErrors) {
    // Any level other than warning and error goes to the system log as LOG_INFO; arguments are
    // not taken as format.
    CMurelAdjLog::setLevelMask(0x0F);
    writeRaw(8, "raw %s", "eight");
    writeRaw(16, "not in the mask %d", 16);
    CMurelAdjLog::error("config: '%s' is not a regular file", "/tmp/%s%n");
    EXPECT_EQ(err(), "raw eight\nvelkor: ERROR: config: '/tmp/%s%n' is not a regular file\n");
    EXPECT_EQ(m_systemLog,
              (Lines{std::to_string(LOG_INFO) + " raw eight",
                     std::to_string(LOG_ERR) +
                         " velkor: ERROR: config: '/tmp/%s%n' is not a regular file"}));
    // Option errors ignore mask and target.
    m_systemLog.clear();
    CMurelAdjLog::setLevelMask(CMurelAdjLog::LEVEL_NONE);
    CMurelAdjLog::setTarget(1);
    reportOptionError("'%s' option not supported.", "--x%d");
    EXPECT_EQ(err(), "velkor: '--x%d' option not supported.\n");
    EXPECT_TRUE(m_systemLog.empty());
}

TEST_F(CMurelAdjLogTest, MainOpensTheSystemLogFirstAndClosesItLast) {
    // The test program's own arguments are no velkor options: the run ends with an option error,
    // written to standard error only, without a verdict.
    volatile uint32_t requests = 0;
    EXPECT_EQ(murelAdjMain(&requests), 1);
    const std::string text = err();
    EXPECT_EQ(m_systemLog, (Lines{"open velkor " + std::to_string(LOG_PID | LOG_CONS) + " " +
                                      std::to_string(LOG_USER),
                                  "close"}));
    EXPECT_NE(text.find("velkor: Use option '--help' for detailed information.\n"),
              std::string::npos);
    EXPECT_EQ(text.find("FAILURE"), std::string::npos);
}

} // namespace
