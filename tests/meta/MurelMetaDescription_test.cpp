// The compiled-in description: its shape, counts, identifier layouts, named rows and registry.
#include "meta/MurelMetaDescription.h"

#include "tests/meta/AdjustLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace NMurelMeta;
using namespace NMurelMetaTest;

namespace {

constexpr uint32_t ADJUST_ID_BASE = 0x80000000u;

std::string nameOf(const CMetaNode* node) {
    return node->name().c_str();
}

std::string nameOf(const TMetaNodePtr& node) {
    return nameOf(node.get());
}

// Every node below the root with its parent, in pre-order.
struct CVisited {
    CMetaNode* node;
    CMetaNode* parent;
};

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

    static CMetaNode* child(CMetaNode* parent, const char* name) {
        for (const TMetaNodePtr& node : parent->children()) {
            if (std::strcmp(node->name().c_str(), name) == 0) {
                return node.get();
            }
        }
        return nullptr;
    }

    static std::vector<CMetaNode*> productBlocks() {
        std::vector<CMetaNode*> blocks;
        for (const CVisited& v : ofKind(Cb)) {
            if (v.node->id() <= 17) {
                blocks.push_back(v.node);
            }
        }
        return blocks;
    }

    static TMetaNodePtr s_root;
    static std::vector<CVisited> s_all;
};

TMetaNodePtr CompiledDescription::s_root;
std::vector<CVisited> CompiledDescription::s_all;

// Expected values of one named value: name and bytes.
struct CValue {
    const char* name;
    std::vector<uint8_t> bytes;
};

void expectValues(const CMetaNode* function, const std::vector<CValue>& expected) {
    ASSERT_EQ(function->children().size(), static_cast<int32_t>(expected.size()))
        << function->name().c_str();
    for (size_t index = 0; index < expected.size(); ++index) {
        const TMetaNodePtr& value = function->children()[static_cast<int32_t>(index)];
        EXPECT_EQ(nameOf(value), expected[index].name);
        EXPECT_EQ(value->getKind(), static_cast<uint32_t>(CbCondParam));
        ASSERT_EQ(value->size(), expected[index].bytes.size());
        EXPECT_EQ(std::vector<uint8_t>(value->value(), value->value() + value->size()),
                  expected[index].bytes)
            << expected[index].name;
    }
}

} // namespace

// ----- shape and counts -----

TEST_F(CompiledDescription, TheRootHoldsItemsThenBlocksByNameThenTheAdjustBlock) {
    EXPECT_EQ(nameOf(s_root), "root");
    EXPECT_EQ(s_root->getKind(), static_cast<uint32_t>(Root));
    const TVXVector<TMetaNodePtr>& children = s_root->children();
    ASSERT_EQ(children.size(), 99);
    EXPECT_EQ(children.capacity(), 99u);
    for (int32_t index = 0; index < 79; ++index) {
        EXPECT_EQ(children[index]->getKind(), static_cast<uint32_t>(None)) << index;
    }
    for (int32_t index = 79; index < 98; ++index) {
        EXPECT_EQ(children[index]->getKind(), static_cast<uint32_t>(Cb)) << index;
    }
    for (int32_t index = 80; index < 98; ++index) {
        EXPECT_LT(std::strcmp(children[index - 1]->name().c_str(), children[index]->name().c_str()),
                  0)
            << index;
    }
    EXPECT_EQ(nameOf(children[96]), "test_cb_0");
    EXPECT_EQ(nameOf(children[97]), "test_cb_1");
    EXPECT_EQ(nameOf(children[98]), "AdjustBlock");
    EXPECT_EQ(children[98]->id(), ADJUST_BLOCK_DATA_ID);
}

TEST_F(CompiledDescription, CountsNodesOfEveryKind) {
    EXPECT_EQ(s_all.size() + 1, 5088u);
    EXPECT_EQ(ofKind(Root).size(), 0u); // the root is not below itself
    EXPECT_EQ(ofKind(None).size(), 79u);
    EXPECT_EQ(ofKind(Cb).size(), 19u);
    EXPECT_EQ(ofKind(CbFunction).size(), 1341u);
    EXPECT_EQ(ofKind(CbCondParam).size(), 3473u);
    EXPECT_EQ(ofKind(AdjStruct).size(), 36u);
    EXPECT_EQ(ofKind(AdjNode).size(), 139u);

    TVXVector<TMetaNodePtr> collected;
    const uint32_t all = KIND_ALL;
    EXPECT_TRUE(collectNodes(s_root.get(), false, &all, collected));
    EXPECT_EQ(collected.size(), 5087);
}

