// The argument table: plausibility check, "@file" expansion, limits and the text pool.
#include "foundation/VXCommandLineOptions.h"

#include "foundation/platform/VXRuntimeArgs.h"
#include "foundation/platform/VXSlog.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct CLoggedLine {
    int severity;
    std::string text;
    bool operator==(const CLoggedLine& other) const {
        return severity == other.severity && text == other.text;
    }
};

void PrintTo(const CLoggedLine& line, std::ostream* out) {
    *out << "{" << line.severity << ", \"" << line.text << "\"}";
}

// Collects the process-log lines for the life of the object.
class CLogCapture {
public:
    CLogCapture() { VXSlogSetSink(collect, this, &m_previousSink, &m_previousContext); }
    ~CLogCapture() { VXSlogSetSink(m_previousSink, m_previousContext); }
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    std::vector<CLoggedLine> take() {
        std::lock_guard<std::mutex> guard(m_mutex);
        std::vector<CLoggedLine> lines;
        lines.swap(m_lines);
        return lines;
    }

private:
    static int collect(void* context, int /*opcode*/, int severity, const char* text) {
        auto* self = static_cast<CLogCapture*>(context);
        std::lock_guard<std::mutex> guard(self->m_mutex);
        self->m_lines.push_back({severity, text});
        return 0;
    }

    std::mutex m_mutex;
    std::vector<CLoggedLine> m_lines;
    VXSlogSink m_previousSink = nullptr;
    void* m_previousContext = nullptr;
};

std::string processLine(const std::string& text) {
    return "pid " + std::to_string(getpid()) + ": " + text;
}

const std::vector<CLoggedLine>& corruptCountLines() {
    static const std::vector<CLoggedLine> lines = {
        {4, processLine("VXCommandLineOptions: _argc corrupt due to bug in statically linked libc "
                        "on ARM")},
        {4, processLine("VXCommandLineOptions: command line arguments will NOT be evaluated")}};
    return lines;
}

// An argument vector owned by the test.
class CArgumentVector {
public:
    explicit CArgumentVector(std::vector<std::string> arguments) : m_texts(std::move(arguments)) {
        for (std::string& text : m_texts) {
            m_pointers.push_back(text.data());
        }
        m_pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(m_texts.size()); }
    char** argv() { return m_pointers.data(); }

private:
    std::vector<std::string> m_texts;
    std::vector<char*> m_pointers;
};

std::vector<std::string> tableArguments(const CVXCommandLineTable& table) {
    std::vector<std::string> arguments;
    for (int32_t index = 0; index < table.count(); ++index) {
        arguments.emplace_back(table.argument(index));
    }
    return arguments;
}

class VXCommandLineOptionsTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "velkor-options-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_directory = pattern;
    }
    void TearDown() override {
        for (const std::string& path : m_files) {
            unlink(path.c_str());
        }
        rmdir(m_directory.c_str());
    }

    std::string writeFile(const std::string& name, const std::string& content) {
        const std::string path = m_directory + "/" + name;
        FILE* file = fopen(path.c_str(), "w");
        EXPECT_NE(file, nullptr);
        if (file != nullptr) {
            fwrite(content.data(), 1, content.size(), file);
            fclose(file);
        }
        m_files.push_back(path);
        return path;
    }

    std::string m_directory;
    std::vector<std::string> m_files;
};

TEST_F(VXCommandLineOptionsTest, ImplausibleCountDisablesTheArguments) {
    for (const int count : {101, 0, -1, 1000}) {
        CLogCapture capture;
        CArgumentVector arguments({"velkor", "--dump"});
        CVXCommandLineTable table;
        EXPECT_FALSE(table.build(count, arguments.argv())) << count;
        EXPECT_EQ(table.count(), 0);
        EXPECT_FALSE(table.isEvaluated());
        EXPECT_EQ(table.argument(0), nullptr);
        EXPECT_EQ(table.arguments()[0], nullptr);
        // Every further attempt checks again and logs again.
        EXPECT_FALSE(table.build(count, arguments.argv()));
        std::vector<CLoggedLine> expected = corruptCountLines();
        expected.insert(expected.end(), corruptCountLines().begin(), corruptCountLines().end());
        EXPECT_EQ(capture.take(), expected);
    }
}

