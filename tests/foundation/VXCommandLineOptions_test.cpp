// The option source: implausible argument counts and a missing option file. The option_file fuzz
// target checks the "@file" expansion against a model.
#include "foundation/VXCommandLineOptions.h"

#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

namespace {

// The two notices of an implausible argument count, given times times.
std::vector<SlogLine> corruptCountLines(int times) {
    std::vector<SlogLine> lines;
    for (int i = 0; i < 2 * times; ++i) {
        lines.push_back(processLine(
            VX_SLOG_NOTICE, i % 2 == 0 ? "VXCommandLineOptions: _argc corrupt due to bug in "
                                         "statically linked libc on ARM"
                                       : "VXCommandLineOptions: command line arguments will NOT "
                                         "be evaluated"));
    }
    return lines;
}

TEST(VXCommandLineOptionsTest, ImplausibleCountsAreRefusedAtEveryAttempt) {
    std::vector<const char*> arguments(101, "@/nonexistent/options");
    arguments.push_back(nullptr);
    for (const int count : {101, 0, -1, 100, 2}) {
        SlogCapture log;
        CVXCommandLineTable table;
        const bool plausible = count > 0 && count <= 100;
        EXPECT_EQ(table.build(count, const_cast<char**>(arguments.data())), plausible) << count;
        EXPECT_EQ(table.build(count, const_cast<char**>(arguments.data())), plausible);
        EXPECT_EQ(table.count() + (table.arguments()[0] != nullptr), plausible ? count + 1 : 0);
        // Argument 0 is no option file; a missing one is logged and leaves its argument.
        EXPECT_EQ(log.take(), plausible ? std::vector<SlogLine>(
                                              count - 1, processLine(VX_SLOG_ERROR,
                                                                     "Error opening command line "
                                                                     "option file /nonexistent/"
                                                                     "options"))
                                        : corruptCountLines(2));
    }
    CVXCommandLineTable table; // an empty first text gets room in the pool all the same
    EXPECT_TRUE(table.append("") && table.arguments()[0][0] == '\0');
    EXPECT_EQ(CVXSectionFileReader().readFile(nullptr), 0);
}

} // namespace
