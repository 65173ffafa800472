// The compiled-in description: its shape, counts, identifier layouts, named rows and registry.
#include "meta/MurelMetaDescription.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace NMurelMeta;

namespace {

std::string nameOf(const CMetaNode* node) {
    return node->name().c_str();
}

struct CVisited {
    CMetaNode* node;
    CMetaNode* parent;
};

// Every node below node with its parent, in pre-order.
void visit(CMetaNode* node, std::vector<CVisited>& out) {
    for (const TMetaNodePtr& child : node->children()) {
        out.push_back({child.get(), node});
        visit(child.get(), out);
    }
}

class CompiledDescription : public testing::Test {
protected:
    static void SetUpTestSuite() {
        getRootNode(s_root);
        visit(s_root.get(), s_all);
    }
    static void TearDownTestSuite() {
        s_all.clear();
        s_root.release();
    }
    static std::vector<CVisited> ofKind(uint32_t kind) {
        std::vector<CVisited> nodes;
        std::copy_if(s_all.begin(), s_all.end(), std::back_inserter(nodes),
                     [kind](const CVisited& v) { return v.node->getKind() == kind; });
        return nodes;
    }
    static CMetaNode* find(uint32_t id) {
        TMetaNodePtr found;
        return findRegisteredNode(s_root.get(), id, found) ? found.get() : nullptr;
    }

