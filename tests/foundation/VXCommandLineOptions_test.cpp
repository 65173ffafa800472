// The argument table: plausibility check, "@file" expansion, limits and the text pool.
#include "foundation/VXCommandLineOptions.h"

#include "foundation/platform/VXRuntimeArgs.h"
#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

// The two notices of an implausible argument count, given times times.
std::vector<SlogLine> corruptCountLines(int times) {
    std::vector<SlogLine> lines;
    for (int i = 0; i < times; ++i) {
        lines.push_back(processLine(VX_SLOG_NOTICE,
                                    "VXCommandLineOptions: _argc corrupt due to bug "
                                    "in statically linked libc on ARM"));
        lines.push_back(processLine(
            VX_SLOG_NOTICE, "VXCommandLineOptions: command line arguments will NOT be evaluated"));
    }
    return lines;
}

// An argument vector owned by the test.
class CArgumentVector {
public:
    explicit CArgumentVector(Texts arguments) : m_texts(std::move(arguments)) {
        for (std::string& text : m_texts) {
            m_pointers.push_back(text.data());
        }
        m_pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(m_texts.size()); }
    char** argv() { return m_pointers.data(); }

private:
    Texts m_texts;
    std::vector<char*> m_pointers;
};

Texts tableArguments(const CVXCommandLineTable& table) {
    Texts arguments;
    for (int32_t index = 0; index < table.count(); ++index) {
        arguments.emplace_back(table.argument(index));
    }
    return arguments;
}

class VXCommandLineOptionsTest : public testing::Test {
protected:
    // The arguments of a table built from arguments.
    static Texts expand(Texts arguments) {
        CArgumentVector vector(std::move(arguments));
        CVXCommandLineTable table;
        EXPECT_TRUE(table.build(vector.argc(), vector.argv()));
        EXPECT_TRUE(table.isEvaluated());
        return tableArguments(table);
    }
    std::string optionFile(const std::string& name, const std::string& lines) {
        return m_directory.write(name, "[COMMANDLINE]\n" + lines);
    }

    TempDir m_directory;
};

TEST_F(VXCommandLineOptionsTest, ImplausibleCountDisablesTheArgumentsAtEveryAttempt) {
    for (const int count : {101, 0, -1}) {
        SlogCapture log;
        CArgumentVector arguments({"velkor", "--dump"});
        CVXCommandLineTable table;
        EXPECT_FALSE(table.build(count, arguments.argv())) << count;
        EXPECT_FALSE(table.build(count, arguments.argv()));
        EXPECT_EQ(table.count(), 0);
        EXPECT_FALSE(table.isEvaluated());
        EXPECT_EQ(table.arguments()[0], nullptr);
        EXPECT_EQ(log.lines(), corruptCountLines(2));
    }
}

TEST_F(VXCommandLineOptionsTest, PlausibleArgumentsAreTakenOverUncopied) {
    SlogCapture log;
    EXPECT_EQ(expand(Texts(100, "--x")).size(), 100u);
    EXPECT_EQ(expand({"@velkor"}), Texts{"@velkor"}); // argument 0 is never expanded
    CArgumentVector arguments({"velkor", "--dump"});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));
    EXPECT_EQ(table.arguments()[1], arguments.argv()[1]);
    EXPECT_EQ(table.arguments()[2], nullptr);
    for (const int32_t outside : {-1, 2, 128}) {
        EXPECT_EQ(table.argument(outside), nullptr);
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(VXCommandLineOptionsTest, OptionFilesAreAppendedBehindTheLastArgument) {
    const std::string opts = optionFile("opts", "--dump\n  # only a comment\n--page=/x \\#1\n");
    EXPECT_EQ(expand({"velkor", "@" + opts}),
              (Texts{"velkor", "@" + opts, "--dump", "--page=/x #1"}));

    const std::string second = optionFile("second", "--three\n");
    const std::string outer = optionFile("outer", "--one\n@" + second + "\n--two\n");
    EXPECT_EQ(expand({"velkor", "@" + outer, "--get=E2P.A", "@" + second}),
              (Texts{"velkor", "@" + outer, "--get=E2P.A", "@" + second, "--one", "@" + second,
                     "--two", "--three", "--three"}));

    SlogCapture log;
    const std::string missing = m_directory.file("missing");
    EXPECT_EQ(expand({"velkor", "@" + missing, "--dump"}),
              (Texts{"velkor", "@" + missing, "--dump"}));
    EXPECT_EQ(log.lines(),
              std::vector<SlogLine>{
                  processLine(VX_SLOG_ERROR, "Error opening command line option file " + missing)});
}

TEST_F(VXCommandLineOptionsTest, TableStopsAt128Arguments) {
    std::string lines;
    for (int line = 0; line < 200; ++line) {
        lines += "--line" + std::to_string(line) + "\n";
    }
    CArgumentVector arguments({"velkor", "@" + optionFile("many", lines), "--last"});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));
    ASSERT_EQ(table.count(), VXCommandLineOptions::MAX_ARGUMENTS);
    EXPECT_STREQ(table.argument(2), "--last");
    EXPECT_STREQ(table.argument(3), "--line0");
    EXPECT_STREQ(table.argument(127), "--line124");
    EXPECT_EQ(table.arguments()[128], nullptr);
    EXPECT_FALSE(table.append("--more"));
    EXPECT_EQ(table.count(), VXCommandLineOptions::MAX_ARGUMENTS);

    const std::string self = m_directory.file("self"); // names itself: ends at the limit
    optionFile("self", "--again\n@" + self + "\n");
    const Texts expanded = expand({"velkor", "@" + self});
    ASSERT_EQ(expanded.size(), 128u);
    EXPECT_EQ(expanded[2], "--again");
    EXPECT_EQ(expanded[3], "@" + self);
}