TEST_F(CompiledDescription, EveryChildrenVectorHasExactlyTheRoomItNeeds) {
    EXPECT_EQ(s_root->children().capacity(), static_cast<uint32_t>(s_root->children().size()));
    for (const CVisited& v : s_all) {
        EXPECT_EQ(v.node->children().capacity(), static_cast<uint32_t>(v.node->children().size()))
            << v.node->name().c_str();
    }
}

TEST_F(CompiledDescription, DomainsFollowTheKinds) {
    int items = 0;
    int mirrors = 0;
    for (const CVisited& v : s_all) {
        const uint32_t domain = v.node->getDomain();
        switch (v.node->getKind()) {
        case None:
            EXPECT_TRUE(domain == 1 || domain == 8) << v.node->name().c_str();
            (domain == 1 ? items : mirrors)++;
            break;
        case Cb:
        case CbFunction:
            EXPECT_EQ(domain, 2u) << v.node->name().c_str();
            break;
        case CbCondParam:
            EXPECT_EQ(domain, 0u) << v.node->name().c_str();
            break;
        default:
            EXPECT_EQ(domain, 4u) << v.node->name().c_str();
            break;
        }
    }
    EXPECT_EQ(items, 69);
    EXPECT_EQ(mirrors, 10);
}

// ----- coding blocks -----

TEST_F(CompiledDescription, ProductBlocksHaveTheirIdsNumbersLengthsAndFunctionCounts) {
    const std::vector<CMetaNode*> blocks = productBlocks();
    ASSERT_EQ(blocks.size(), 17u);
    std::set<uint32_t> ids;
    std::set<uint32_t> numbers;
    uint32_t longest = 0;
    int32_t fewest = 1000;
    int32_t most = 0;
    for (const CMetaNode* block : blocks) {
        ids.insert(block->id());
        numbers.insert(block->blockNumber());
        EXPECT_GE(block->blockLength(), 1u);
        EXPECT_LE(block->blockLength(), 150u);
        EXPECT_EQ(block->size(), block->blockLength());
        EXPECT_EQ(block->storageSize(), block->blockLength() + 2u);
        longest = std::max<uint32_t>(longest, block->blockLength());
        fewest = std::min(fewest, block->children().size());
        most = std::max(most, block->children().size());
    }
    EXPECT_EQ(ids.size(), 17u);
    EXPECT_EQ(*ids.begin(), 1u);
    EXPECT_EQ(*ids.rbegin(), 17u);
    EXPECT_EQ(numbers.size(), 17u);
    EXPECT_EQ(*numbers.begin(), 0x3000u);
    EXPECT_EQ(*numbers.rbegin(), 0x3010u);
    EXPECT_EQ(longest, 150u);
    EXPECT_EQ(fewest, 1);
    EXPECT_EQ(most, 374);
}

TEST_F(CompiledDescription, FunctionIdentifiersLieInsideTheirBlocks) {
    int bitFields = 0;
    int byteRanges = 0;
    for (const CVisited& v : ofKind(CbFunction)) {
        const CMetaNode* function = v.node;
        const CMetaNode* block = v.parent;
        const uint32_t id = function->id();
        SCOPED_TRACE(function->name().c_str());
        ASSERT_EQ(block->getKind(), static_cast<uint32_t>(Cb));
        EXPECT_EQ(id >> 30, 1u);
        EXPECT_EQ((id >> 23) & 0x3F, block->id());
        const uint32_t offset = (id >> 11) & 0xFFF;
        if ((id & 0x20000000u) == 0) {
            ++bitFields;
            const uint32_t mask = (id >> 3) & 0xFF;
            EXPECT_NE(mask, 0u);
            EXPECT_EQ(id & 7u, 0u);
            EXPECT_EQ(function->size(), 1u);
            EXPECT_LT(offset, block->blockLength());
        } else {
            ++byteRanges;
            const uint32_t length = id & 0x7FF;
            EXPECT_EQ(length, function->size());
            EXPECT_GE(length, 1u);
            EXPECT_LE(offset + length, block->blockLength());
        }
    }
    EXPECT_EQ(bitFields, 1306);
    EXPECT_EQ(byteRanges, 35);
}

