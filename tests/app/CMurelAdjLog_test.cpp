// The application log's system-log channel (through a capturing seam) beside standard error.
#include "app/CMurelAdjLog.h"

#include "app/MurelAdjMain.h"
#include "foundation/VXAssert.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <syslog.h>
#include <tuple>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// What reaches the system-log seam: "open <identity> <option> <facility>", "<priority> <line>" and
// "close".
Lines g_systemLog;

const CMurelAdjSystemLog CAPTURE = {
    [](const char* identity, int option, int facility) {
        g_systemLog.push_back("open " + std::string(identity) + " " + std::to_string(option) + " " +
                              std::to_string(facility));
    },
    [](int priority, const char* format, va_list args) {
        char text[512];
        vsnprintf(text, sizeof(text), format, args);
        g_systemLog.push_back(std::to_string(priority) + " " + text);
    },
    [] { g_systemLog.emplace_back("close"); }};

__attribute__((format(printf, 2, 3))) void writeRaw(uint32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    CMurelAdjLog::write(level, format, args);
    va_end(args);
}

// Target and mask filter both channels; other levels go to the system log as LOG_INFO. Option
// errors ignore both. The run opens the system log first and closes it after the last line.
TEST(CMurelAdjLogTest, LevelMaskAndTargetFilterBothChannels) {
    const CMurelAdjSystemLog* const previous = CMurelAdjLog::setSystemLog(&CAPTURE);
    EXPECT_EQ(CMurelAdjLog::target() * 10 + CMurelAdjLog::levelMask(), 37u);
    const std::string w = "4 velkor: WARNING: w 1", e = "3 velkor: ERROR: e two";
    const std::tuple<uint32_t, uint32_t, Lines, std::string> rows[] = {
        {3,
         0x0F,
         {w, e, "6 velkor: INFO: i 3% /tmp/%s%n", "6 raw eight"},
         "velkor: WARNING: w 1\nvelkor: ERROR: e two\nvelkor: INFO: i 3% /tmp/%s%n\nraw eight\n"},
        {1, 3, {w, e}, ""},
        {1, 2, {e}, ""},
        {3, CMurelAdjLog::LEVEL_NONE, {}, ""},
        {2, 1, {}, "velkor: WARNING: w 1\n"}};
    for (const auto& [target, mask, systemLog, standardError] : rows) {
        g_systemLog.clear();
        CMurelAdjLog::setTarget(target);
        CMurelAdjLog::setLevelMask(mask);
        testing::internal::CaptureStderr();
        CMurelAdjLog::warning("w %d", 1);
        CMurelAdjLog::error("e %s", "two");
        CMurelAdjLog::info("i %u%% %s", 3u, "/tmp/%s%n");
        writeRaw(8, "raw %s", "eight");
        writeRaw(16, "not in the mask %d", 16);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), standardError) << target << mask;
        EXPECT_EQ(g_systemLog, systemLog) << target << mask;
    }
    CMurelAdjLog::setTarget(1);
    CMurelAdjLog::setLevelMask(CMurelAdjLog::LEVEL_NONE);
    g_systemLog.clear();
    testing::internal::CaptureStderr();
    reportOptionError("'%s' option not supported.", "--x%d");
    const uint32_t assertions = VXAssertionCount();
    reportMurelAdjOptionError(MURELADJ_OPTION_TOO_FEW, "--x", "--x"); // no such message
    EXPECT_EQ(VXAssertionCount(), assertions + 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr().substr(0, 39),
              "velkor: '--x%d' option not supported.\n\n");
    EXPECT_EQ(g_systemLog, Lines{});
    CMurelAdjLog::setTarget(CMurelAdjLog::DEFAULT_TARGET);
    CMurelAdjLog::setLevelMask(CMurelAdjLog::DEFAULT_LEVEL_MASK);
    // The test program's arguments are no velkor options: the run ends with an option error.
    volatile uint32_t requests = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(murelAdjMain({&requests, nullptr, [] { CMurelAdjLog::warning("last"); }}), 1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(g_systemLog, (Lines{"open velkor " + std::to_string(LOG_PID | LOG_CONS) + " " +
                                      std::to_string(LOG_USER),
                                  "4 velkor: WARNING: last", "close"}));
    // The default channel is the C library's: asked to, it copies each line to standard error.
    CMurelAdjLog::setSystemLog(previous);
    previous->open("velkor", LOG_PERROR, LOG_USER);
    testing::internal::CaptureStderr();
    CMurelAdjLog::warning("seen");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velkor: velkor: WARNING: seen\nvelkor: WARNING: seen\n");
    previous->close();
}

} // namespace