TEST_F(VXCommandLineOptionsTest, PoolGrowthKeepsEarlierTextsInPlace) {
    CArgumentVector arguments({"velkor"});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));
    Texts expected{"velkor"};
    std::vector<const char*> addresses{table.argument(0)};
    for (int index = 1; index < 60; ++index) {
        // Lengths from 1 to 1100 bytes, so that both partly filled and oversized chunks occur.
        expected.emplace_back(static_cast<size_t>(index * 97 % 1100 + 1), char('a' + index % 26));
        ASSERT_TRUE(table.append(expected.back().c_str()));
        addresses.push_back(table.argument(index));
    }
    EXPECT_FALSE(table.append(nullptr));
    EXPECT_EQ(tableArguments(table), expected);
    for (int index = 0; index < table.count(); ++index) {
        EXPECT_EQ(table.argument(index), addresses[static_cast<size_t>(index)]);
    }

    std::string lines; // long file lines, read in pieces of 1023 characters, stay whole
    expected = {"velkor", "@" + m_directory.file("long")};
    for (int line = 0; line < 100; ++line) {
        expected.push_back("--long" + std::to_string(line) + "=" + std::string(1000, 'v'));
        lines += expected.back() + "\n";
    }
    EXPECT_EQ(expand({"velkor", "@" + optionFile("long", lines)}), expected);
}

// The process's table is built once from the runtime's vector, so this one test walks through
// its life: an implausible count first, then a good vector.
TEST_F(VXCommandLineOptionsTest, ProcessTableFromTheRuntimeArguments) {
    const int savedArgc = VXRuntimeArgc();
    char** const savedArgv = VXRuntimeArgv();
    const std::string opts = optionFile("opts", "--dump\n");
    CArgumentVector corrupt({"velkor", "--dump"});
    CArgumentVector good({"velkor", "@" + opts});
    SlogCapture log;
    VXRuntimeSetArgs(101, corrupt.argv());
    EXPECT_EQ(VXCommandLineOptions::getArgc(), 0);
    EXPECT_EQ(VXRuntimeArgc(), 0);
    EXPECT_EQ(VXCommandLineOptions::getArg(0), nullptr);
    EXPECT_EQ(VXCommandLineOptions::getArgv()[0], nullptr);
    EXPECT_EQ(log.take(), corruptCountLines(3));

    VXRuntimeSetArgs(good.argc(), good.argv());
    ASSERT_EQ(VXCommandLineOptions::getArgc(), 3);
    EXPECT_EQ(VXCommandLineOptions::getArg(1), "@" + opts);
    EXPECT_STREQ(VXCommandLineOptions::getArgv()[2], "--dump");
    EXPECT_EQ(VXCommandLineOptions::getArg(3), nullptr);
    EXPECT_EQ(VXCommandLineOptions::getArg(-1), nullptr);
    VXRuntimeSetArgs(101, corrupt.argv()); // built once: a changed runtime vector no longer matters
    EXPECT_EQ(VXCommandLineOptions::getArgc(), 3);
    EXPECT_TRUE(log.lines().empty());
    VXRuntimeSetArgs(savedArgc, savedArgv);
}

} // namespace