TEST_F(VXCommandLineOptionsTest, CountsOneAndHundredArePlausible) {
    CLogCapture capture;
    std::vector<std::string> texts(100, "--x");
    CArgumentVector hundred(texts);
    CVXCommandLineTable full;
    EXPECT_TRUE(full.build(hundred.argc(), hundred.argv()));
    EXPECT_EQ(full.count(), 100);

    CArgumentVector one({"velkor"});
    CVXCommandLineTable single;
    EXPECT_TRUE(single.build(one.argc(), one.argv()));
    EXPECT_TRUE(single.isEvaluated());
    EXPECT_EQ(tableArguments(single), std::vector<std::string>{"velkor"});
    EXPECT_TRUE(capture.take().empty());
}

TEST_F(VXCommandLineOptionsTest, ProcessArgumentsAreNotCopied) {
    CArgumentVector arguments({"velkor", "--dump"});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));
    EXPECT_EQ(table.arguments()[0], arguments.argv()[0]);
    EXPECT_EQ(table.arguments()[1], arguments.argv()[1]);
    EXPECT_EQ(table.arguments()[2], nullptr);
}

TEST_F(VXCommandLineOptionsTest, OptionFileSectionIsAppended) {
    const std::string opts = writeFile("opts", "[COMMANDLINE]\n"
                                               "--dump\n"
                                               "  # only a comment\n"
                                               "--page=/x \\#1\n");
    CArgumentVector arguments({"velkor", "@" + opts});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));
    EXPECT_EQ(tableArguments(table),
              (std::vector<std::string>{"velkor", "@" + opts, "--dump", "--page=/x #1"}));
}

TEST_F(VXCommandLineOptionsTest, AppendedArgumentsFollowTheLastArgument) {
    const std::string first = writeFile("first", "[COMMANDLINE]\n--one\n--two\n");
    const std::string second = writeFile("second", "[COMMANDLINE]\n--three\n");
    CArgumentVector arguments({"velkor", "@" + first, "--get=E2P.A", "@" + second});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));
    EXPECT_EQ(tableArguments(table),
              (std::vector<std::string>{"velkor", "@" + first, "--get=E2P.A", "@" + second, "--one",
                                        "--two", "--three"}));
}

TEST_F(VXCommandLineOptionsTest, NestedOptionFilesAreExpanded) {
    const std::string inner = writeFile("inner", "[COMMANDLINE]\n--three\n");
    const std::string outer = writeFile("outer", "[COMMANDLINE]\n--one\n@" + inner + "\n--two\n");
    CArgumentVector arguments({"velkor", "@" + outer});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));
    EXPECT_EQ(tableArguments(table), (std::vector<std::string>{"velkor", "@" + outer, "--one",
                                                               "@" + inner, "--two", "--three"}));
}

TEST_F(VXCommandLineOptionsTest, ArgumentZeroIsNeverExpanded) {
    CLogCapture capture;
    CArgumentVector arguments({"@velkor"});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));
    EXPECT_EQ(tableArguments(table), std::vector<std::string>{"@velkor"});
    EXPECT_TRUE(capture.take().empty());
}

TEST_F(VXCommandLineOptionsTest, MissingOptionFileIsLoggedAndSkipped) {
    CLogCapture capture;
    const std::string missing = m_directory + "/missing";
    CArgumentVector arguments({"velkor", "@" + missing, "--dump"});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));
    EXPECT_TRUE(table.isEvaluated());
    EXPECT_EQ(tableArguments(table), (std::vector<std::string>{"velkor", "@" + missing, "--dump"}));
    EXPECT_EQ(capture.take(),
              (std::vector<CLoggedLine>{
                  {2, processLine("Error opening command line option file " + missing)}}));
}

TEST_F(VXCommandLineOptionsTest, IndexOutsideTheTableGivesNoArgument) {
    CArgumentVector arguments({"velkor", "--dump"});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));
    EXPECT_EQ(table.argument(-1), nullptr);
    EXPECT_EQ(table.argument(2), nullptr);
    EXPECT_EQ(table.argument(128), nullptr);
    EXPECT_STREQ(table.argument(1), "--dump");
}

TEST_F(VXCommandLineOptionsTest, TableStopsAt128Arguments) {
    std::string content = "[COMMANDLINE]\n";
    for (int line = 0; line < 200; ++line) {
        content += "--line" + std::to_string(line) + "\n";
    }
    const std::string many = writeFile("many", content);
    CArgumentVector arguments({"velkor", "@" + many, "--last"});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));
    ASSERT_EQ(table.count(), VXCommandLineOptions::MAX_ARGUMENTS);
    EXPECT_STREQ(table.argument(2), "--last");
    EXPECT_STREQ(table.argument(3), "--line0");
    EXPECT_STREQ(table.argument(127), "--line124");
    EXPECT_EQ(table.argument(128), nullptr);
    EXPECT_EQ(table.arguments()[128], nullptr);
    EXPECT_FALSE(table.append("--more"));
    EXPECT_EQ(table.count(), VXCommandLineOptions::MAX_ARGUMENTS);
}

