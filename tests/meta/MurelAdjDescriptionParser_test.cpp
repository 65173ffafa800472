#include "meta/MurelAdjDescriptionParser.h"

#include "meta/MurelAdjDescriptionLine.h"

#include "foundation/CVXFile.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <tuple>
#include <vector>

namespace {

// A data line with the second and third value columns of the same length as the first.
std::string dataLine(const std::string& address, const std::string& entry,
                     const std::string& type = "UINT8", const std::string& count = "1",
                     const std::string& value = "01") {
    return address + " E2P.G\t" + entry + "  " + type + " " + count + " " + value + " " +
           std::string(value.size(), '0') + " " + std::string(value.size(), 'F');
}

// Each node as "name@address type sizexcount value".
std::vector<std::string> describe(const CMurelAdjDescription& description) {
    std::vector<std::string> out;
    for (const CMurelAdjNodeDesc& node : description) {
        out.push_back(std::string(node.name.c_str()) + "@" + std::to_string(node.address) + " " +
                      node.type.typeName.c_str() + " " + std::to_string(node.type.size) + "x" +
                      std::to_string(node.type.count) + " " + node.value.c_str());
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

// Whole files: results, the line of a failure (physical lines, counted from 1) and the nodes.
TEST_F(MurelAdjDescriptionParserTest, FileOutcomes) {
    const std::string a = dataLine("0000000C", "A") + "\n";
    const std::string b = dataLine("0000000E", "B", "UINT8", "1", "02") + "\n";
    const std::string c = dataLine("00000010", "C") + "\n";
    const auto OK = MURELADJ_DESCRIPTION_OK, NONE = MURELADJ_DESCRIPTION_NO_NODES,
               BAD = MURELADJ_DESCRIPTION_WRONG_FORMAT, TWICE = MURELADJ_DESCRIPTION_DUPLICATE;
    // Contents, result, line of the failure, names of the entries in group E2P.G.
    const std::tuple<std::string, EMurelAdjDescriptionResult, uint32_t, std::string> cases[] = {
        {"", NONE, 0, ""},
        {"# comment\nAddress Group\n  # indented comment\nAddressless header\n", NONE, 0, ""},
        {a.substr(0, a.size() - 1), NONE, 0, ""}, // a last line without line feed is ignored
        {"# only\nnot even a data line", NONE, 0, ""},
        {c + a + b, OK, 0, "A B C"},
        {"# c\r\n" + a.substr(0, a.size() - 1) + "\r\n" + b, OK, 0, "A B"},
        {"AddressXYZ anything\n   #x\n" + a, OK, 0, "A"},
        {a + "\n", BAD, 2, ""},
        {"# c\n" + a + "   \t \n", BAD, 3, ""},
        {"# c\nAddress\n# d\n" + a + "address x\n", BAD, 5, ""},
        {"ADDRESS\n", BAD, 1, ""},
        // An empty first line is skipped silently; the next line is line 2.
        {"\n" + a, OK, 0, "A"},
        {"\nbad\n", BAD, 2, ""},
        {"\n\n" + a, BAD, 2, ""},
        {"\n" + a + "bad\n", BAD, 3, ""},
        {a + "bad\n" + a, BAD, 2, ""}, // parsing stops at the first bad line
        // A zero byte ends the line's text; invalid UTF-8 cuts it before the bad sequence.
        {a.substr(0, a.size() - 1) + std::string("\0garbage", 8) + "\n", OK, 0, "A"},
        {std::string("0000000C E2P.G\0 A UINT8 1 01 00 FF\n", 35), BAD, 1, ""},
        {"0000000C E2P.\x80G A UINT8 1 01 00 FF\n", BAD, 1, ""},
        {a.substr(0, a.size() - 1) + " \xFF\xFE tail\n", OK, 0, "A"},
        // An over-long form of a space (C0 A0) decodes to a separator.
        {"0000000C\xC0\xA0"
         "E2P.G A UINT8 1 01 00 FF\n",
         OK, 0, "A"},
        // The same address is always a duplicate, the same name only where the search for the
        // insertion position ends on it (for A at 0x20 it ends behind C).
        {a + "# c\n" + dataLine("0000000C", "Z") + "\n", TWICE, 3, ""},
        {a + b + dataLine("00000020", "B") + "\n", TWICE, 3, ""},
        {a + b + c + dataLine("00000020", "A") + "\n", OK, 0, "A B C A"},
    };
    for (const auto& [content, result, line, expectedNames] : cases) {
        SCOPED_TRACE(content);
        const Parsed parsed = parse(content);
        EXPECT_EQ(parsed.result, result);
        EXPECT_EQ(parsed.report.line, line);
        std::string names;
        for (const CMurelAdjNodeDesc& node : parsed.description) {
            names += (names.empty() ? "" : " ") + std::string(node.name.c_str() + 6);
        }
        EXPECT_EQ(names, expectedNames);
        EXPECT_EQ(parsed.report.nodeCount, parsed.description.size());
    }
}

// One data line each, accepted or wrong format: lines with white space, then each column in turn
// put in for "#".
TEST_F(MurelAdjDescriptionParserTest, DataLineRules) {
    const std::string good = dataLine("0000000C", "A");
    const std::string big = dataLine("0000000C", "A", "UINT64", "253", std::string(4048, 'a'));
    const std::string tooBig = dataLine("0000000C", "A", "UINT64", "254", std::string(4064, 'a'));
    // A line, texts put in for its "#" that are accepted, texts that are not.
    const std::tuple<std::string, std::vector<const char*>, std::vector<const char*>> cases[] = {
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
    for (const auto& [pattern, acceptedTexts, rejectedTexts] : cases) {
        for (const bool accepted : {true, false}) {
            for (const char* text : accepted ? acceptedTexts : rejectedTexts) {
                std::string line = pattern;
                line.replace(line.find('#'), 1, text);
                EXPECT_EQ(parse(line + "\n").result,
                          accepted ? MURELADJ_DESCRIPTION_OK : MURELADJ_DESCRIPTION_WRONG_FORMAT)
                    << line;
            }
        }
    }
    const Parsed parsed =
        parse("0000000C E2P.ProdLogistic\tSerialNo UINT8 3x 0102ab 000000 ffffff\n"
              "0000001C E2P Calibration.Offsets INT16 2 FFF60010 00000000 "
              "7FFF7FFF\n");
    EXPECT_EQ(describe(parsed.description),
              (std::vector<std::string>{"E2P.ProdLogistic.SerialNo@12 UINT8 1x3 0102AB",
                                        "E2P.Calibration.Offsets@28 INT16 2x2 FFF60010"}));

    // The count as strtoul reads it where unsigned long has 32 bits.
    const char* const texts[] = {"12", " \t+7",       "3x",         "x3",         "",
                                 "-1", "-4294967295", "4294967295", "4294967296", "-4294967296"};
    const uint32_t counts[] = {12, 7, 3, 0, 0, 0xFFFFFFFF, 1, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    for (size_t i = 0; i < std::size(counts); ++i) {
        EXPECT_EQ(count(texts[i]), counts[i]) << texts[i];
    }
}

// A failure leaves the list as it was. The size taken before the file was opened bounds the scan:
// bytes behind it (a file that grew) are not read, and a file shorter than it (a file that shrank)
// fails where its bytes end.
TEST_F(MurelAdjDescriptionParserTest, FailuresKeepTheListAndTheSizeBoundsTheScan) {
    CMurelAdjDescription description;
    CMurelAdjDescriptionReport report;
    const auto parseFile = [&](const std::string& path) {
        return parseDescriptionFile(path.c_str(), description, report);
    };
    const std::string a = dataLine("0000000C", "A") + "\n";
    const std::string b = dataLine("0000000D", "B") + "\n";
    const std::vector<std::string> onlyA = {"E2P.G.A@12 UINT8 1x1 01"};
    const std::vector<std::string> onlyB = {"E2P.G.B@13 UINT8 1x1 01"};
    ASSERT_EQ(parseFile(m_dir.write("first.txt", b)), MURELADJ_DESCRIPTION_OK);
    EXPECT_EQ(parseFile(m_dir.write("bad.txt", a + "bad\n")), MURELADJ_DESCRIPTION_WRONG_FORMAT);
    EXPECT_EQ(parseFile(m_dir.file("missing")), MURELADJ_DESCRIPTION_STATUS_FAILED);
    EXPECT_EQ(report.errorNumber, ENOENT);
    EXPECT_EQ(parseFile(m_dir.path()), MURELADJ_DESCRIPTION_NOT_REGULAR_FILE);
    EXPECT_EQ(describe(description), onlyB);

    const std::string path = m_dir.write("file.txt", a + b);
    CVXFile grown(path.c_str(), O_RDONLY);
    EXPECT_EQ(
        parseDescriptionStream(grown, static_cast<int64_t>(a.size() + 10), description, report),
        MURELADJ_DESCRIPTION_OK);
    EXPECT_EQ(describe(description), onlyA);
    m_dir.write("file.txt", a + "# tail");
    CVXFile shrunk(path.c_str(), O_RDONLY);
    const int64_t actual = static_cast<int64_t>(a.size() + 6);
    EXPECT_EQ(parseDescriptionStream(shrunk, actual + 100, description, report),
              MURELADJ_DESCRIPTION_READ_BYTE_FAILED);
    EXPECT_EQ(report.position, actual);
    EXPECT_EQ(report.errorNumber, 0);
    EXPECT_EQ(describe(description), onlyA);
}

// A comment far longer than one read block, then data lines split over block boundaries at
// varying positions, another long comment among them, and a long data line at the end.
TEST_F(MurelAdjDescriptionParserTest, LinesAcrossReadBlocks) {
    std::string content = "# " + std::string(200000, 'c') + "\n";
    for (uint32_t i = 0; i < 3000; ++i) {
        char address[16];
        snprintf(address, sizeof(address), "%08X", 12 + i / 2);
        content += i == 1501 ? "# " + std::string(70000, 'l') + "\n"
                   : i % 2 != 0
                       ? "# filler " + std::string(i % 97, '-') + "\n"
                       : dataLine(address, "N" + std::to_string(i), "UINT8", "1", "5a") + "\n";
    }
    const Parsed parsed = parse(content);
    ASSERT_EQ(parsed.result, MURELADJ_DESCRIPTION_OK);
    ASSERT_EQ(parsed.report.nodeCount, 1500);
    for (int32_t i = 0; i < 1500; ++i) {
        EXPECT_EQ(parsed.description[i].address, 12u + static_cast<uint32_t>(i));
        EXPECT_EQ(parsed.description[i].name.c_str(), "E2P.G.N" + std::to_string(2 * i));
    }
    const Parsed bad = parse(content + "0000000C E2P.G A " + std::string(150000, 'z') + "\n");
    EXPECT_EQ(bad.result, MURELADJ_DESCRIPTION_WRONG_FORMAT);
    EXPECT_EQ(bad.report.line, 3002u);
}

} // namespace