    static TMetaNodePtr s_root;
    static std::vector<CVisited> s_all;
};

TMetaNodePtr CompiledDescription::s_root;
std::vector<CVisited> CompiledDescription::s_all;

TEST_F(CompiledDescription, ShapeCountsRoomAndDomains) {
    EXPECT_EQ(nameOf(s_root.get()), "root");
    EXPECT_EQ(s_root->getKind(), static_cast<uint32_t>(Root));
    const TVXVector<TMetaNodePtr>& children = s_root->children();
    ASSERT_EQ(children.size(), 99);
    // The plain items, then the coding blocks in ascending byte order of their names, then the
    // adjust block.
    for (int32_t i = 0; i < 99; ++i) {
        EXPECT_EQ(children[i]->getKind(), static_cast<uint32_t>(i < 79   ? None
                                                                : i < 98 ? Cb
                                                                         : AdjStruct));
        if (i > 79 && i < 98) {
            EXPECT_LT(std::strcmp(children[i - 1]->name().c_str(), children[i]->name().c_str()), 0);
        }
    }
    EXPECT_EQ(nameOf(children[97].get()), "test_cb_1");
    EXPECT_EQ(nameOf(children[98].get()), "AdjustBlock");

    EXPECT_EQ(s_all.size() + 1, 5088u);
    const std::map<uint32_t, size_t> counts = {{None, 79},         {Cb, 19},
                                               {CbFunction, 1341}, {CbCondParam, 3473},
                                               {AdjStruct, 36},    {AdjNode, 139}};
    for (const auto& [kind, count] : counts) {
        EXPECT_EQ(ofKind(kind).size(), count) << kind;
    }

    // Every children vector has exactly the room it needs; domains follow the kinds.
    EXPECT_EQ(children.capacity(), 99u);
    std::map<uint32_t, int> itemDomains;
    for (const CVisited& v : s_all) {
        SCOPED_TRACE(nameOf(v.node));
        EXPECT_EQ(v.node->children().capacity(), static_cast<uint32_t>(v.node->children().size()));
        const uint32_t kind = v.node->getKind();
        if (kind == None) {
            ++itemDomains[v.node->getDomain()];
        } else {
            EXPECT_EQ(v.node->getDomain(), kind == CbCondParam ? 0u : kind <= AdjNode ? 4u : 2u);
        }
    }
    EXPECT_EQ(itemDomains, (std::map<uint32_t, int>{{1, 69}, {8, 10}}));
}

// The product blocks (identifiers below 62; the test blocks follow) and the mirror links of all
// items: a mirror (domain 8, with a link index of its own) names its source in sourceId, the
// source names the mirror in mirrorId. (The function identifiers are the generator's own tests'.)
TEST_F(CompiledDescription, ProductBlocksAndMirrors) {
    std::set<uint32_t> ids, numbers, lengths;
    std::set<int32_t> functionCounts;
    for (const CVisited& v : ofKind(Cb)) {
        const CMetaNode* block = v.node;
        SCOPED_TRACE(nameOf(block));
        EXPECT_EQ(block->size(), block->blockLength());
        EXPECT_EQ(block->storageSize(), block->blockLength() + 2u);
        if (block->id() < 62) {
            ids.insert(block->id());
            numbers.insert(block->blockNumber());
            lengths.insert(block->blockLength());
            functionCounts.insert(block->children().size());
        }
    }
    const auto range = [](const auto& values) {
        return std::make_tuple(values.size(), *values.begin(), *values.rbegin());
    };
    EXPECT_EQ(range(ids), std::make_tuple(size_t{17}, 1u, 17u));
    EXPECT_EQ(range(numbers), std::make_tuple(size_t{17}, 0x3000u, 0x3010u));
    EXPECT_EQ(std::get<2>(range(lengths)), 150u);
    EXPECT_GE(std::get<1>(range(lengths)), 1u);
    EXPECT_EQ(std::get<1>(range(functionCounts)), 1);
    EXPECT_EQ(std::get<2>(range(functionCounts)), 374);

    std::map<uint32_t, CMetaNode*> byId;
    for (const CVisited& v : s_all) {
        byId.emplace(v.node->id(), v.node);
    }
    std::set<uint32_t> links;
    for (const CVisited& v : s_all) {
        const CMetaNode* node = v.node;
        SCOPED_TRACE(nameOf(node));
        if (node->getKind() == None) {
            EXPECT_TRUE(node->id() >> 30 == 0 || node->id() >> 30 == 3);
            EXPECT_TRUE(node->getDomain() == 8
                            ? links.insert(node->linkIndex()).second
                            : node->linkIndex() == NO_ID && node->sourceId() == NO_ID);
        }
        if (node->sourceId() != NO_ID) {
            ASSERT_EQ(byId.count(node->sourceId()), 1u);
            EXPECT_EQ(byId[node->sourceId()]->mirrorId(), node->id());
        }
        if (node->mirrorId() != NO_ID) {
            ASSERT_EQ(byId.count(node->mirrorId()), 1u);
            EXPECT_EQ(byId[node->mirrorId()]->sourceId(), node->id());
            EXPECT_EQ(byId[node->mirrorId()]->getDomain(), 8u);
        }
    }
    EXPECT_EQ(links.size(), 10u);
}

// The entries follow one another from byte 12 to the end of the block, each identified by its
// offset and size; each group spans exactly the entries below it. (The names of the entries in
// this order are what the dump of a block prints.)
TEST_F(CompiledDescription, AdjustBlockCoversBytes12To2035) {
    CMetaNode* adjust = find(ADJUST_BLOCK_DATA_ID);
    ASSERT_NE(adjust, nullptr);
    EXPECT_EQ(nameOf(adjust), "AdjustBlock");
    TVXVector<TMetaNodePtr> entries;
    const uint32_t adjNode = AdjNode;
    ASSERT_TRUE(collectNodes(adjust, false, &adjNode, entries));
    ASSERT_EQ(entries.size(), 139);
    std::sort(entries.begin(), entries.end(),
              [](const TMetaNodePtr& a, const TMetaNodePtr& b) { return a->id() < b->id(); });
    EXPECT_EQ(nameOf(entries[0].get()), "E2P.ProdLogistic.HWCoding.APIX");
    EXPECT_EQ(nameOf(entries[138].get()), "E2P.END");
    std::map<std::string, std::pair<uint32_t, uint32_t>> groups = {{"AdjustBlock", {0, 2036}}};
    std::map<std::string, std::set<std::string>> childrenOf = {{"AdjustBlock", {"E2P"}}};
    uint32_t offset = 12;
    int words = 0;
    for (const TMetaNodePtr& entry : entries) {
        const std::string name = nameOf(entry.get());
        SCOPED_TRACE(name);
        EXPECT_EQ(entry->id(), 0x80000000u + offset * 65536 + entry->size());
        EXPECT_TRUE(entry->dataType() == 3 || (entry->dataType() == 5 && entry->size() == 2));
        words += entry->dataType() == 5 ? 1 : 0;
        for (std::string child = name; child.find('.') != std::string::npos;) {
            const std::string parent = child.substr(0, child.rfind('.'));
            childrenOf[parent].insert(child);
            groups.try_emplace(parent, offset, 0).first->second.second = offset + entry->size();
            child = parent;
        }
        offset += entry->size();
    }
    EXPECT_EQ(offset, 2036u);
    EXPECT_EQ(words, 38);
    ASSERT_EQ(groups.size(), 36u);
    for (const CVisited& v : ofKind(AdjStruct)) {
        const std::string name = nameOf(v.node);
        SCOPED_TRACE(name);
        ASSERT_EQ(groups.count(name), 1u);
        const auto [first, end] = groups[name];
        EXPECT_EQ(v.node->id(), 0x80000000u + first * 65536 + (end - first));
        EXPECT_EQ(v.node->size(), end - first);
        EXPECT_EQ(v.node->children().size(), static_cast<int32_t>(childrenOf[name].size()));
        EXPECT_EQ(nameOf(v.parent), name == "AdjustBlock" ? "root"
                                    : name == "E2P"       ? "AdjustBlock"
                                                          : name.substr(0, name.rfind('.')));
    }

    // A group and its only entry share an identifier: the group is found first.
    const CMetaNode* shared = find(0x82080002u);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(nameOf(shared), "E2P.AdjustData.TemperatureThresholds.FOT_Critical");
    EXPECT_EQ(shared->children()[0]->id(), 0x82080002u);
}

TEST_F(CompiledDescription, TheRegistryHoldsExactlyTheDistinctIdentifiersAscending) {
    ASSERT_EQ(ITEM_REGISTRY_SIZE, 1609u);
    std::map<uint32_t, uint32_t> sizes; // identifier -> size
    for (const CVisited& v : s_all) {
        if (v.node->id() != NO_ID) {
            const auto inserted = sizes.emplace(v.node->id(), v.node->size());
            EXPECT_EQ(inserted.first->second, v.node->size()) << nameOf(v.node);
        }
    }
    ASSERT_EQ(sizes.size(), 1609u);
    auto expected = sizes.begin();
    int shorter = 0;
    for (uint32_t i = 0; i < ITEM_REGISTRY_SIZE; ++i, ++expected) {
        const CMurelItemRegistryEntry& entry = ITEM_REGISTRY[i];
        EXPECT_TRUE(i == 0 || ITEM_REGISTRY[i - 1].id < entry.id);
        EXPECT_EQ(entry.id, expected->first);
        EXPECT_EQ(entry.secondLength, expected->second);
        EXPECT_LE(entry.firstLength, entry.secondLength);
        EXPECT_NE(entry.initialContents, nullptr);
        EXPECT_TRUE(entry.id >> 30 != 2 || entry.firstLength == entry.secondLength);
        shorter += entry.firstLength != entry.secondLength ? 1 : 0;
        EXPECT_TRUE(isRegisteredItemId(entry.id));
        EXPECT_TRUE(sizes.count(entry.id + 1) == 1 || !isRegisteredItemId(entry.id + 1));
    }
    EXPECT_EQ(shorter, 14);
}

TEST(CompiledDescriptionLifetime, OneSharedTreeAndEveryNodeReleasedOnce) {
    TMetaNodePtr shared, again, root, other;
    getRootNode(shared);
    getRootNode(again);
    EXPECT_EQ(again.get(), shared.get());
    buildRootNode(root);
    buildRootNode(other);
    EXPECT_NE(root.get(), other.get()); // building again gives a new tree
    TVXVector<TMetaNodePtr> nodes;
    const uint32_t all = KIND_ALL;
    ASSERT_TRUE(collectNodes(root.get(), false, &all, nodes));
    ASSERT_EQ(nodes.size(), 5087);
    // Every node is owned by its parent alone (the second reference is the vector's).
    EXPECT_EQ(root->referenceCount(), 1u);
    for (const TMetaNodePtr& node : nodes) {
        ASSERT_EQ(node->referenceCount(), 2u) << nameOf(node.get());
    }
    TMetaNodePtr kept;
    ASSERT_TRUE(findNodeById(root.get(), 0x80CC0006u, kept)); // E2P.Networking.Eth0MacAddr
    nodes.clear();
    EXPECT_EQ(kept->referenceCount(), 2u);
    // The kept entry loses its parent's reference only; the sanitizers see any second release
    // or any node left behind.
    root.release();
    EXPECT_EQ(kept->referenceCount(), 1u);
    EXPECT_EQ(nameOf(kept.get()), "E2P.Networking.Eth0MacAddr");
}

} // namespace
