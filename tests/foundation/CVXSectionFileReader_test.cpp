// Option-file format: sections, comments, trimming and handler dispatch.
#include "foundation/CVXSectionFileReader.h"

#include "tests/foundation/VXOsTestSupport.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::pair<uint16_t, std::string>>;

// Records (section id, line) and stops after a given number of lines.
class CRecordingHandler : public CVXSectionHandler {
public:
    explicit CRecordingHandler(size_t stopAfter = 1000000) : m_stopAfter(stopAfter) {}
    int handleSectionLine(uint16_t sectionId, const char* line) override {
        lines.emplace_back(sectionId, line);
        return lines.size() < m_stopAfter ? 1 : 0;
    }
    Lines lines;

private:
    size_t m_stopAfter;
};

TEST(CVXSectionFileReader, DispatchesLinesOfRegisteredSectionsOnce) {
    const TempDir directory;
    CRecordingHandler first;
    CRecordingHandler second;
    CVXSectionFileReader reader;
    EXPECT_EQ(reader.registerSection("COMMANDLINE", 0, &first), 1);
    EXPECT_EQ(reader.registerSection("COMMANDLINE", 1, &second), 0);
    EXPECT_EQ(reader.registerSection("COMMANDLINEX", 0x12345, &second), 1);
    EXPECT_EQ(reader.registerSection("B", 3, &second), 1);
    EXPECT_EQ(reader.registerSection("", 4, &second), 1);
    const std::string path = directory.write("sections", "before any section\n"
                                                         "[B]\nb1\n"
                                                         "[COMMANDLINE]\n--dump\n"
                                                         "[COMMANDLINEX] trailing text ignored\n"
                                                         "x1\n"
                                                         "[UNKNOWN]\nignored\n"
                                                         "[]\nempty\n"
                                                         "[COMMANDLINE\nignored\n"
                                                         "[B]\nb2\n");
    EXPECT_EQ(reader.readFile(path.c_str()), 1);
    EXPECT_EQ(first.lines, (Lines{{0, "--dump"}}));
    // The id is handed on as 16 bits.
    EXPECT_EQ(second.lines, (Lines{{3, "b1"}, {0x2345, "x1"}, {4, "empty"}, {3, "b2"}}));
    EXPECT_EQ(reader.readFile(directory.file("missing").c_str()), 0);
    EXPECT_EQ(reader.readFile(nullptr), 0);
}

TEST(CVXSectionFileReader, CommentsTrimmingLongLinesAndAHandlerThatStops) {
    const TempDir directory;
    const auto read = [&directory](const std::string& content, size_t stopAfter = 1000000) {
        CRecordingHandler handler(stopAfter);
        CVXSectionFileReader reader;
        EXPECT_EQ(reader.registerSection("S", 1, &handler), 1);
        EXPECT_EQ(reader.readFile(directory.write("file", content).c_str()), 1);
        return handler.lines;
    };
    EXPECT_EQ(read("# leading comment\n"
                   "[S]   # comment after a header\n"
                   "  # only a comment\n"
                   "\n"
                   "   \t  \r\n"
                   "  lead kept, trail removed \t\r\n"
                   "value # comment\n"
                   "a\\#b#c\n"
                   "\\#\\#x\n"
                   "#\\#\n"
                   "end\\#\n"
                   "#[S] commented header\n"
                   "back\\slash\n"
                   "ctrl\x01\x02\n"
                   "utf8 \xC3\xA9\n"
                   "last line without end"),
              (Lines{{1, "  lead kept, trail removed"},
                     {1, "value"},
                     {1, "a#b"},
                     {1, "##x"},
                     {1, "end#"},
                     {1, "back\\slash"},
                     {1, "ctrl"},
                     {1, "utf8 \xC3\xA9"},
                     {1, "last line without end"}}));
    char line[] = "--page=/x \\#1";
    EXPECT_EQ(CVXSectionFileReader::stripLine(line), 12u);
    EXPECT_STREQ(line, "--page=/x #1");

    EXPECT_EQ(read("[S]\n" + std::string(1500, 'x') + "\nnext\n"),
              (Lines{{1, std::string(1023, 'x')}, {1, std::string(477, 'x')}, {1, "next"}}));
    EXPECT_EQ(read("[S]\none\ntwo\nthree\n", 2), (Lines{{1, "one"}, {1, "two"}}));
}

} // namespace
