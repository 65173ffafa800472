#include "app/MurelAdjEntryPrint.h"

#include "foundation/VXAssert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using NMurelMeta::TMetaNodePtr;

namespace {

CMurelAdjTypeInfo typeOf(const char* name, uint32_t size, uint32_t count) {
    CMurelAdjTypeInfo type;
    type.typeName = name;
    type.size = size;
    type.count = count;
    return type;
}

std::string printedValue(const uint8_t* data, const CMurelAdjTypeInfo& type, uint32_t endianness) {
    testing::internal::CaptureStdout();
    printEntryValue(data, type, endianness);
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

std::string printedRows(const uint8_t* data, uint32_t length) {
    testing::internal::CaptureStdout();
    printHexRows(data, length);
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TEST(MurelAdjEntryPrint, ElementsAreReversedOnlyWithBigEndianOutput) {
    const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(printedValue(bytes, typeOf("UINT16", 2, 2), 1), "02010403\n");
    EXPECT_EQ(printedValue(bytes, typeOf("UINT16", 2, 2), 2), "01020304\n");
    EXPECT_EQ(printedValue(bytes, typeOf("UINT32", 4, 1), 1), "04030201\n");
    EXPECT_EQ(printedValue(bytes, typeOf("UINT32", 4, 1), 2), "01020304\n");
    EXPECT_EQ(printedValue(bytes, typeOf("UINT8", 1, 4), 1), "01020304\n");
    EXPECT_EQ(printedValue(bytes, typeOf("UINT8", 1, 4), 2), "01020304\n");

    const uint8_t value[] = {0x34, 0x12};
    EXPECT_EQ(printedValue(value, typeOf("UINT16", 2, 1), 1), "1234\n");
    EXPECT_EQ(printedValue(value, typeOf("UINT16", 2, 1), 2), "3412\n");
}

TEST(MurelAdjEntryPrint, DigitsAreUpperCaseWithLeadingZero) {
    const uint8_t bytes[] = {0x00, 0x0A, 0xBC, 0xFF, 0x5E, 0x1C, 0x0A, 0x93};
    EXPECT_EQ(printedValue(bytes, typeOf("UINT64", 8, 1), 2), "000ABCFF5E1C0A93\n");
    EXPECT_EQ(printedValue(bytes, typeOf("UINT64", 8, 1), 1), "930A1C5EFFBC0A00\n");
}

TEST(MurelAdjEntryPrint, LongValuesArePrintedWhole) {
    std::vector<uint8_t> bytes(1447);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i);
    }
    const std::string printed = printedValue(bytes.data(), typeOf("UINT8", 1, 1447), 1);
    ASSERT_EQ(printed.size(), 2u * 1447 + 1);
    EXPECT_EQ(printed.substr(0, 8), "00010203");
    EXPECT_EQ(printed.substr(2 * 1446), "A6\n");
}

TEST(MurelAdjEntryPrint, MissingPointerSizeOrCountIsReportedAndPrintsAnEmptyValue) {
    const uint8_t bytes[] = {0x01, 0x02};
    const uint32_t before = VXAssertionCount();
    EXPECT_EQ(printedValue(bytes, typeOf("", 0, 0), 1), "\n");
    EXPECT_EQ(VXAssertionCount(), before + 2);
    EXPECT_EQ(printedValue(bytes, typeOf("UINT8", 1, 0), 1), "\n");
    EXPECT_EQ(printedValue(nullptr, typeOf("UINT8", 1, 2), 1), "\n");
    EXPECT_EQ(VXAssertionCount(), before + 4);
}

TEST(MurelAdjEntryPrint, HexRowsOfABlock) {
    std::vector<uint8_t> block(2036);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(i);
    }
    const std::vector<std::string> rows = linesOf(printedRows(block.data(), 2036));
    ASSERT_EQ(rows.size(), 64u);
    EXPECT_EQ(rows[0], "00000000: 000102030405060708090A0B0C0D0E0F"
                       "101112131415161718191A1B1C1D1E1F");
    EXPECT_EQ(rows[1], "00000020: 202122232425262728292A2B2C2D2E2F"
                       "303132333435363738393A3B3C3D3E3F");
    EXPECT_EQ(rows[63], "000007E0: E0E1E2E3E4E5E6E7E8E9EAEBECEDEEEFF0F1F2F3");
}

