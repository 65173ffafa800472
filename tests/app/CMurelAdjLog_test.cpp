#include "app/CMurelAdjLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <syslog.h>
#include <utility>
#include <vector>

namespace {

struct SystemLogRecord {
    std::vector<std::string> calls; // "open velkor 3 8", "close"
    std::vector<std::pair<int, std::string>> lines;
};

SystemLogRecord* g_record = nullptr;

void captureOpen(const char* identity, int option, int facility) {
    g_record->calls.push_back("open " + std::string(identity) + " " + std::to_string(option) + " " +
                              std::to_string(facility));
}

__attribute__((format(printf, 2, 0))) void captureWrite(int priority, const char* format,
                                                        va_list args) {
    char text[512];
    vsnprintf(text, sizeof(text), format, args);
    g_record->calls.emplace_back("write");
    g_record->lines.emplace_back(priority, text);
}

void captureClose() {
    g_record->calls.emplace_back("close");
}

const CMurelAdjSystemLog CAPTURE = {captureOpen, captureWrite, captureClose};

__attribute__((format(printf, 2, 3))) void writeRaw(uint32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    CMurelAdjLog::write(level, format, args);
    va_end(args);
}

class CMurelAdjLogTest : public testing::Test {
protected:
    void SetUp() override {
        g_record = &m_record;
        m_previous = CMurelAdjLog::setSystemLog(&CAPTURE);
        CMurelAdjLog::setTarget(CMurelAdjLog::DEFAULT_TARGET);
        CMurelAdjLog::setLevelMask(CMurelAdjLog::DEFAULT_LEVEL_MASK);
    }
    void TearDown() override {
        CMurelAdjLog::setSystemLog(m_previous);
        CMurelAdjLog::setTarget(CMurelAdjLog::DEFAULT_TARGET);
        CMurelAdjLog::setLevelMask(CMurelAdjLog::DEFAULT_LEVEL_MASK);
        g_record = nullptr;
    }

    // Logs one message at each level and returns what reached standard error.
    static std::string logEachLevel() {
        testing::internal::CaptureStderr();
        CMurelAdjLog::warning("w %d", 1);
        CMurelAdjLog::error("e %s", "two");
        CMurelAdjLog::info("i %u%%", 3u);
        return testing::internal::GetCapturedStderr();
    }

    SystemLogRecord m_record;
    const CMurelAdjSystemLog* m_previous = nullptr;
};

TEST_F(CMurelAdjLogTest, DefaultsWriteEveryLevelToBothTargets) {
    EXPECT_EQ(CMurelAdjLog::target(), 3u);
    EXPECT_EQ(CMurelAdjLog::levelMask(), 7u);
    EXPECT_EQ(logEachLevel(), "velkor: WARNING: w 1\n"
                              "velkor: ERROR: e two\n"
                              "velkor: INFO: i 3%\n");
    const std::vector<std::pair<int, std::string>> expected = {
        {LOG_WARNING, "velkor: WARNING: w 1"},
        {LOG_ERR, "velkor: ERROR: e two"},
        {LOG_INFO, "velkor: INFO: i 3%"}};
    EXPECT_EQ(m_record.lines, expected);
}

TEST_F(CMurelAdjLogTest, LevelMaskFilters) {
    CMurelAdjLog::setLevelMask(2);
    EXPECT_EQ(logEachLevel(), "velkor: ERROR: e two\n");
    ASSERT_EQ(m_record.lines.size(), 1u);
    EXPECT_EQ(m_record.lines[0].first, LOG_ERR);

    m_record.lines.clear();
    CMurelAdjLog::setLevelMask(5);
    EXPECT_EQ(logEachLevel(), "velkor: WARNING: w 1\nvelkor: INFO: i 3%\n");
    EXPECT_EQ(m_record.lines.size(), 2u);
}

TEST_F(CMurelAdjLogTest, LevelNoneWritesNothingAnywhere) {
    CMurelAdjLog::setLevelMask(CMurelAdjLog::LEVEL_NONE);
    EXPECT_EQ(logEachLevel(), "");
    EXPECT_TRUE(m_record.lines.empty());
}

TEST_F(CMurelAdjLogTest, TargetSystemLogOnly) {
    CMurelAdjLog::setTarget(1);
    EXPECT_EQ(logEachLevel(), "");
    EXPECT_EQ(m_record.lines.size(), 3u);
}

TEST_F(CMurelAdjLogTest, TargetStandardErrorOnly) {
    CMurelAdjLog::setTarget(2);
    EXPECT_EQ(logEachLevel(), "velkor: WARNING: w 1\n"
                              "velkor: ERROR: e two\n"
                              "velkor: INFO: i 3%\n");
    EXPECT_TRUE(m_record.lines.empty());
}

TEST_F(CMurelAdjLogTest, WriteTakesTheLevelBitAndAReadyFormat) {
    // Any level other than warning and error goes to the system log as LOG_INFO.
    CMurelAdjLog::setLevelMask(0x0F);
    testing::internal::CaptureStderr();
    writeRaw(8, "raw %s", "eight");
    writeRaw(16, "not in the mask %d", 16);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "raw eight\n");
    const std::vector<std::pair<int, std::string>> expected = {{LOG_INFO, "raw eight"}};
    EXPECT_EQ(m_record.lines, expected);
    EXPECT_EQ(CMurelAdjLog::priorityOf(CMurelAdjLog::LEVEL_WARNING), LOG_WARNING);
    EXPECT_EQ(CMurelAdjLog::priorityOf(CMurelAdjLog::LEVEL_ERROR), LOG_ERR);
    EXPECT_EQ(CMurelAdjLog::priorityOf(CMurelAdjLog::LEVEL_INFO), LOG_INFO);
}

TEST_F(CMurelAdjLogTest, SystemLogIdentity) {
    CMurelAdjLog::openSystemLog();
    CMurelAdjLog::closeSystemLog();
    const std::vector<std::string> expected = {"open velkor " + std::to_string(LOG_PID | LOG_CONS) +
                                                   " " + std::to_string(LOG_USER),
                                               "close"};
    EXPECT_EQ(m_record.calls, expected);
}

TEST_F(CMurelAdjLogTest, OptionErrorsIgnoreMaskAndTarget) {
    CMurelAdjLog::setLevelMask(CMurelAdjLog::LEVEL_NONE);
    CMurelAdjLog::setTarget(1);
    testing::internal::CaptureStderr();
    reportOptionError("'%s' option not supported.", "--x%d");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "velkor: '--x%d' option not supported.\n");
    EXPECT_TRUE(m_record.calls.empty());
}

TEST_F(CMurelAdjLogTest, ArgumentsAreNotTakenAsFormat) {
    CMurelAdjLog::setTarget(3);
    testing::internal::CaptureStderr();
    CMurelAdjLog::error("config: '%s' is not a regular file", "/tmp/%s%n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velkor: ERROR: config: '/tmp/%s%n' is not a regular file\n");
    ASSERT_EQ(m_record.lines.size(), 1u);
    EXPECT_EQ(m_record.lines[0].second, "velkor: ERROR: config: '/tmp/%s%n' is not a regular file");
}

} // namespace