TEST_F(CompiledDescription, NamedValuesHaveTheSizeOfTheirFunction) {
    int oneByte = 0;
    for (const CVisited& v : ofKind(CbCondParam)) {
        SCOPED_TRACE(v.node->name().c_str());
        ASSERT_EQ(v.parent->getKind(), static_cast<uint32_t>(CbFunction));
        EXPECT_EQ(v.node->id(), NO_ID);
        EXPECT_EQ(v.node->size(), v.parent->size());
        EXPECT_EQ(v.node->storageSize(), v.node->size());
        ASSERT_NE(v.node->value(), nullptr);
        EXPECT_TRUE(v.node->children().isEmpty());
        if (v.node->size() == 1) {
            ++oneByte;
        }
        if ((v.parent->id() & 0x20000000u) == 0) {
            // A bit-field value fits the field, counted from its lowest bit.
            uint32_t mask = (v.parent->id() >> 3) & 0xFF;
            while ((mask & 1) == 0) {
                mask >>= 1;
            }
            EXPECT_LE(v.node->value()[0], mask);
        }
    }
    EXPECT_EQ(oneByte, 3408);
}

TEST_F(CompiledDescription, TheTestBlocksExerciseEveryFunctionForm) {
    CMetaNode* block0 = child(s_root.get(), "test_cb_0");
    ASSERT_NE(block0, nullptr);
    EXPECT_EQ(block0->id(), 62u);
    EXPECT_EQ(block0->size(), 1u);
    EXPECT_EQ(block0->blockNumber(), 0u);
    EXPECT_EQ(block0->blockLength(), 1u);
    EXPECT_EQ(block0->storageSize(), 3u);
    EXPECT_EQ(block0->mirrorId(), NO_ID);
    ASSERT_EQ(block0->children().size(), 3);

    const CMetaNode* fiveBits = block0->children()[0].get();
    EXPECT_EQ(nameOf(block0->children()[0]), "test_cbfunc_0_2_5bits");
    EXPECT_EQ(fiveBits->id(), 0x5F0007C0u);
    EXPECT_EQ(fiveBits->size(), 1u);
    EXPECT_EQ(fiveBits->mirrorId(), 0xEFFFFF01u);
    expectValues(fiveBits, {});

    const CMetaNode* twoBits = block0->children()[1].get();
    EXPECT_EQ(nameOf(block0->children()[1]), "test_cbfunc_0_1_2bits");
    EXPECT_EQ(twoBits->id(), 0x5F000030u);
    EXPECT_EQ(twoBits->mirrorId(), NO_ID);
    expectValues(twoBits, {{"TEST_PARAM_0_1_0_ZERO", {0x00}},
                           {"TEST_PARAM_0_1_1_ONE", {0x01}},
                           {"TEST_PARAM_0_1_2_TWO", {0x02}},
                           {"TEST_PARAM_0_1_3_THREE", {0x03}}});

    const CMetaNode* oneBit = block0->children()[2].get();
    EXPECT_EQ(nameOf(block0->children()[2]), "test_cbfunc_0_0_1bit");
    EXPECT_EQ(oneBit->id(), 0x5F000008u);
    expectValues(oneBit, {{"TEST_PARAM_0_0_0_OFF", {0x00}}, {"TEST_PARAM_0_0_0_ON", {0x01}}});

    CMetaNode* block1 = child(s_root.get(), "test_cb_1");
    ASSERT_NE(block1, nullptr);
    EXPECT_EQ(block1->id(), 63u);
    EXPECT_EQ(block1->size(), 4u);
    EXPECT_EQ(block1->blockNumber(), 1u);
    EXPECT_EQ(block1->blockLength(), 4u);
    EXPECT_EQ(block1->storageSize(), 6u);
    EXPECT_EQ(block1->mirrorId(), 0xEFFFFF02u);
    ASSERT_EQ(block1->children().size(), 2);
    EXPECT_EQ(nameOf(block1->children()[0]), "test_cbfunc_1_1_3bytes");
    EXPECT_EQ(block1->children()[0]->id(), 0x7F800803u);
    EXPECT_EQ(block1->children()[0]->size(), 3u);
    expectValues(block1->children()[0].get(), {});
    EXPECT_EQ(nameOf(block1->children()[1]), "test_cbfunc_1_0_1byte");
    EXPECT_EQ(block1->children()[1]->id(), 0x5F8007F8u);
    EXPECT_EQ(block1->children()[1]->size(), 1u);
    expectValues(block1->children()[1].get(), {});
}