TEST(MurelAdjEntryPrint, HexRowsOfShortAndEmptyInput) {
    const uint8_t bytes[33] = {0xAB};
    EXPECT_EQ(printedRows(bytes, 0), "");
    EXPECT_EQ(printedRows(bytes, 1), "00000000: AB\n");
    EXPECT_EQ(printedRows(bytes, 33),
              "00000000: AB00000000000000000000000000000000000000000000000000000000000000\n"
              "00000020: 00\n");
    const uint32_t before = VXAssertionCount();
    EXPECT_EQ(printedRows(nullptr, 10), "");
    EXPECT_EQ(VXAssertionCount(), before + 1);
}

TVXVector<TMetaNodePtr> adjustNodes(const std::vector<uint32_t>& ids) {
    TVXVector<TMetaNodePtr> nodes;
    for (uint32_t id : ids) {
        char name[32];
        snprintf(name, sizeof(name), "E2P.N%08X", id);
        nodes.append(TMetaNodePtr(new NMurelMeta::CMetaAdjNode(name, id, id & 0xFFFF, 3)));
    }
    return nodes;
}

std::vector<uint32_t> idsOf(const TVXVector<TMetaNodePtr>& nodes) {
    std::vector<uint32_t> ids;
    for (const TMetaNodePtr& node : nodes) {
        ids.push_back(node->id());
    }
    return ids;
}

TEST(MurelAdjEntryPrint, SortNodesByIdOrdersAscendingUnsigned) {
    TVXVector<TMetaNodePtr> nodes = adjustNodes({0x87F30001, 0x800C0001, 0x80CC0006, 0x824C05A7,
                                                 0x800D0001, 0x80D20006, 0x82080002, 0x800E0001});
    const uint32_t before = VXAssertionCount();
    sortNodesById(nodes, 0, nodes.size() - 1);
    EXPECT_EQ(idsOf(nodes),
              (std::vector<uint32_t>{0x800C0001, 0x800D0001, 0x800E0001, 0x80CC0006, 0x80D20006,
                                     0x82080002, 0x824C05A7, 0x87F30001}));
    EXPECT_EQ(VXAssertionCount(), before);
}

TEST(MurelAdjEntryPrint, SortNodesByIdSortsOnlyTheGivenRange) {
    TVXVector<TMetaNodePtr> nodes =
        adjustNodes({0x80400001, 0x80300001, 0x80200001, 0x80100001, 0x80000001});
    sortNodesById(nodes, 1, 3);
    EXPECT_EQ(idsOf(nodes),
              (std::vector<uint32_t>{0x80400001, 0x80100001, 0x80200001, 0x80300001, 0x80000001}));
    sortNodesById(nodes, 2, 2);
    EXPECT_EQ(idsOf(nodes)[2], 0x80200001u);
}

TEST(MurelAdjEntryPrint, SortNodesByIdHandlesSortedReversedAndEqualKeys) {
    std::vector<uint32_t> ascending;
    for (uint32_t i = 0; i < 139; ++i) {
        ascending.push_back(0x800C0001u + (i << 16));
    }
    std::vector<uint32_t> descending(ascending.rbegin(), ascending.rend());
    TVXVector<TMetaNodePtr> reversed = adjustNodes(descending);
    sortNodesById(reversed, 0, reversed.size() - 1);
    EXPECT_EQ(idsOf(reversed), ascending);

    TVXVector<TMetaNodePtr> sorted = adjustNodes(ascending);
    sortNodesById(sorted, 0, sorted.size() - 1);
    EXPECT_EQ(idsOf(sorted), ascending);

    TVXVector<TMetaNodePtr> equal = adjustNodes({0x82080002, 0x80000001, 0x82080002, 0x80000001});
    sortNodesById(equal, 0, equal.size() - 1);
    EXPECT_EQ(idsOf(equal),
              (std::vector<uint32_t>{0x80000001, 0x80000001, 0x82080002, 0x82080002}));
}

TEST(MurelAdjEntryPrint, SortNodesByIdReportsNodesOutsideTheAdjustBlock) {
    TVXVector<TMetaNodePtr> nodes = adjustNodes({0x80200001, 0x80100001});
    nodes.append(TMetaNodePtr(new NMurelMeta::CMetaItemNode("TestTheInt8", 0xFFFFFF01, 1, 1, 2,
                                                            0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)));
    const uint32_t before = VXAssertionCount();
    sortNodesById(nodes, 0, nodes.size() - 1);
    EXPECT_GT(VXAssertionCount(), before);
    EXPECT_EQ(idsOf(nodes), (std::vector<uint32_t>{0x80100001, 0x80200001, 0xFFFFFF01}));
}

