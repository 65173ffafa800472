// Description files: the outcomes of whole files, the rules of a data line, and the scan bounded by
// the size taken before the file was opened.
#include "meta/MurelAdjDescriptionParser.h"

#include "meta/MurelAdjDescriptionLine.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <tuple>
#include <vector>

namespace {

// A data line (with its line feed) whose second and third values are as long as the first.
std::string dataLine(const std::string& address, const std::string& entry,
                     const std::string& type = "UINT8 1", const std::string& value = "01") {
    return address + " E2P.G\t" + entry + "  " + type + " " + value + " " +
           std::string(value.size(), '0') + " " + std::string(value.size(), 'F') + "\n";
}

// The entries as "name@address type sizexcount value", or the result and line of a failure.
std::string described(EMurelAdjDescriptionResult result, const CMurelAdjDescriptionReport& report,
                      const CMurelAdjDescription& description) {
    std::string out = result == MURELADJ_DESCRIPTION_OK
                          ? ""
                          : std::to_string(result) + " line " + std::to_string(report.line);
    for (const CMurelAdjNodeDesc& node : description) {
        out += (out.empty() ? "" : ", ") + std::string(node.name.c_str()) + "@" +
               std::to_string(node.address) + " " + node.type.typeName.c_str() + " " +
               std::to_string(node.type.size) + "x" + std::to_string(node.type.count) + " " +
               node.value.c_str();
    }
    return out;
}

class MurelAdjDescriptionParserTest : public testing::Test {
protected:
    std::string parse(const std::string& content) {
        CMurelAdjDescription description;
        CMurelAdjDescriptionReport report;
        const EMurelAdjDescriptionResult result = parseDescriptionFile(
            m_dir.write("description.txt", content).c_str(), description, report);
        EXPECT_EQ(report.result, result);
        EXPECT_EQ(report.nodeCount, description.size());
        return described(result, report, description);
    }
    TempDir m_dir;
};

// Whole files: the line of a failure counts physical lines from 1 (7: wrong format, 8: duplicate,
// 9: no entries); an empty first line is skipped silently.
TEST_F(MurelAdjDescriptionParserTest, FileOutcomes) {
    const std::string a = dataLine("0000000C", "A"), b = dataLine("0000000E", "B", "INT8 1", "0f");
    const std::string c = dataLine("00000010", "C"), last = a.substr(0, a.size() - 1);
    const std::pair<std::string, std::string> rows[] = {
        {last, "9 line 0"}, // a last line without line feed is ignored
        {"# c\r\n" + last + "\r\n" + b, "E2P.G.A@12 UINT8 1x1 01, E2P.G.B@14 INT8 1x1 0F"},
        {"AddressXYZ anything\n   #x\n" + a, "E2P.G.A@12 UINT8 1x1 01"},
        {"# c\n" + a + "   \t \n", "7 line 3"},
        {"ADDRESS\n", "7 line 1"},
        {"\n" + a, "E2P.G.A@12 UINT8 1x1 01"},
        {"\n\n" + a, "7 line 2"},
        {a + "bad\n" + a, "7 line 2"},
        // A zero byte ends the line's text; ill-formed UTF-8 cuts it before the bad sequence; an
        // over-long form of a space (C0 A0) is a separator.
        {last + std::string("\0garbage", 8) + "\n", "E2P.G.A@12 UINT8 1x1 01"},
        {std::string("0000000C E2P.G\0 A UINT8 1 01 00 FF\n", 35), "7 line 1"},
        {last + " \xFF\xFE tail\n", "E2P.G.A@12 UINT8 1x1 01"},
        {"0000000C\xC0\xA0"
         "E2P.G A UINT8 1 01 00 FF\n",
         "E2P.G.A@12 UINT8 1x1 01"},
        // The same address is always a duplicate, the same name only where the search for the
        // insertion position ends on it (for A at 0x20 it ends behind C).
        {a + b + dataLine("00000020", "B"), "8 line 3"},
        {a + b + c + dataLine("00000020", "A"),
         "E2P.G.A@12 UINT8 1x1 01, E2P.G.B@14 INT8 1x1 0F, E2P.G.C@16 UINT8 1x1 01, "
         "E2P.G.A@32 UINT8 1x1 01"},
    };
    for (const auto& [content, expected] : rows) {
        EXPECT_EQ(parse(content), expected) << content;
    }
}

// One data line each, accepted or of wrong format: texts put in for the "#" of a line.
TEST_F(MurelAdjDescriptionParserTest, DataLineRules) {
    const std::string big = dataLine("0000000C", "A", "UINT64 253", std::string(4048, 'a'));
    const std::tuple<std::string, std::vector<const char*>, std::vector<const char*>> rows[] = {
        {"#", {}, {"0000000C\vE2P.G A UINT8 1 01 00 FF", "0000000C E2P.G A UINT8 1 01 00"}},
        {" \t" + big.substr(0, big.size() - 1) + " \t\v\f#", {"", " extra columns"}, {}},
        {"0000000C E2P.G A UINT64 254 " + std::string(4064, 'a') + "#", {}, {""}},
        {"# E2P.G A UINT8 1 01 00 FF",
         {"0000000c", "000007F3"},
         {"0000000B", "000007F4", "0x0000000C", "00000000C", "0000000G"}},
        {"000007F3 E2P.G A #", {"UINT8 1 01 00 FF"}, {"UINT8 2 0102 0000 FFFF"}},
        {"0000000C # UINT8 1 01 00 FF",
         {"E2P A", "E2P.G.H A.B", "E2P.G A\xC3\xA4"},
         {"e2p.G A", "E2P. A", "E2P.G A.", "G A", "XE2P.G A"}},
        {"0000000C E2P.G A # 01 00 FF",
         {"UINT8 +1", "INT8 1"},
         {"uint8 1", "BOOL 1", "UINT8 0", "UINT8 -1", "INT16 1", "UINT8 4294967297"}},
        {"0000000C E2P.G A # 01020304 00000000 FFFFFFFF",
         {"INT16 2", "UINT32 1", "UINT8 4x"},
         {"UINT32 1073741825", "INT16 2147483650", "INT64 1"}},
        {"0000000C E2P.G A UINT16 2 #",
         {"0102abcd 00000000 ffffffff"},
         {"0102abc 0000000 fffffff", "0102abcdef 0000000000 ffffffffff",
          "0102abcd 0000000 ffffffff", "0102abcd 00000000 fffffffx"}},
    };
    for (const auto& [pattern, accepted, refused] : rows) {
        for (const bool valid : {true, false}) {
            for (const char* text : valid ? accepted : refused) {
                std::string line = pattern;
                line.replace(line.find('#'), 1, text);
                EXPECT_EQ(parse(line + "\n").substr(0, 2), valid ? "E2" : "7 ") << line;
            }
        }
    }
    EXPECT_EQ(parse("0000000C E2P.ProdLogistic\tSerialNo UINT8 3x 0102ab 000000 ffffff\n"
                    "0000001C E2P Calibration.Offsets INT16 2 FFF60010 00000000 7FFF7FFF\n"),
              "E2P.ProdLogistic.SerialNo@12 UINT8 1x3 0102AB, "
              "E2P.Calibration.Offsets@28 INT16 2x2 FFF60010");
    // The count as strtoul reads it where unsigned long has 32 bits.
    const std::pair<const char*, uint32_t> counts[] = {
        {" \t+7", 7}, {"x3", 0}, {"-4294967295", 1}, {"4294967296", 0xFFFFFFFF}};
    for (const auto& [text, count] : counts) {
        EXPECT_EQ(parseDescriptionCount(text, static_cast<uint32_t>(strlen(text))), count) << text;
    }
}

// A failure keeps the list. The size taken at the open bounds the scan: a file that grew is read up
// to it, one that shrank fails where its bytes end. Lines longer than a read block are read again.
TEST_F(MurelAdjDescriptionParserTest, FailuresKeepTheListAndTheSizeBoundsTheScan) {
    CMurelAdjDescription description;
    CMurelAdjDescriptionReport report;
    const auto parseFile = [&](const std::string& path, int64_t size = -1) {
        CVXFile file(path.c_str(), O_RDONLY);
        const EMurelAdjDescriptionResult result =
            size < 0 ? parseDescriptionFile(path.c_str(), description, report)
                     : parseDescriptionStream(file, size, description, report);
        return described(result, report, description);
    };
    const std::string a = dataLine("0000000C", "A"), b = dataLine("0000000D", "B");
    EXPECT_EQ(parseFile(m_dir.write("first.txt", b)), "E2P.G.B@13 UINT8 1x1 01");
    EXPECT_EQ(parseFile(m_dir.write("bad.txt", a + "bad\n")), "7 line 2, E2P.G.B@13 UINT8 1x1 01");
    EXPECT_EQ(parseFile(m_dir.file("missing")), "1 line 0, E2P.G.B@13 UINT8 1x1 01");
    EXPECT_EQ(report.errorNumber, ENOENT);
    EXPECT_EQ(parseFile(m_dir.path()), "2 line 0, E2P.G.B@13 UINT8 1x1 01");
    const std::string path = m_dir.write("file.txt", a + b);
    EXPECT_EQ(parseFile(path, a.size() + 10), "E2P.G.A@12 UINT8 1x1 01");
    m_dir.write("file.txt", a + "# tail");
    EXPECT_EQ(parseFile(path, a.size() + 100), "4 line 0, E2P.G.A@12 UINT8 1x1 01");
    EXPECT_EQ(report.position, static_cast<int64_t>(a.size() + 6));
    EXPECT_EQ(report.errorNumber, 0);

    std::string content = "# " + std::string(200000, 'c') + "\n";
    for (uint32_t i = 0; i < 3000; ++i) {
        char address[16];
        snprintf(address, sizeof(address), "%08X", 12 + i / 2);
        content += i % 2 != 0 ? "# " + std::string(i == 1501 ? 70000 : i % 97, '-') + "\n"
                              : dataLine(address, "N" + std::to_string(i));
    }
    const std::string many = parse(content);
    EXPECT_EQ(std::count(many.begin(), many.end(), '@'), 1500);
    EXPECT_NE(many.find("E2P.G.N2998@1511 "), std::string::npos);
    EXPECT_EQ(parse(content + "0000000C E2P.G A " + std::string(150000, 'z') + "\n"),
              "7 line 3002");
}

} // namespace
