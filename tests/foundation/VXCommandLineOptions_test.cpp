// The option source: the section-file reader, the argument table with its "@file" expansion, and
// the process's table built once from the runtime's arguments. The option_file fuzz target checks
// the file format, the 128-argument limit and the text pool against a model.
#include "foundation/CVXSectionFileReader.h"
#include "foundation/VXCommandLineOptions.h"

#include "foundation/platform/VXRuntimeArgs.h"
#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;
using Lines = std::vector<std::pair<uint16_t, std::string>>;

// Records (section id, line) and stops after a given number of lines.
struct CRecordingHandler : CVXSectionHandler {
    explicit CRecordingHandler(size_t limit = 1000) : stopAfter(limit) {}
    int handleSectionLine(uint16_t sectionId, const char* line) override {
        lines.emplace_back(sectionId, line);
        return lines.size() < stopAfter ? 1 : 0;
    }
    size_t stopAfter;
    Lines lines;
};

TEST(CVXSectionFileReader, DispatchesLinesOfRegisteredSectionsUntilAHandlerStops) {
    const TempDir directory;
    CRecordingHandler first;
    CRecordingHandler second(4);
    CVXSectionFileReader reader;
    EXPECT_EQ(reader.registerSection("S", 0, &first), 1);
    EXPECT_EQ(reader.registerSection("S", 1, &second), 0);
    EXPECT_EQ(reader.registerSection("SX", 0x12345, &second), 1); // handed on as 16 bits
    EXPECT_EQ(reader.registerSection("", 4, &second), 1);
    EXPECT_EQ(reader.readFile(directory
                                  .write("f", "before any section\n[S]   # comment\n"
                                              "  lead kept, trail removed \t\r\n"
                                              "a\\#b#c\n#\\#\n\\#\\#x\n"
                                              "[SX] trailing text ignored\nx1\n[UNKNOWN]\nu\n"
                                              "[]\nempty\n[S\nignored\n[SX]\n" +
                                                  std::string(1500, 'x') + "\nnot read\n")
                                  .c_str()),
              1);
    EXPECT_EQ(first.lines, (Lines{{0, "  lead kept, trail removed"}, {0, "a#b"}, {0, "##x"}}));
    EXPECT_EQ(second.lines, (Lines{{0x2345, "x1"},
                                   {4, "empty"},
                                   {0x2345, std::string(1023, 'x')},
                                   {0x2345, std::string(477, 'x')}}));
    EXPECT_EQ(reader.readFile(directory.file("missing").c_str()), 0);
    EXPECT_EQ(reader.readFile(nullptr), 0);
}

// An argument vector of the given texts, with its terminating null.
char** vector(std::vector<const char*>& texts) {
    texts.push_back(nullptr);
    return const_cast<char**>(texts.data());
}

// The two notices of an implausible argument count, given times times.
std::vector<SlogLine> corruptCountLines(int times) {
    std::vector<SlogLine> lines;
    for (int i = 0; i < times; ++i) {
        for (const char* text : {"_argc corrupt due to bug in statically linked libc on ARM",
                                 "command line arguments will NOT be evaluated"}) {
            lines.push_back(
                processLine(VX_SLOG_NOTICE, "VXCommandLineOptions: " + std::string(text)));
        }
    }
    return lines;
}

TEST(VXCommandLineOptionsTest, ImplausibleCountsAreRefusedAndOptionFilesAppended) {
    std::vector<const char*> many(101, "--x");
    char** const manyArguments = vector(many);
    for (const int count : {101, 0, -1, 100, 1}) { // refused at every attempt, or taken
        SlogCapture log;
        CVXCommandLineTable table;
        const bool plausible = count > 0 && count <= 100;
        EXPECT_EQ(table.build(count, manyArguments), plausible) << count;
        EXPECT_EQ(table.build(count, manyArguments), plausible);
        EXPECT_EQ(table.count() + (table.arguments()[0] != nullptr), plausible ? count + 1 : 0);
        EXPECT_EQ(log.take(), corruptCountLines(plausible ? 0 : 2));
    }
    const TempDir directory;
    const auto file = [&directory](const std::string& name, const std::string& lines) {
        return "@" + directory.write(name, "[COMMANDLINE]\n" + lines);
    };
    const std::string second = file("second", "--three\n");
    const std::string outer = file("outer", "--one\n" + second + "\n--two\n");
    const std::string missing = "@" + directory.file("missing");
    std::vector<const char*> texts = {"velkor", outer.c_str(), "--get=E2P.A", missing.c_str(),
                                      second.c_str()};
    char** const arguments = vector(texts);
    SlogCapture log;
    CVXCommandLineTable table;
    ASSERT_TRUE(table.build(5, arguments));
    EXPECT_EQ(table.arguments()[1], arguments[1]); // taken over uncopied
    Texts expanded;
    for (int32_t index = -1; index <= table.count(); ++index) {
        expanded.emplace_back(table.argument(index) != nullptr ? table.argument(index) : "-");
    }
    EXPECT_EQ(expanded, (Texts{"-", "velkor", outer, "--get=E2P.A", missing, second, "--one",
                               second, "--two", "--three", "--three", "-"}));
    EXPECT_EQ(log.take(),
              std::vector<SlogLine>{processLine(
                  VX_SLOG_ERROR, "Error opening command line option file " + missing.substr(1))});
}

// The process's table is built once from the runtime's vector, so this one test walks through
// its life: an implausible count first, then a good vector.
TEST(VXCommandLineOptionsTest, ProcessTableFromTheRuntimeArguments) {
    const int savedArgc = VXRuntimeArgc();
    char** const savedArgv = VXRuntimeArgv();
    std::vector<const char*> texts = {"velkor", "--check"};
    char** const arguments = vector(texts);
    SlogCapture log;
    VXRuntimeSetArgs(101, arguments);
    EXPECT_EQ(VXCommandLineOptions::getArgc(), 0);
    EXPECT_EQ(VXRuntimeArgc(), 0);
    EXPECT_EQ(VXCommandLineOptions::getArgv()[0], VXCommandLineOptions::getArg(0));
    EXPECT_EQ(log.take(), corruptCountLines(3));

    VXRuntimeSetArgs(2, arguments);
    EXPECT_STREQ(VXCommandLineOptions::getArg(1), "--check");
    VXRuntimeSetArgs(101, arguments); // built once: no longer read
    EXPECT_EQ(VXCommandLineOptions::getArgc(), 2);
    EXPECT_STREQ(VXCommandLineOptions::getArgv()[1], "--check");
    EXPECT_TRUE(log.take().empty());
    VXRuntimeSetArgs(savedArgc, savedArgv);
}

} // namespace