TEST(MurelAdjEntryPrint, EntryOffsetAndTypeOfCompiledNodes) {
    EXPECT_EQ(adjustEntryOffset(0x80CC0006u), 204u);
    EXPECT_EQ(adjustEntryOffset(0x87F30001u), 2035u);
    EXPECT_EQ(adjustEntryOffset(0xFFFF0000u), 0x3FFFu);

    const NMurelMeta::CMetaAdjNode pair("E2P.X.Pair", 0x82290004u, 4, NMurelMeta::UINT16);
    CMurelAdjTypeInfo type = adjustEntryType(pair);
    EXPECT_STREQ(type.typeName.c_str(), "UINT16");
    EXPECT_EQ(type.size, 2u);
    EXPECT_EQ(type.count, 2u);

    const NMurelMeta::CMetaAdjNode reserved("E2P.reserved", 0x824C05A7u, 1447, NMurelMeta::UINT8);
    type = adjustEntryType(reserved);
    EXPECT_EQ(type.size, 1u);
    EXPECT_EQ(type.count, 1447u);
}

TEST(MurelAdjEntryPrint, UnknownDataTypeIsReportedAndGivesAnEmptyType) {
    const NMurelMeta::CMetaAdjNode buffer("E2P.X.Buffer", 0x80100010u, 16, NMurelMeta::BUFFER);
    const uint32_t before = VXAssertionCount();
    const CMurelAdjTypeInfo type = adjustEntryType(buffer);
    EXPECT_EQ(VXAssertionCount(), before + 1);
    EXPECT_EQ(type.size, 0u);
    EXPECT_EQ(type.count, 0u);
    const uint8_t bytes[16] = {};
    EXPECT_EQ(printedValue(bytes, type, 1), "\n");
}

TEST(MurelAdjEntryPrint, FindNodeIndexByNameIsExactAndFindsTheFirst) {
    TVXVector<TMetaNodePtr> nodes;
    nodes.append(
        TMetaNodePtr(new NMurelMeta::CMetaAdjNode("E2P.Networking.Eth0MacAddr", 0x80CC0006, 6, 3)));
    nodes.append(
        TMetaNodePtr(new NMurelMeta::CMetaAdjNode("E2P.Networking.Eth1MacAddr", 0x80D20006, 6, 3)));
    nodes.append(
        TMetaNodePtr(new NMurelMeta::CMetaAdjNode("E2P.Networking.Eth0MacAddr", 0x80D80006, 6, 3)));
    EXPECT_EQ(findNodeIndexByName("E2P.Networking.Eth0MacAddr", nodes), 0);
    EXPECT_EQ(findNodeIndexByName("E2P.Networking.Eth1MacAddr", nodes), 1);
    EXPECT_EQ(findNodeIndexByName("E2P.networking.eth0macaddr", nodes), -1);
    EXPECT_EQ(findNodeIndexByName("E2P.Networking", nodes), -1);
    EXPECT_EQ(findNodeIndexByName("E2P.Networking.Eth0MacAddr ", nodes), -1);
    EXPECT_EQ(findNodeIndexByName("", nodes), -1);
    EXPECT_EQ(findNodeIndexByName("E2P.Networking.Eth0MacAddr", TVXVector<TMetaNodePtr>()), -1);
}

TEST(MurelAdjEntryPrint, FindDescIndexByNameIsExact) {
    CMurelAdjDescription description;
    CMurelAdjNodeDesc first;
    first.name = "E2P.X.Y";
    first.address = 100;
    CMurelAdjNodeDesc second;
    second.name = "E2P.X.Z";
    second.address = 12;
    ASSERT_TRUE(description.insert(first));
    ASSERT_TRUE(description.insert(second));
    EXPECT_EQ(findDescIndexByName("E2P.X.Z", description), 0);
    EXPECT_EQ(findDescIndexByName("E2P.X.Y", description), 1);
    EXPECT_EQ(findDescIndexByName("E2P.x.y", description), -1);
    EXPECT_EQ(findDescIndexByName("E2P.X", description), -1);
}

} // namespace