TEST_F(CompiledDescription, TouchCommandAndTheLabelBlocks) {
    CMetaNode* touch = child(s_root.get(), "TOUCH_COMMAND");
    ASSERT_NE(touch, nullptr);
    EXPECT_EQ(touch->id(), 15u);
    EXPECT_EQ(touch->blockNumber(), 0x300Bu);
    EXPECT_EQ(touch->blockLength(), 30u);
    EXPECT_EQ(touch->children().size(), 35);
    CMetaNode* seat = child(touch, "TC_SEAT_TRAINING");
    ASSERT_NE(seat, nullptr);
    EXPECT_EQ(seat->id(), 0x47800C00u);
    expectValues(seat, {{"NICHT_AKTIV", {0x00}}, {"AKTIV", {0x01}}});

    TMetaNodePtr label;
    ASSERT_TRUE(findNodeById(s_root.get(), 0x67000005u, label));
    EXPECT_EQ(nameOf(label), "TL_ID");
    EXPECT_EQ(label->size(), 5u);
    expectValues(label.get(), {{"VALUE", {0, 0, 0, 0, 0}}});

    // Blocks of one byte-range function with one value "VALUE".
    int labelBlocks = 0;
    for (const CMetaNode* block : productBlocks()) {
        if (block->children().size() == 1) {
            const TMetaNodePtr& only = block->children()[0];
            EXPECT_NE(only->id() & 0x20000000u, 0u) << block->name().c_str();
            ASSERT_EQ(only->children().size(), 1);
            EXPECT_EQ(nameOf(only->children()[0]), "VALUE");
            ++labelBlocks;
        }
    }
    EXPECT_GE(labelBlocks, 2);
}

// ----- plain items -----

TEST_F(CompiledDescription, TheTestItemsFixTheDataTypeNumbering) {
    const struct {
        const char* name;
        uint32_t id;
        uint32_t size;
        uint32_t dataType;
        uint32_t domain;
        uint32_t linkIndex;
        uint32_t sourceId;
        uint32_t mirrorId;
    } rows[] = {
        {"TestTheBool", 0xFFFFFF00, 1, 1, 1, NO_ID, NO_ID, NO_ID},
        {"TestTheInt8", 0xFFFFFF01, 1, 2, 1, NO_ID, NO_ID, NO_ID},
        {"TestTheInt16", 0xFFFFFF02, 2, 4, 1, NO_ID, NO_ID, 0xEFFFFF00},
        {"TestTheInt32", 0xFFFFFF03, 4, 6, 1, NO_ID, NO_ID, NO_ID},
        {"TestTheInt64", 0xFFFFFF04, 8, 8, 1, NO_ID, NO_ID, NO_ID},
        {"TestTheUInt8", 0xFFFFFF05, 1, 3, 1, NO_ID, NO_ID, NO_ID},
        {"TestTheUInt16", 0xFFFFFF06, 2, 5, 1, NO_ID, NO_ID, NO_ID},
        {"TestTheUInt32", 0xFFFFFF07, 4, 7, 1, NO_ID, NO_ID, NO_ID},
        {"TestTheUInt64", 0xFFFFFF08, 8, 9, 1, NO_ID, NO_ID, NO_ID},
        {"TestTheCVXBuffer", 0xFFFFFF09, 16, 12, 1, NO_ID, NO_ID, NO_ID},
        {"TestTheCVXString", 0xFFFFFF0A, 3, 13, 1, NO_ID, NO_ID, NO_ID},
        {"TestTheCVXByteStream", 0xFFFFFF0B, 3, 14, 1, NO_ID, NO_ID, NO_ID},
        {"V850_TestTheInt16", 0xEFFFFF00, 2, 4, 8, 0, 0xFFFFFF02, NO_ID},
        {"V850_test_cbfunc_0_2_5bits", 0xEFFFFF01, 1, 3, 8, 1, 0x5F0007C0, NO_ID},
        {"V850_test_cb_1", 0xEFFFFF02, 4, 12, 8, 2, 0x0000003F, NO_ID},
        {"V850_TestTheUInt8", 0xEFFFFF03, 1, 3, 8, 9, NO_ID, NO_ID},
        {"VIN", 0xF0001002, 17, 12, 1, NO_ID, NO_ID, NO_ID},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TMetaNodePtr item;
        ASSERT_TRUE(findRegisteredNode(s_root.get(), row.id, item));
        EXPECT_EQ(nameOf(item), row.name);
        EXPECT_EQ(item->getKind(), static_cast<uint32_t>(None));
        EXPECT_EQ(item->size(), row.size);
        EXPECT_EQ(item->storageSize(), row.size);
        EXPECT_EQ(item->dataType(), row.dataType);
        EXPECT_EQ(item->getDomain(), row.domain);
        EXPECT_EQ(item->linkIndex(), row.linkIndex);
        EXPECT_EQ(item->sourceId(), row.sourceId);
        EXPECT_EQ(item->mirrorId(), row.mirrorId);
    }
}

