// The compiled-in description against the figures of the layout it implements: its shape, counts,
// identifier layouts and registry; one shared tree whose nodes sit in one block.
#include "meta/MurelMetaDescription.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace NMurelMeta;

namespace {

std::string nameOf(const TMetaNodePtr& node) {
    return node->name().c_str();
}

class CompiledDescription : public testing::Test {
protected:
    static void SetUpTestSuite() { getRootNode(s_root); }
    static void TearDownTestSuite() { s_root.release(); }
    // The nodes below node whose kind is in mask, in pre-order.
    static TVXVector<TMetaNodePtr> nodes(uint32_t mask, const TMetaNodePtr& node = s_root) {
        TVXVector<TMetaNodePtr> out;
        collectNodes(node.get(), false, &mask, out);
        return out;
    }
    static TMetaNodePtr s_root;
};

TMetaNodePtr CompiledDescription::s_root;

// 5088 nodes: the root; 79 plain items (69 of domain 1, 10 mirrors of domain 8); 19 coding blocks
// in ascending byte order of their names, with 1341 functions and 3473 named values; the adjust
// block with 36 groups and 139 entries. Every children vector has exactly the room it needs.
TEST_F(CompiledDescription, ShapeCountsAndDomains) {
    const TVXVector<TMetaNodePtr>& top = s_root->children();
    ASSERT_EQ(top.size(), 99);
    EXPECT_EQ(top.capacity(), 99u);
    EXPECT_EQ(nameOf(top[1]) + " " + nameOf(top[97]) + " " + nameOf(top[98]),
              "TestTheInt8 test_cb_1 AdjustBlock");
    EXPECT_EQ(top[78]->getKind() + top[79]->getKind(), static_cast<uint32_t>(None + Cb));
    for (int32_t i = 80; i < 98; ++i) {
        EXPECT_LT(nameOf(top[i - 1]), nameOf(top[i]));
    }
    const std::map<uint32_t, int32_t> counts = {
        {KIND_ALL, 5087},    {None, 79},      {Cb, 19},      {CbFunction, 1341},
        {CbCondParam, 3473}, {AdjStruct, 36}, {AdjNode, 139}};
    for (const auto& [kind, count] : counts) {
        EXPECT_EQ(nodes(kind).size(), count) << kind;
    }
    std::map<uint32_t, int> domains; // plain items by domain, others by kind * 100 + domain
    for (const TMetaNodePtr& node : nodes(KIND_ALL)) {
        const uint32_t kind = node->getKind();
        ++domains[kind == None ? node->getDomain() : kind * 100 + node->getDomain()];
        EXPECT_EQ(node->children().capacity(), static_cast<uint32_t>(node->children().size()));
        EXPECT_TRUE(kind == Cb ? node->storageSize() == node->blockLength() + 2u
                               : node->blockLength() == 0);
    }
    std::string found;
    for (const auto& [domain, count] : domains) {
        found += std::to_string(domain) + ":" + std::to_string(count) + " ";
    }
    EXPECT_EQ(found, "1:69 8:10 204:36 404:139 802:19 1602:1341 3200:3473 ");
    EXPECT_STREQ(nodes(CbFunction)[0]->name().c_str(), "AL_ZONE_01");
}

// The adjust block is found by its identifier. A group and its only entry share an identifier:
// the group is found first. (The generator checks that the entries cover bytes 12 to 2035.)
TEST_F(CompiledDescription, AdjustBlockAndASharedIdentifier) {
    TMetaNodePtr adjust;
    ASSERT_TRUE(findRegisteredNode(s_root.get(), ADJUST_BLOCK_DATA_ID, adjust));
    EXPECT_EQ(nameOf(adjust), "AdjustBlock");
    TMetaNodePtr shared;
    ASSERT_TRUE(findRegisteredNode(s_root.get(), 0x82080002u, shared));
    EXPECT_EQ(nameOf(shared), "E2P.AdjustData.TemperatureThresholds.FOT_Critical");
    EXPECT_EQ(shared->children()[0]->id(), 0x82080002u);
}

// The registry: 1609 identifiers ascending, each of them found, no other.
TEST_F(CompiledDescription, TheRegistryHoldsExactlyItsIdentifiers) {
    ASSERT_EQ(ITEM_REGISTRY_SIZE, 1609u);
    EXPECT_FALSE(isRegisteredItemId(0));
    for (uint32_t i = 0; i < ITEM_REGISTRY_SIZE; ++i) {
        const uint32_t id = ITEM_REGISTRY[i].id;
        EXPECT_TRUE(i == 0 || ITEM_REGISTRY[i - 1].id < id);
        EXPECT_TRUE(isRegisteredItemId(id));
        const bool next = i + 1 < ITEM_REGISTRY_SIZE && ITEM_REGISTRY[i + 1].id == id + 1;
        EXPECT_EQ(isRegisteredItemId(id + 1), next) << std::hex << id;
    }
}

} // namespace
