#include "meta/MurelAdjDescription.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MurelAdjDescription, FullEntryNamesAndHexByteStrings) {
    for (const char* valid : {"E2P.Networking.Eth0MacAddr", "E2P.X", " E2P . X ", "E2P.a.b.c.d"}) {
        EXPECT_TRUE(isFullEntryName(valid)) << valid;
    }
    for (const char* invalid : {"E2P", "E2P.", "E2P..X", ".E2P.X", "e2p.X", "XE2P.X", "E2PX.Y",
                                "E2P. .X", "E2P.X.", "", " ", "E2 P.X"}) {
        EXPECT_FALSE(isFullEntryName(invalid)) << invalid;
    }
    for (const char* valid : {"00", "0a", "FFff", "0123456789abcdefABCDEF"}) {
        EXPECT_TRUE(isHexByteString(valid)) << valid;
    }
    for (const char* invalid : {"", "0", "ABC", "0G", "0x00", " 00", "00 ", "+1", "\xC3\xA4"}) {
        EXPECT_FALSE(isHexByteString(invalid)) << invalid;
    }
}

CMurelAdjNodeDesc node(const char* name, uint32_t address) {
    CMurelAdjNodeDesc desc;
    desc.name = name;
    desc.address = address;
    return desc;
}

// A before B when its address is lower and the names differ; equivalent for the same address or
// the same name (what the list refuses as a duplicate, see the parser's file outcomes).
TEST(MurelAdjDescription, NodeOrdering) {
    const CMurelAdjNodeDescOrder order;
    EXPECT_GT(order(node("E2P.A", 12), node("E2P.B", 20)), 0);
    EXPECT_LT(order(node("E2P.B", 20), node("E2P.A", 12)), 0);
    EXPECT_EQ(order(node("E2P.A", 12), node("E2P.B", 12)), 0);
    EXPECT_EQ(order(node("E2P.A", 12), node("E2P.A", 20)), 0);
    EXPECT_EQ(order(node("E2P.A", 20), node("E2P.A", 12)), 0);
}

} // namespace