TEST_F(CompiledDescription, ThirtyBstItems) {
    for (uint32_t index = 0; index < 30; ++index) {
        char name[8];
        std::snprintf(name, sizeof name, "BST%02u", index);
        SCOPED_TRACE(name);
        TMetaNodePtr item;
        ASSERT_TRUE(findNodeById(s_root.get(), 0xF0002000 + index, item));
        EXPECT_EQ(nameOf(item), name);
        EXPECT_EQ(item->size(), 8u);
        EXPECT_EQ(item->dataType(), 9u);
        EXPECT_EQ(item->getDomain(), 1u);
        EXPECT_EQ(item->linkIndex(), NO_ID);
        EXPECT_EQ(item->sourceId(), NO_ID);
        EXPECT_EQ(item->mirrorId(), NO_ID);
    }
}

TEST_F(CompiledDescription, MirrorsAndTheItemsTheyCopyNameEachOther) {
    std::map<uint32_t, CMetaNode*> byId;
    for (const CVisited& v : s_all) {
        if (v.node->id() != NO_ID) {
            byId.emplace(v.node->id(), v.node);
        }
    }
    std::set<uint32_t> links;
    for (const CVisited& v : ofKind(None)) {
        const CMetaNode* item = v.node;
        SCOPED_TRACE(item->name().c_str());
        EXPECT_EQ(item->id() >> 30 == 0 || item->id() >> 30 == 3, true);
        if (item->getDomain() != 8) {
            EXPECT_EQ(item->linkIndex(), NO_ID);
            EXPECT_EQ(item->sourceId(), NO_ID);
            continue;
        }
        EXPECT_TRUE(links.insert(item->linkIndex()).second);
        if (item->sourceId() != NO_ID) {
            ASSERT_EQ(byId.count(item->sourceId()), 1u);
            EXPECT_EQ(byId[item->sourceId()]->mirrorId(), item->id());
        }
    }
    EXPECT_EQ(links.size(), 10u);
    for (const CVisited& v : s_all) {
        if (v.node->mirrorId() != NO_ID) {
            SCOPED_TRACE(v.node->name().c_str());
            ASSERT_EQ(byId.count(v.node->mirrorId()), 1u);
            EXPECT_EQ(byId[v.node->mirrorId()]->sourceId(), v.node->id());
            EXPECT_EQ(byId[v.node->mirrorId()]->getDomain(), 8u);
        }
    }
}

// ----- the adjust block -----

TEST_F(CompiledDescription, AdjustGroupsAsLaidDown) {
    ASSERT_EQ(ofKind(AdjStruct).size(), std::size(ADJUST_GROUPS));
    for (const CAdjustGroup& group : ADJUST_GROUPS) {
        SCOPED_TRACE(group.name);
        const auto found = std::find_if(s_all.begin(), s_all.end(), [&](const CVisited& v) {
            return v.node->getKind() == AdjStruct && nameOf(v.node) == group.name;
        });
        ASSERT_NE(found, s_all.end());
        EXPECT_EQ(found->node->id(), group.id);
        EXPECT_EQ(found->node->size(), group.id & 0xFFFF);
        EXPECT_EQ(nameOf(found->parent), group.parent);
        EXPECT_EQ(found->node->children().size(), group.children);
    }
}

