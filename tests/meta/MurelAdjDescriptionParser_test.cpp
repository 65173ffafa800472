#include "meta/MurelAdjDescriptionParser.h"

#include "meta/MurelAdjDescriptionLine.h"

#include "foundation/CVXFile.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <vector>

namespace {

// A data line with the second and third value columns of the same length as the first.
std::string dataLine(const std::string& address, const std::string& entry,
                     const std::string& type = "UINT8", const std::string& count = "1",
                     const std::string& value = "01") {
    return address + " E2P.G\t" + entry + "  " + type + " " + count + " " + value + " " +
           std::string(value.size(), '0') + " " + std::string(value.size(), 'F');
}

std::vector<std::string> names(const CMurelAdjDescription& description) {
    std::vector<std::string> out;
    for (const CMurelAdjNodeDesc& node : description) {
        out.emplace_back(node.name.c_str());
    }
    return out;
}

uint32_t count(const std::string& text) {
    return parseDescriptionCount(text.c_str(), static_cast<uint32_t>(text.size()));
}

struct Parsed {
    EMurelAdjDescriptionResult result;
    CMurelAdjDescriptionReport report;
    CMurelAdjDescription description;
};

class MurelAdjDescriptionParserTest : public testing::Test {
protected:
    Parsed parse(const std::string& content) {
        Parsed parsed;
        parsed.result = parseDescriptionFile(m_dir.write("description.txt", content).c_str(),
                                             parsed.description, parsed.report);
        EXPECT_EQ(parsed.result, parsed.report.result);
        return parsed;
    }
    TempDir m_dir;
};

TEST_F(MurelAdjDescriptionParserTest, ExampleFile) {
    const Parsed parsed =
        parse("# layout of the adjust block\n"
              "Address\tGroup\tEntry\tType\tCount\tValue\n"
              "0000000C E2P.ProdLogistic\tSerialNo UINT8 10 00304237353038303032 "
              "00000000000000000000 FFFFFFFFFFFFFFFFFFFF\n"
              "00000016\tE2P.Networking Eth0MacAddr\t UINT8 6 02b4e12bb056 000000000000 "
              "FFFFFFFFFFFF\n"
              "0000001C E2P Calibration.Offsets INT16 2 FFF60010 00000000 7FFF7FFF\n");
    ASSERT_EQ(parsed.result, MURELADJ_DESCRIPTION_OK);
    EXPECT_EQ(parsed.report.nodeCount, 3);
    ASSERT_EQ(names(parsed.description),
              (std::vector<std::string>{"E2P.ProdLogistic.SerialNo", "E2P.Networking.Eth0MacAddr",
                                        "E2P.Calibration.Offsets"}));
    const CMurelAdjNodeDesc& mac = parsed.description[1];
    EXPECT_EQ(mac.address, 22u);
    EXPECT_STREQ(mac.value.c_str(), "02B4E12BB056");
    EXPECT_STREQ(mac.type.typeName.c_str(), "UINT8");
    EXPECT_EQ(mac.type.size, 1u);
    EXPECT_EQ(mac.type.count, 6u);
    const CMurelAdjNodeDesc& offsets = parsed.description[2];
    EXPECT_EQ(offsets.address, 28u);
    EXPECT_STREQ(offsets.type.typeName.c_str(), "INT16");
    EXPECT_EQ(offsets.type.size, 2u);
    EXPECT_EQ(offsets.type.count, 2u);
}

// Whole files: results, the line of a failure (physical lines, counted from 1) and the nodes.
TEST_F(MurelAdjDescriptionParserTest, FileOutcomes) {
    const std::string a = dataLine("0000000C", "A");
    const std::string b = dataLine("0000000E", "B", "UINT8", "1", "02");
    const std::string c = dataLine("00000010", "C");
    const struct {
        std::string content;
        EMurelAdjDescriptionResult result;
        uint32_t line;
        std::vector<std::string> names;
    } cases[] = {
        {"", MURELADJ_DESCRIPTION_NO_NODES, 0, {}},
        {"# comment\nAddress Group\n  # indented comment\nAddressless header\n",
         MURELADJ_DESCRIPTION_NO_NODES,
         0,
         {}},
        {a, MURELADJ_DESCRIPTION_NO_NODES, 0, {}}, // a last line without line feed is ignored
        {"# only\nnot even a data line", MURELADJ_DESCRIPTION_NO_NODES, 0, {}},
        {c + "\n" + a + "\n" + b + "\n",
         MURELADJ_DESCRIPTION_OK,
         0,
         {"E2P.G.A", "E2P.G.B", "E2P.G.C"}},
        {"# c\r\n" + a + "\r\n" + b + "\r\n", MURELADJ_DESCRIPTION_OK, 0, {"E2P.G.A", "E2P.G.B"}},
        {"AddressXYZ anything\n   #x\n" + a + "\n", MURELADJ_DESCRIPTION_OK, 0, {"E2P.G.A"}},
        {a + "\n\n", MURELADJ_DESCRIPTION_WRONG_FORMAT, 2, {}},
        {"# c\n" + a + "\n   \t \n", MURELADJ_DESCRIPTION_WRONG_FORMAT, 3, {}},
        {"# c\nAddress\n# d\n" + a + "\naddress x\n", MURELADJ_DESCRIPTION_WRONG_FORMAT, 5, {}},
        {"ADDRESS\n", MURELADJ_DESCRIPTION_WRONG_FORMAT, 1, {}},
        // An empty first line is skipped silently; the next line is line 2.
        {"\n" + a + "\n", MURELADJ_DESCRIPTION_OK, 0, {"E2P.G.A"}},
        {"\nbad\n", MURELADJ_DESCRIPTION_WRONG_FORMAT, 2, {}},
        {"\n\n" + a + "\n", MURELADJ_DESCRIPTION_WRONG_FORMAT, 2, {}},
        {"\n" + a + "\nbad\n", MURELADJ_DESCRIPTION_WRONG_FORMAT, 3, {}},
        // Parsing stops at the first bad line; a later duplicate is not reached.
        {a + "\nbad\n" + a + "\n", MURELADJ_DESCRIPTION_WRONG_FORMAT, 2, {}},
        // A zero byte ends the line's text; invalid UTF-8 cuts it before the bad sequence.
        {a + std::string("\0garbage", 8) + "\n", MURELADJ_DESCRIPTION_OK, 0, {"E2P.G.A"}},
        {std::string("0000000C E2P.G\0 A UINT8 1 01 00 FF\n", 35),
         MURELADJ_DESCRIPTION_WRONG_FORMAT,
         1,
         {}},
        {"0000000C E2P.\x80G A UINT8 1 01 00 FF\n", MURELADJ_DESCRIPTION_WRONG_FORMAT, 1, {}},
        {a + " \xFF\xFE tail\n", MURELADJ_DESCRIPTION_OK, 0, {"E2P.G.A"}},
        // An over-long form of a space (C0 A0) decodes to a separator.
        {"0000000C\xC0\xA0"
         "E2P.G A UINT8 1 01 00 FF\n",
         MURELADJ_DESCRIPTION_OK,
         0,
         {"E2P.G.A"}},
        // The same address is always a duplicate, the same name only where the search for the
        // insertion position ends on it (for A at 0x20 it ends behind C).
        {a + "\n# c\n" + dataLine("0000000C", "Z") + "\n", MURELADJ_DESCRIPTION_DUPLICATE, 3, {}},
        {a + "\n" + b + "\n" + dataLine("00000020", "B") + "\n",
         MURELADJ_DESCRIPTION_DUPLICATE,
         3,
         {}},
        {a + "\n" + b + "\n" + c + "\n" + dataLine("00000020", "A") + "\n",
         MURELADJ_DESCRIPTION_OK,
         0,
         {"E2P.G.A", "E2P.G.B", "E2P.G.C", "E2P.G.A"}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.content);
        const Parsed parsed = parse(row.content);
        EXPECT_EQ(parsed.result, row.result);
        EXPECT_EQ(parsed.report.line, row.line);
        EXPECT_EQ(names(parsed.description), row.names);
        EXPECT_EQ(parsed.report.nodeCount, static_cast<int32_t>(row.names.size()));
    }
}

// One data line each, accepted or wrong format: lines with white space, then each column in turn
// put in for "#".
TEST_F(MurelAdjDescriptionParserTest, DataLineRules) {
    const std::string good = dataLine("0000000C", "A");
    const std::string big = dataLine("0000000C", "A", "UINT64", "253", std::string(4048, 'a'));
    const std::string tooBig = dataLine("0000000C", "A", "UINT64", "254", std::string(4064, 'a'));
    const struct {
        std::string line;
        std::vector<const char*> accepted;
        std::vector<const char*> rejected;
    } cases[] = {
        {"#", {}, {"0000000C\vE2P.G A UINT8 1 01 00 FF", "0000000C E2P.G A UINT8 1 01 00"}},
        {" \t" + good + " \t\v\f#", {"", " extra columns \t here"}, {}},
        {"0000000C\t \tE2P.G \t A\t\tUINT8   1 01 00 FF#", {""}, {}},
        {big + "#", {""}, {}},
        {tooBig + "#", {}, {""}},
        // Address: eight hexadecimal digits, 12 to 2035, the entry inside the block.
        {"# E2P.G A UINT8 1 01 00 FF",
         {"0000000c", "000007F3"},
         {"0000000B", "000007F4", "C", "0x0000000C", "00000000C", "0000000G", "FFFFFFFF"}},
        {"000007F3 E2P.G A #", {"UINT8 1 01 00 FF"}, {"UINT8 2 0102 0000 FFFF"}},
        // Names: group "." entry is a full entry name.
        {"0000000C # UINT8 1 01 00 FF",
         {"E2P A", "E2P.G.H A.B", "E2P.G A\xC3\xA4", "E2P.G\xC3\xA4 A"},
         {"e2p.G A", "XE2P.G A", "E2P. A", "E2P.G A.", "G A"}},
        // Types and counts: counts read like strtoul; size x count bytes, without overflow.
        {"0000000C E2P.G A # 01 00 FF",
         {"UINT8 1", "INT8 1", "UINT8 +1"},
         {"uint8 1", "UINT128 1", "BOOL 1", "UINT8 0", "UINT8 x1", "UINT8 -1", "INT16 1",
          "UINT8 4294967297", "UINT8 99999999999999999999"}},
        {"0000000C E2P.G A # 01020304 00000000 FFFFFFFF",
         {"INT16 2", "UINT16 2", "INT32 1", "UINT32 1", "INT8 4", "UINT8 4x"},
         {"UINT32 1073741825", "INT16 2147483650"}},
        {"0000000C E2P.G A # 0102030405060708 0000000000000000 FFFFFFFFFFFFFFFF",
         {"INT64 1", "UINT64 1"},
         {"UINT64 536870913"}},
        // Values: 2 x size x count hexadecimal digits, the second and third as long.
        {"0000000C E2P.G A UINT16 2 #",
         {"0102abcd 00000000 ffffffff"},
         {"0102abc 0000000 fffffff", "0102ab 000000 ffffff", "0102abcdef 0000000000 ffffffffff",
          "0102abcg 00000000 ffffffff", "0102abcd 0000000 ffffffff", "0102abcd 00000000 ffffffffff",
          "0102abcd 00000000 fffffffx", "0102ab\xC3\xA4 00000000 ffffffff"}},
    };
    for (const auto& row : cases) {
        for (const bool accepted : {true, false}) {
            for (const char* text : accepted ? row.accepted : row.rejected) {
                std::string line = row.line;
                line.replace(line.find('#'), 1, text);
                EXPECT_EQ(parse(line + "\n").result,
                          accepted ? MURELADJ_DESCRIPTION_OK : MURELADJ_DESCRIPTION_WRONG_FORMAT)
                    << line;
            }
        }
    }
    const Parsed parsed = parse("0000000C E2P.G A UINT8 3x 0102ab 000000 ffffff\n");
    ASSERT_EQ(parsed.result, MURELADJ_DESCRIPTION_OK);
    EXPECT_EQ(parsed.description[0].type.count, 3u);
    EXPECT_STREQ(parsed.description[0].value.c_str(), "0102AB");

    // The count as strtoul reads it where unsigned long has 32 bits.
    const char* const texts[] = {"12", " \t+7",       "3x",         "x3",         "",
                                 "-1", "-4294967295", "4294967295", "4294967296", "-4294967296"};
    const uint32_t counts[] = {12, 7, 3, 0, 0, 0xFFFFFFFF, 1, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    for (size_t i = 0; i < std::size(counts); ++i) {
        EXPECT_EQ(count(texts[i]), counts[i]) << texts[i];
    }
}

TEST_F(MurelAdjDescriptionParserTest, FailuresLeaveTheDescriptionAlone) {
    CMurelAdjDescription description;
    CMurelAdjDescriptionReport report;
    const auto parseFile = [&](const std::string& path) {
        return parseDescriptionFile(path.c_str(), description, report);
    };
    ASSERT_EQ(parseFile(m_dir.write("first.txt", dataLine("0000000C", "A") + "\n")),
              MURELADJ_DESCRIPTION_OK);
    EXPECT_EQ(parseFile(m_dir.write("bad.txt", dataLine("0000000D", "B") + "\nbad\n")),
              MURELADJ_DESCRIPTION_WRONG_FORMAT);
    EXPECT_EQ(parseFile(m_dir.file("missing")), MURELADJ_DESCRIPTION_STATUS_FAILED);
    EXPECT_EQ(report.errorNumber, ENOENT);
    EXPECT_EQ(parseFile(m_dir.path()), MURELADJ_DESCRIPTION_NOT_REGULAR_FILE);
    EXPECT_EQ(names(description), (std::vector<std::string>{"E2P.G.A"}));
    // A second successful parse replaces the list.
    EXPECT_EQ(parseFile(m_dir.write("second.txt", dataLine("0000000D", "B") + "\n")),
              MURELADJ_DESCRIPTION_OK);
    EXPECT_EQ(names(description), (std::vector<std::string>{"E2P.G.B"}));
}

// The size taken before the file was opened bounds the scan: bytes behind it (a file that grew)
// are not read, and a file shorter than it (a file that shrank) fails where its bytes end.
TEST_F(MurelAdjDescriptionParserTest, TheSizeBoundsTheScan) {
    const std::string first = dataLine("0000000C", "A") + "\n";
    const std::string path = m_dir.write("file.txt", first + dataLine("0000000D", "B") + "\n");
    CMurelAdjDescription description;
    CMurelAdjDescriptionReport report;
    CVXFile grown(path.c_str(), O_RDONLY);
    EXPECT_EQ(
        parseDescriptionStream(grown, static_cast<int64_t>(first.size() + 10), description, report),
        MURELADJ_DESCRIPTION_OK);
    EXPECT_EQ(names(description), (std::vector<std::string>{"E2P.G.A"}));

    m_dir.write("file.txt", first + "# tail");
    CVXFile shrunk(path.c_str(), O_RDONLY);
    CMurelAdjDescription none;
    const int64_t actual = static_cast<int64_t>(first.size() + 6);
    EXPECT_EQ(parseDescriptionStream(shrunk, actual + 100, none, report),
              MURELADJ_DESCRIPTION_READ_BYTE_FAILED);
    EXPECT_EQ(report.position, actual);
    EXPECT_EQ(report.errorNumber, 0);
    EXPECT_TRUE(none.isEmpty());
}

// The scan as the line rules define it, worked out on the bytes in memory: a line ends at a line
// feed within size and starts with the line feed before it; an empty first line is skipped.
CMurelAdjDescriptionReport referenceScan(const std::string& content, int64_t size,
                                         CMurelAdjDescription& description) {
    CMurelAdjDescriptionReport report;
    CMurelAdjDescription nodes;
    uint32_t line = 1;
    int64_t lineStart = 0;
    for (int64_t pos = 0; pos < size; ++pos) {
        if (pos >= static_cast<int64_t>(content.size())) {
            report.result = MURELADJ_DESCRIPTION_READ_BYTE_FAILED;
            report.position = pos;
            return report;
        }
        if (content[static_cast<size_t>(pos)] != '\n') {
            continue;
        }
        if (pos > lineStart) {
            CVXString text(content.data() + lineStart, static_cast<uint32_t>(pos - lineStart));
            text.trim();
            CMurelAdjNodeDesc node;
            if (classifyDescriptionLine(text) == MURELADJ_LINE_DATA) {
                report.result = !parseDescriptionDataLine(text, node)
                                    ? MURELADJ_DESCRIPTION_WRONG_FORMAT
                                : !nodes.insert(node) ? MURELADJ_DESCRIPTION_DUPLICATE
                                                      : MURELADJ_DESCRIPTION_OK;
                if (report.result != MURELADJ_DESCRIPTION_OK) {
                    report.line = line;
                    return report;
                }
            }
            lineStart = pos;
        }
        ++line;
    }
    report.result = nodes.isEmpty() ? MURELADJ_DESCRIPTION_NO_NODES : MURELADJ_DESCRIPTION_OK;
    report.nodeCount = nodes.isEmpty() ? 0 : nodes.size();
    description = nodes;
    return report;
}

// Random files of data, comment, blank and very long lines, with carriage returns, empty first
// lines and stray bytes, some read with a size beyond their end; and a comment far longer than
// one read block followed by data lines split over block boundaries.
TEST_F(MurelAdjDescriptionParserTest, TheBlockReadsFindTheLinesTheRulesDefine) {
    std::mt19937 random(20240611);
    const std::vector<std::string> pieces = {"# comment",
                                             "Address Group Entry",
                                             "",
                                             "   ",
                                             "bad line",
                                             std::string("zero\0byte", 9),
                                             "# long " + std::string(66000, 'x'),
                                             "0000000C E2P.G A " + std::string(66000, 'y')};
    std::vector<std::string> contents;
    for (int round = 0; round < 60; ++round) {
        std::string content = random() % 4 == 0 ? "\n" : "";
        const int lines = static_cast<int>(random() % 40);
        uint32_t address = 12;
        for (int i = 0; i < lines; ++i) {
            const uint32_t pick = random() % 12;
            std::string line;
            if (pick < 6 && random() % 3 == 0) {
                line = pieces[pick];
            } else if (pick >= 6 && pick < 8 && random() % 30 == 0) {
                line = pieces[pick];
            } else {
                char text[16];
                snprintf(text, sizeof(text), "%08X", address);
                address += 1 + random() % 3;
                line = dataLine(text, "N" + std::to_string(random() % 50), "UINT8", "1", "0A");
            }
            content += line + (random() % 5 == 0 ? "\r\n" : "\n");
        }
        contents.push_back(content + (random() % 2 == 0 ? "# no line feed" : ""));
    }
    std::string blocks = "# " + std::string(200000, 'c') + "\n";
    for (uint32_t i = 0; i < 3000; ++i) {
        char address[16];
        snprintf(address, sizeof(address), "%08X", 12 + i / 2);
        blocks += i % 2 != 0
                      ? "# filler " + std::string(i % 97, '-') + "\n"
                      : dataLine(address, "N" + std::to_string(i), "UINT8", "1", "5a") + "\n";
    }
    contents.push_back(blocks);
    contents.push_back(blocks + "0000000C E2P.G A " + std::string(150000, 'z') + "\n");

    for (size_t round = 0; round < contents.size(); ++round) {
        const std::string& content = contents[round];
        const std::string path = m_dir.write("random.txt", content);
        const int64_t size =
            static_cast<int64_t>(content.size()) + (round % 4 == 1 ? 1 + random() % 9 : 0);
        CVXFile file(path.c_str(), O_RDONLY);
        CMurelAdjDescription list;
        CMurelAdjDescriptionReport report;
        parseDescriptionStream(file, size, list, report);
        CMurelAdjDescription expectedList;
        const CMurelAdjDescriptionReport expected = referenceScan(content, size, expectedList);
        SCOPED_TRACE(round);
        EXPECT_EQ(report.result, expected.result);
        EXPECT_EQ(report.line, expected.line);
        EXPECT_EQ(report.position, expected.position);
        EXPECT_EQ(report.errorNumber, expected.errorNumber);
        EXPECT_EQ(report.nodeCount, expected.nodeCount);
        EXPECT_EQ(names(list), names(expectedList));
    }
    // The two long files: 1500 nodes, then a wrong format in line 3002.
    CMurelAdjDescription list;
    EXPECT_EQ(
        referenceScan(contents[60], static_cast<int64_t>(contents[60].size()), list).nodeCount,
        1500);
    EXPECT_EQ(list[1499].address, 12u + 1499u);
    EXPECT_EQ(referenceScan(contents[61], static_cast<int64_t>(contents[61].size()), list).line,
              3002u);
}

TEST_F(MurelAdjDescriptionParserTest, PlainAsciiTest) {
    for (uint32_t length = 0; length < 20; ++length) {
        const std::string text(length, 'a');
        EXPECT_TRUE(isPlainAsciiText(text.data(), length)) << length;
        for (uint32_t position = 0; position < length; ++position) {
            for (const char byte : {'\0', '\x80', '\xFF', '\x7F', '\x01'}) {
                std::string changed = text;
                changed[position] = byte;
                EXPECT_EQ(isPlainAsciiText(changed.data(), length), byte == '\x7F' || byte == 1)
                    << length << " " << position << " " << int(byte);
            }
        }
    }
}

// Random plain-ASCII lines: the byte rules and the string rules agree on every one.
TEST_F(MurelAdjDescriptionParserTest, ByteAndStringRulesAgree) {
    std::mt19937 random(7);
    const std::vector<std::vector<std::string>> choices = {
        {"0000000C", "000007F3", "000007f0", "0000000B", "000007F4", "C", "0x00000C", "0000001G"},
        {"E2P.G", "E2P", "e2p.G", "E2P.", "E2P..X", " E2P.G", "X", "E2P.G\vH"},
        {"A", "A.B", ".A", "A.", "\fA", "A\r"},
        {"UINT8", "INT16", "UINT32", "INT64", "uint8", "UINT"},
        {"1", "2", "0", "3x", "+1", "-1", "x", "4294967297"},
        {"01", "0a0B", "0102030405060708", "0", "0g", "", "0102030405060708090A0B0C0D0E0F10"}};
    const std::string separators[] = {" ", "\t", "  ", " \t "};
    // Mostly the first (valid) choice, so that many lines pass.
    const auto pick = [&random](const std::vector<std::string>& list) {
        return random() % 2 == 0 ? list[0] : list[random() % list.size()];
    };
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::string> columns;
        for (size_t i = 0; i < 5; ++i) {
            columns.push_back(pick(choices[i]));
        }
        const uint32_t bytes = (columns[3] == "INT16" ? 2u : 1u) * count(columns[4]);
        const std::string value =
            random() % 2 == 0 && bytes < 64 ? std::string(2 * bytes, 'c') : pick(choices[5]);
        columns.push_back(value);
        columns.push_back(random() % 8 == 0 ? value + "0" : std::string(value.size(), '0'));
        columns.push_back(random() % 8 == 0 ? "zz" : std::string(value.size(), 'f'));
        const size_t keep = 6 + random() % 5;
        std::string line;
        for (size_t i = 0; i < keep && i < columns.size() + 2; ++i) {
            line += (i == 0 ? "" : separators[random() % 4]) +
                    (i < columns.size() ? columns[i] : std::string("extra"));
        }
        CVXString text(line.c_str());
        text.trim();
        CMurelAdjNodeDesc bytesNode;
        CMurelAdjNodeDesc textNode;
        const bool byBytes =
            parseAsciiDescriptionDataLine(text.c_str(), text.byteLength(), bytesNode);
        ASSERT_EQ(byBytes, parseTextDescriptionDataLine(text, textNode)) << line;
        if (byBytes) {
            ++accepted;
            EXPECT_TRUE(bytesNode.name == textNode.name && bytesNode.value == textNode.value &&
                        bytesNode.type.typeName == textNode.type.typeName)
                << line;
            EXPECT_EQ(bytesNode.address, textNode.address) << line;
            EXPECT_EQ(bytesNode.type.size, textNode.type.size) << line;
            EXPECT_EQ(bytesNode.type.count, textNode.type.count) << line;
        }
    }
    EXPECT_GT(accepted, 20);
}

} // namespace
