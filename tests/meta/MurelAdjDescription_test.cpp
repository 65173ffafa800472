#include "meta/MurelAdjDescription.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(MurelAdjDescription, FullEntryNames) {
    for (const char* valid : {"E2P.Networking.Eth0MacAddr", "E2P.X", " E2P . X ", "E2P.a.b.c.d"}) {
        EXPECT_TRUE(isFullEntryName(CVXString(valid))) << valid;
    }
    for (const char* invalid : {"E2P", "E2P.", "E2P..X", ".E2P.X", "e2p.X", "XE2P.X", "E2PX.Y",
                                "E2P. .X", "E2P.X.", "", " ", "E2 P.X"}) {
        EXPECT_FALSE(isFullEntryName(CVXString(invalid))) << invalid;
    }
}

TEST(MurelAdjDescription, HexByteStrings) {
    for (const char* valid : {"00", "0a", "FFff", "0123456789abcdefABCDEF"}) {
        EXPECT_TRUE(isHexByteString(CVXString(valid))) << valid;
    }
    for (const char* invalid : {"", "0", "ABC", "0G", "0x00", " 00", "00 ", "+1", "\xC3\xA4"}) {
        EXPECT_FALSE(isHexByteString(CVXString(invalid))) << invalid;
    }
}

CMurelAdjNodeDesc node(const char* name, uint32_t address) {
    CMurelAdjNodeDesc desc;
    desc.name = name;
    desc.address = address;
    return desc;
}

TEST(MurelAdjDescription, NodeOrderingByAddressWithNamesDiffering) {
    const CMurelAdjNodeDescOrder order;
    EXPECT_GT(order(node("E2P.A", 12), node("E2P.B", 20)), 0);
    EXPECT_LT(order(node("E2P.B", 20), node("E2P.A", 12)), 0);
    EXPECT_EQ(order(node("E2P.A", 12), node("E2P.B", 12)), 0); // same address
    EXPECT_EQ(order(node("E2P.A", 12), node("E2P.A", 20)), 0); // same name
    EXPECT_EQ(order(node("E2P.A", 20), node("E2P.A", 12)), 0);
}

std::vector<std::string> listed(const CMurelAdjDescription& list) {
    std::vector<std::string> out;
    for (const CMurelAdjNodeDesc& desc : list) {
        out.push_back(std::string(desc.name.c_str()) + "@" + std::to_string(desc.address));
    }
    return out;
}

TEST(MurelAdjDescription, SortedListRefusesDuplicatesAtTheInsertionPosition) {
    CMurelAdjDescription list;
    EXPECT_TRUE(list.insert(node("E2P.C", 16)));
    EXPECT_TRUE(list.insert(node("E2P.A", 12)));
    EXPECT_TRUE(list.insert(node("E2P.B", 14)));
    EXPECT_EQ(listed(list), (std::vector<std::string>{"E2P.A@12", "E2P.B@14", "E2P.C@16"}));

    // The same address is always caught.
    EXPECT_FALSE(list.insert(node("E2P.D", 14)));
    // A repeated name is caught where the search ends on the node with that name...
    EXPECT_FALSE(list.insert(node("E2P.B", 30)));
    // ...and not where it ends elsewhere: only the node at the insertion position is compared.
    EXPECT_TRUE(list.insert(node("E2P.A", 30)));
    EXPECT_EQ(listed(list),
              (std::vector<std::string>{"E2P.A@12", "E2P.B@14", "E2P.C@16", "E2P.A@30"}));
}

} // namespace