TEST_F(CompiledDescription, AdjustEntriesAsLaidDown) {
    std::vector<CVisited> entries = ofKind(AdjNode);
    ASSERT_EQ(entries.size(), std::size(ADJUST_ENTRIES));
    std::sort(entries.begin(), entries.end(),
              [](const CVisited& a, const CVisited& b) { return a.node->id() < b.node->id(); });
    for (size_t index = 0; index < entries.size(); ++index) {
        const CAdjustEntry& expected = ADJUST_ENTRIES[index];
        const CMetaNode* entry = entries[index].node;
        SCOPED_TRACE(expected.name);
        EXPECT_EQ(nameOf(entry), expected.name);
        EXPECT_EQ(entry->id(), ADJUST_ID_BASE + expected.offset * 65536 + expected.size);
        EXPECT_EQ(entry->size(), expected.size);
        EXPECT_EQ(entry->dataType(), expected.dataType);
        // The parent is the group named by the entry's name without its last piece.
        const std::string name = expected.name;
        EXPECT_EQ(nameOf(entries[index].parent), name.substr(0, name.rfind('.')));
    }
}

TEST_F(CompiledDescription, AdjustEntriesCoverBytesTwelveToTheEndWithoutGap) {
    TMetaNodePtr adjust;
    ASSERT_TRUE(findRegisteredNode(s_root.get(), ADJUST_BLOCK_DATA_ID, adjust));
    EXPECT_EQ(nameOf(adjust), "AdjustBlock");
    TVXVector<TMetaNodePtr> entries;
    const uint32_t adjNode = AdjNode;
    ASSERT_TRUE(collectNodes(adjust.get(), false, &adjNode, entries));
    ASSERT_EQ(entries.size(), 139);
    TVXVector<TMetaNodePtr> everything;
    const uint32_t all = KIND_ALL;
    ASSERT_TRUE(collectNodes(adjust.get(), false, &all, everything));
    EXPECT_EQ(everything.size(), 174);

    std::sort(entries.begin(), entries.end(),
              [](const TMetaNodePtr& a, const TMetaNodePtr& b) { return a->id() < b->id(); });
    EXPECT_EQ(nameOf(entries[0]), "E2P.ProdLogistic.HWCoding.APIX");
    EXPECT_EQ(entries[0]->id(), 0x800C0001u);
    EXPECT_EQ(nameOf(entries[138]), "E2P.END");
    EXPECT_EQ(entries[138]->id(), 0x87F30001u);
    uint32_t next = 12;
    for (const TMetaNodePtr& entry : entries) {
        const uint32_t offset = (entry->id() >> 16) & 0x3FFF;
        EXPECT_EQ(offset, next) << nameOf(entry);
        EXPECT_EQ(entry->id() & 0xFFFF, entry->size());
        CMurelAdjTypeInfo type;
        ASSERT_TRUE(getDataTypeInfo(entry->dataType(), &type));
        EXPECT_EQ(entry->size() % type.size, 0u);
        next = offset + entry->size();
    }
    EXPECT_EQ(next, 2036u);

    TMetaNodePtr reserved;
    ASSERT_TRUE(findNodeById(adjust.get(), 0x824C05A7u, reserved)); // offset 588, 1447 bytes
    EXPECT_EQ(nameOf(reserved), "E2P.reserved");
    TMetaNodePtr mac;
    ASSERT_TRUE(findRegisteredNode(s_root.get(), 0x80CC0006u, mac));
    EXPECT_EQ(nameOf(mac), "E2P.Networking.Eth0MacAddr");
}

TEST_F(CompiledDescription, AGroupAndItsOnlyEntryShareAnIdentifierAndTheGroupIsFound) {
    TMetaNodePtr found;
    ASSERT_TRUE(findRegisteredNode(s_root.get(), 0x82080002u, found));
    EXPECT_EQ(nameOf(found), "E2P.AdjustData.TemperatureThresholds.FOT_Critical");
    EXPECT_EQ(found->getKind(), static_cast<uint32_t>(AdjStruct));
    ASSERT_EQ(found->children().size(), 1);
    EXPECT_EQ(nameOf(found->children()[0]),
              "E2P.AdjustData.TemperatureThresholds.FOT_Critical.critical");
    EXPECT_EQ(found->children()[0]->id(), 0x82080002u);
}

