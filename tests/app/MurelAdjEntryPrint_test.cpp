#include "app/MurelAdjEntryPrint.h"

#include "foundation/VXAssert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

using NMurelMeta::CMetaAdjNode;
using NMurelMeta::TMetaNodePtr;

namespace {

CMurelAdjTypeInfo typeOf(uint32_t size, uint32_t count) {
    CMurelAdjTypeInfo type;
    type.size = size;
    type.count = count;
    return type;
}

template <typename Print>
std::string printed(Print print) {
    testing::internal::CaptureStdout();
    print();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

TEST(MurelAdjEntryPrint, ValuesAndHexRows) {
    // Element sizes and counts that the compiled description does not use; big-endian output (1)
    // reverses each element.
    const uint8_t bytes[33] = {0x01, 0x02, 0x03, 0x04, 0x0A, 0xBC, 0xFF, 0x5E};
    const std::pair<CMurelAdjTypeInfo, const char*> cases[] = {
        {typeOf(2, 2), "02010403\n01020304\n"},
        {typeOf(4, 2), "040302015EFFBC0A\n010203040ABCFF5E\n"},
        {typeOf(8, 1), "5EFFBC0A04030201\n010203040ABCFF5E\n"}};
    for (const auto& [type, expected] : cases) {
        EXPECT_EQ(printed([&] {
                      printEntryValue(bytes, type, 1);
                      printEntryValue(bytes, type, 2);
                  }),
                  expected);
    }
    // A missing pointer, size or count is reported and prints an empty value.
    const uint32_t before = VXAssertionCount();
    EXPECT_EQ(printed([&] { printEntryValue(bytes, typeOf(0, 0), 1); }), "\n");
    EXPECT_EQ(VXAssertionCount(), before + 2);
    EXPECT_EQ(printed([&] { printEntryValue(bytes, typeOf(1, 0), 1); }), "\n");
    EXPECT_EQ(printed([&] { printEntryValue(nullptr, typeOf(1, 2), 1); }), "\n");
    EXPECT_EQ(printed([&] { printHexRows(nullptr, 10); }), "");
    EXPECT_EQ(VXAssertionCount(), before + 5);

    EXPECT_EQ(printed([&] { printHexRows(bytes, 0); }), "");
    EXPECT_EQ(printed([&] { printHexRows(bytes + 1, 1); }), "00000000: 02\n");
    EXPECT_EQ(printed([&] { printHexRows(bytes, 33); }),
              "00000000: 010203040ABCFF5E000000000000000000000000000000000000000000000000\n"
              "00000020: 00\n");
}

TVXVector<TMetaNodePtr> adjustNodes(const std::vector<uint32_t>& ids) {
    TVXVector<TMetaNodePtr> nodes;
    for (uint32_t id : ids) {
        nodes.append(TMetaNodePtr(new CMetaAdjNode("E2P.N", id, id & 0xFFFF, NMurelMeta::UINT8)));
    }
    return nodes;
}

std::vector<uint32_t> sortedIds(const std::vector<uint32_t>& ids, int32_t first, int32_t last) {
    TVXVector<TMetaNodePtr> nodes = adjustNodes(ids);
    sortNodesById(nodes, first, last);
    std::vector<uint32_t> sorted;
    for (const TMetaNodePtr& node : nodes) {
        sorted.push_back(node->id());
    }
    return sorted;
}

TEST(MurelAdjEntryPrint, SortNodesByIdOrdersTheRangeAscendingUnsigned) {
    using Ids = std::vector<uint32_t>;
    const uint32_t before = VXAssertionCount();
    EXPECT_EQ(sortedIds({0x87F30001, 0x800C0001, 0x80CC0006, 0x824C05A7, 0x800D0001, 0x80D20006,
                         0x82080002, 0x800E0001},
                        0, 7),
              (Ids{0x800C0001, 0x800D0001, 0x800E0001, 0x80CC0006, 0x80D20006, 0x82080002,
                   0x824C05A7, 0x87F30001}));
    EXPECT_EQ(sortedIds({0x80400001, 0x80300001, 0x80200001, 0x80100001, 0x80000001}, 1, 3),
              (Ids{0x80400001, 0x80100001, 0x80200001, 0x80300001, 0x80000001}));
    EXPECT_EQ(sortedIds({0x82080002, 0x80000001, 0x82080002, 0x80000001}, 0, 3),
              (Ids{0x80000001, 0x80000001, 0x82080002, 0x82080002}));
    Ids ascending;
    for (uint32_t i = 0; i < 139; ++i) {
        ascending.push_back(0x800C0001u + (i << 16));
    }
    EXPECT_EQ(sortedIds(ascending, 0, 138), ascending);
    EXPECT_EQ(sortedIds(Ids(ascending.rbegin(), ascending.rend()), 0, 138), ascending);
    EXPECT_EQ(VXAssertionCount(), before);

    // A node outside the adjust block is reported.
    TVXVector<TMetaNodePtr> nodes = adjustNodes({0x80200001, 0x80100001});
    nodes.append(TMetaNodePtr(new NMurelMeta::CMetaItemNode("TestTheInt8", 0xFFFFFF01, 1, 1, 2,
                                                            0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)));
    sortNodesById(nodes, 0, 2);
    EXPECT_GT(VXAssertionCount(), before);
    EXPECT_EQ(nodes[0]->id(), 0x80100001u);
    EXPECT_EQ(nodes[2]->id(), 0xFFFFFF01u);

    // An unknown data type is reported and gives no elements.
    const uint32_t reported = VXAssertionCount();
    const CMurelAdjTypeInfo type =
        adjustEntryType(CMetaAdjNode("E2P.X.Buffer", 0x80100010u, 16, NMurelMeta::BUFFER));
    EXPECT_EQ(VXAssertionCount(), reported + 1);
    EXPECT_EQ(type.size, 0u);
    EXPECT_EQ(type.count, 0u);
}

// Names that match no entry are checked through the binary; the first of two equal names only here.
TEST(MurelAdjEntryPrint, FindByNameFindsTheFirst) {
    TVXVector<TMetaNodePtr> nodes;
    for (const char* name : {"E2P.Net.Eth1", "E2P.Net.Eth0", "E2P.Net.Eth0"}) {
        nodes.append(TMetaNodePtr(new CMetaAdjNode(name, 0x80CC0006, 6, NMurelMeta::UINT8)));
    }
    EXPECT_EQ(findNodeIndexByName("E2P.Net.Eth0", nodes), 1);
    EXPECT_EQ(findNodeIndexByName("E2P.Net.Eth0 ", nodes), -1);
    CMurelAdjDescription description;
    CMurelAdjNodeDesc entry;
    for (const auto& [name, address] :
         {std::pair{"E2P.G.A", 12u}, {"E2P.G.B", 14u}, {"E2P.G.C", 16u}, {"E2P.G.A", 32u}}) {
        entry.name = name;
        entry.address = address;
        ASSERT_TRUE(description.insert(entry)) << address;
    }
    EXPECT_EQ(findDescIndexByName("E2P.G.A", description), 0);
    EXPECT_EQ(findDescIndexByName("E2P.G.C", description), 2);
    EXPECT_EQ(findDescIndexByName("E2P.g.a", description), -1);
}

} // namespace
