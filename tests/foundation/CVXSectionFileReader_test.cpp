// Option-file format: sections, comments, trimming and handler dispatch.
#include "foundation/CVXSectionFileReader.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

// A handler that records (section id, line) and stops after a given number of lines.
class CRecordingHandler : public CVXSectionHandler {
public:
    explicit CRecordingHandler(size_t stopAfter = 1000000) : m_stopAfter(stopAfter) {}

    int handleSectionLine(uint16_t sectionId, const char* line) override {
        m_lines.emplace_back(sectionId, line);
        return m_lines.size() < m_stopAfter ? 1 : 0;
    }

    std::vector<std::pair<uint16_t, std::string>> m_lines;

private:
    size_t m_stopAfter;
};

class CVXSectionFileReaderTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "velkor-sections-XXXXXX";
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

using Lines = std::vector<std::pair<uint16_t, std::string>>;

TEST_F(CVXSectionFileReaderTest, DispatchesLinesOfRegisteredSectionsByTheirIds) {
    CRecordingHandler handler;
    CVXSectionFileReader reader;
    ASSERT_EQ(reader.registerSection("COMMANDLINE", 0, &handler), 1);
    ASSERT_EQ(reader.registerSection("ALPHA", 7, &handler), 1);
    ASSERT_EQ(reader.registerSection("ZETA", 0x12345, &handler), 1);
    const std::string path = writeFile("sections", "before any section\n"
                                                   "[ALPHA]\n"
                                                   "a1\n"
                                                   "[COMMANDLINE]\n"
                                                   "--dump\n"
                                                   "[ZETA] trailing text is ignored\n"
                                                   "z1\n"
                                                   "[UNKNOWN]\n"
                                                   "ignored\n"
                                                   "[ALPHA]\n"
                                                   "a2\n");
    EXPECT_EQ(reader.readFile(path.c_str()), 1);
    // The id is handed on as 16 bits.
    EXPECT_EQ(handler.m_lines, (Lines{{7, "a1"}, {0, "--dump"}, {0x2345, "z1"}, {7, "a2"}}));
}

TEST_F(CVXSectionFileReaderTest, NameIsRegisteredOnlyOnce) {
    CRecordingHandler first;
    CRecordingHandler second;
    CVXSectionFileReader reader;
    EXPECT_EQ(reader.registerSection("COMMANDLINE", 0, &first), 1);
    EXPECT_EQ(reader.registerSection("COMMANDLINE", 1, &second), 0);
    EXPECT_EQ(reader.registerSection("COMMANDLINEX", 2, &second), 1);
    EXPECT_EQ(reader.registerSection("B", 3, &second), 1);
    EXPECT_EQ(reader.registerSection("", 4, &second), 1);
    const std::string path =
        writeFile("dup", "[COMMANDLINE]\none\n[COMMANDLINEX]\ntwo\n[B]\nthree\n[]\nfour\n");
    EXPECT_EQ(reader.readFile(path.c_str()), 1);
    EXPECT_EQ(first.m_lines, (Lines{{0, "one"}}));
    EXPECT_EQ(second.m_lines, (Lines{{2, "two"}, {3, "three"}, {4, "four"}}));
}

TEST_F(CVXSectionFileReaderTest, UnterminatedHeaderEndsTheSection) {
    CRecordingHandler handler;
    CVXSectionFileReader reader;
    reader.registerSection("COMMANDLINE", 0, &handler);
    const std::string path = writeFile("open", "[COMMANDLINE]\n"
                                               "--a\n"
                                               "[COMMANDLINE\n"
                                               "--b\n"
                                               "--c\n"
                                               "[COMMANDLINE]\n"
                                               "--d\n");
    EXPECT_EQ(reader.readFile(path.c_str()), 1);
    EXPECT_EQ(handler.m_lines, (Lines{{0, "--a"}, {0, "--d"}}));
}

TEST_F(CVXSectionFileReaderTest, CommentsTrimmingAndEmptyLines) {
    CRecordingHandler handler;
    CVXSectionFileReader reader;
    reader.registerSection("S", 1, &handler);
    const std::string path = writeFile("format", "# leading comment\n"
                                                 "[S]   # comment after a header\n"
                                                 "  # only a comment\n"
                                                 "\n"
                                                 "   \t  \r\n"
                                                 "  lead kept, trail removed \t\r\n"
                                                 "value # comment\n"
                                                 "a\\#b#c\n"
                                                 "\\#\\#x\n"
                                                 "#[S] commented header\n"
                                                 "back\\slash\n"
                                                 "ctrl\x01\x02\n"
                                                 "utf8 \xC3\xA9\n"
                                                 "last line without end");
    EXPECT_EQ(reader.readFile(path.c_str()), 1);
    EXPECT_EQ(handler.m_lines, (Lines{{1, "  lead kept, trail removed"},
                                      {1, "value"},
                                      {1, "a#b"},
                                      {1, "##x"},
                                      {1, "back\\slash"},
                                      {1, "ctrl"},
                                      {1, "utf8 \xC3\xA9"},
                                      {1, "last line without end"}}));
}

TEST_F(CVXSectionFileReaderTest, LongLineIsReadInPiecesOf1023Characters) {
    CRecordingHandler handler;
    CVXSectionFileReader reader;
    reader.registerSection("S", 1, &handler);
    const std::string longLine(1500, 'x');
    const std::string path = writeFile("long", "[S]\n" + longLine + "\nnext\n");
    EXPECT_EQ(reader.readFile(path.c_str()), 1);
    EXPECT_EQ(handler.m_lines,
              (Lines{{1, std::string(1023, 'x')}, {1, std::string(477, 'x')}, {1, "next"}}));
}

TEST_F(CVXSectionFileReaderTest, HandlerStopsTheReading) {
    CRecordingHandler handler(2);
    CVXSectionFileReader reader;
    reader.registerSection("S", 1, &handler);
    const std::string path = writeFile("stop", "[S]\none\ntwo\nthree\n");
    EXPECT_EQ(reader.readFile(path.c_str()), 1);
    EXPECT_EQ(handler.m_lines, (Lines{{1, "one"}, {1, "two"}}));
}

TEST_F(CVXSectionFileReaderTest, MissingFileIsNotOpened) {
    CRecordingHandler handler;
    CVXSectionFileReader reader;
    reader.registerSection("S", 1, &handler);
    EXPECT_EQ(reader.readFile((m_directory + "/missing").c_str()), 0);
    EXPECT_EQ(reader.readFile(nullptr), 0);
    EXPECT_TRUE(handler.m_lines.empty());
}

TEST(CVXSectionFileReaderStripLine, RemovesCommentAndTrailingBlanks) {
    char escaped[] = "--page=/x \\#1";
    EXPECT_EQ(CVXSectionFileReader::stripLine(escaped), 12u);
    EXPECT_STREQ(escaped, "--page=/x #1");

    char comment[] = "  # note\n";
    EXPECT_EQ(CVXSectionFileReader::stripLine(comment), 0u);
    EXPECT_STREQ(comment, "");

    char hashFirst[] = "#\\#";
    EXPECT_EQ(CVXSectionFileReader::stripLine(hashFirst), 0u);

    char escapeAtEnd[] = "end\\#";
    EXPECT_EQ(CVXSectionFileReader::stripLine(escapeAtEnd), 4u);
    EXPECT_STREQ(escapeAtEnd, "end#");
}

} // namespace