// ----- the registry -----

TEST_F(CompiledDescription, TheRegistryHoldsExactlyTheDistinctIdentifiersAscending) {
    ASSERT_EQ(ITEM_REGISTRY_SIZE, 1609u);
    std::map<uint32_t, uint32_t> sizes; // identifier -> size
    for (const CVisited& v : s_all) {
        if (v.node->id() != NO_ID) {
            const auto inserted = sizes.emplace(v.node->id(), v.node->size());
            EXPECT_EQ(inserted.first->second, v.node->size()) << v.node->name().c_str();
        }
    }
    ASSERT_EQ(sizes.size(), 1609u);
    auto expected = sizes.begin();
    int shorter = 0;
    for (uint32_t index = 0; index < ITEM_REGISTRY_SIZE; ++index, ++expected) {
        const CMurelItemRegistryEntry& entry = ITEM_REGISTRY[index];
        if (index > 0) {
            EXPECT_LT(ITEM_REGISTRY[index - 1].id, entry.id);
        }
        EXPECT_EQ(entry.id, expected->first);
        EXPECT_EQ(entry.secondLength, expected->second);
        EXPECT_LE(entry.firstLength, entry.secondLength);
        EXPECT_NE(entry.initialContents, nullptr);
        if (entry.id >> 30 == 2) {
            EXPECT_EQ(entry.firstLength, entry.secondLength);
        }
        if (entry.firstLength != entry.secondLength) {
            ++shorter;
        }
        EXPECT_TRUE(isRegisteredItemId(entry.id));
        if (sizes.count(entry.id + 1) == 0) {
            EXPECT_FALSE(isRegisteredItemId(entry.id + 1)) << entry.id;
        }
    }
    EXPECT_EQ(shorter, 14);

    const auto adjust = std::find_if(ITEM_REGISTRY, ITEM_REGISTRY + ITEM_REGISTRY_SIZE,
                                     [](const auto& e) { return e.id == ADJUST_BLOCK_DATA_ID; });
    ASSERT_NE(adjust, ITEM_REGISTRY + ITEM_REGISTRY_SIZE);
    EXPECT_EQ(adjust->firstLength, 2036u);
    EXPECT_EQ(adjust->secondLength, 2036u);
}

// ----- lifetime -----

TEST_F(CompiledDescription, ASecondCallReturnsTheSameTree) {
    TMetaNodePtr again;
    getRootNode(again);
    EXPECT_EQ(again.get(), s_root.get());
    EXPECT_EQ(again->children()[98].get(), s_root->children()[98].get());
}

TEST(CompiledDescriptionLifetime, ReleasingTheLastRootHandleReleasesEveryNodeOnce) {
    TMetaNodePtr root;
    buildRootNode(root);
    TVXVector<TMetaNodePtr> nodes;
    const uint32_t all = KIND_ALL;
    ASSERT_TRUE(collectNodes(root.get(), false, &all, nodes));
    ASSERT_EQ(nodes.size(), 5087);
    // Every node is owned by its parent alone (the second reference is the vector's).
    EXPECT_EQ(root->referenceCount(), 1u);
    for (const TMetaNodePtr& node : nodes) {
        ASSERT_EQ(node->referenceCount(), 2u) << node->name().c_str();
    }
    TMetaNodePtr kept;
    ASSERT_TRUE(findNodeById(root.get(), 0x80CC0006u, kept)); // E2P.Networking.Eth0MacAddr
    nodes.clear();
    EXPECT_EQ(kept->referenceCount(), 2u);

    // Releasing the root releases every node once: the kept entry loses its parent's reference
    // only; the sanitizers see any second release or any node left behind.
    root.release();
    EXPECT_EQ(kept->referenceCount(), 1u);
    EXPECT_EQ(nameOf(kept), "E2P.Networking.Eth0MacAddr");
}

TEST(CompiledDescriptionLifetime, BuildingAgainGivesANewTree) {
    TMetaNodePtr first;
    TMetaNodePtr second;
    buildRootNode(first);
    buildRootNode(second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(first->children().size(), 99);
    EXPECT_EQ(second->children().size(), 99);
}