TEST_F(VXCommandLineOptionsTest, SelfReferringOptionFileEndsAtTheLimit) {
    const std::string path = m_directory + "/self";
    writeFile("self", "[COMMANDLINE]\n--again\n@" + path + "\n");
    CArgumentVector arguments({"velkor", "@" + path});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));
    EXPECT_EQ(table.count(), VXCommandLineOptions::MAX_ARGUMENTS);
    EXPECT_STREQ(table.argument(2), "--again");
    EXPECT_EQ(table.argument(3), "@" + path);
}

TEST_F(VXCommandLineOptionsTest, PoolGrowthKeepsEarlierTextsInPlace) {
    CArgumentVector arguments({"velkor"});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));

    std::vector<std::string> expected{"velkor"};
    std::vector<const char*> addresses{table.argument(0)};
    for (int index = 1; index < 60; ++index) {
        // Lengths from 1 to 1100 bytes, so that both partly filled and oversized chunks occur.
        std::string text(static_cast<size_t>(index * 97 % 1100 + 1),
                         static_cast<char>('a' + index % 26));
        ASSERT_TRUE(table.append(text.c_str()));
        expected.push_back(text);
        addresses.push_back(table.argument(index));
    }
    EXPECT_EQ(tableArguments(table), expected);
    for (int index = 0; index < table.count(); ++index) {
        EXPECT_EQ(table.argument(index), addresses[static_cast<size_t>(index)]);
    }
    EXPECT_FALSE(table.append(nullptr));
}

TEST_F(VXCommandLineOptionsTest, ManyLongOptionFileLinesStayIntact) {
    std::string content = "[COMMANDLINE]\n";
    std::vector<std::string> expected;
    for (int line = 0; line < 100; ++line) {
        std::string text = "--long" + std::to_string(line) + "=" + std::string(1000, 'v');
        content += text + "\n";
        expected.push_back(text);
    }
    const std::string path = writeFile("long", content);
    CArgumentVector arguments({"velkor", "@" + path});
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(arguments.argc(), arguments.argv()));
    ASSERT_EQ(table.count(), 102);
    for (int line = 0; line < 100; ++line) {
        EXPECT_EQ(table.argument(line + 2), expected[static_cast<size_t>(line)]);
    }
}

// The process's table is built once from the runtime's vector, so this one test walks through
// its life: an implausible count first, then a good vector.
TEST_F(VXCommandLineOptionsTest, ProcessTableFromTheRuntimeArguments) {
    const int savedArgc = VXRuntimeArgc();
    char** const savedArgv = VXRuntimeArgv();
    const std::string opts = writeFile("opts", "[COMMANDLINE]\n--dump\n");

    CArgumentVector corrupt({"velkor", "--dump"});
    {
        CLogCapture capture;
        VXRuntimeSetArgs(101, corrupt.argv());
        EXPECT_EQ(VXCommandLineOptions::getArgc(), 0);
        EXPECT_EQ(VXRuntimeArgc(), 0);
        EXPECT_EQ(VXCommandLineOptions::getArg(0), nullptr);
        EXPECT_EQ(VXCommandLineOptions::getArgv()[0], nullptr);
        std::vector<CLoggedLine> expected;
        for (int query = 0; query < 3; ++query) {
            expected.insert(expected.end(), corruptCountLines().begin(), corruptCountLines().end());
        }
        EXPECT_EQ(capture.take(), expected);
    }

    CArgumentVector good({"velkor", "@" + opts});
    {
        CLogCapture capture;
        VXRuntimeSetArgs(good.argc(), good.argv());
        ASSERT_EQ(VXCommandLineOptions::getArgc(), 3);
        EXPECT_STREQ(VXCommandLineOptions::getArg(0), "velkor");
        EXPECT_EQ(VXCommandLineOptions::getArg(1), "@" + opts);
        EXPECT_STREQ(VXCommandLineOptions::getArgv()[2], "--dump");
        EXPECT_EQ(VXCommandLineOptions::getArg(3), nullptr);
        EXPECT_EQ(VXCommandLineOptions::getArg(-1), nullptr);
        // Built once: a changed runtime vector no longer matters.
        VXRuntimeSetArgs(101, corrupt.argv());
        EXPECT_EQ(VXCommandLineOptions::getArgc(), 3);
        EXPECT_TRUE(capture.take().empty());
    }
    VXRuntimeSetArgs(savedArgc, savedArgv);
}

} // namespace
