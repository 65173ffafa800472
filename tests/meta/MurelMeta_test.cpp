// The meta node classes, their handles and the tree operations, on small trees built here.
#include "meta/MurelMeta.h"

#include "foundation/VXAssert.h"
#include "meta/MurelMetaDescription.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace NMurelMeta;

namespace {

// A plain item that counts how often it is destroyed.
class CountingNode : public CMetaItemNode {
public:
    CountingNode(const char* name, uint32_t id, uint32_t childCount, int* destroyed)
        : CMetaItemNode(name, id, 1, 1, UINT8, NO_ID, NO_ID, NO_ID), m_destroyed(destroyed) {
        m_children.reserve(childCount);
    }
    void destroy() override {
        ++*m_destroyed;
        CMetaItemNode::destroy();
    }

private:
    int* m_destroyed;
};

std::vector<std::string> namesOf(const TVXVector<TMetaNodePtr>& nodes) {
    std::vector<std::string> names;
    for (const TMetaNodePtr& node : nodes) {
        names.emplace_back(node->name().c_str());
    }
    return names;
}

TMetaNodePtr adjGroup(const char* name, uint32_t id, uint32_t children) {
    return TMetaNodePtr(new CMetaAdjStructNode(name, id, id & 0xFFFF, children));
}

TMetaNodePtr adjEntry(const char* name, uint32_t id) {
    return TMetaNodePtr(new CMetaAdjNode(name, id, id & 0xFFFF, UINT8));
}

// root
//   G (AdjStruct 0x80000004)
//     G.a (AdjNode 0x80000001)
//     G.H (AdjStruct 0x80010002)
//       G.H.b (AdjNode 0x80010001)
//       G.H.c (AdjNode 0x80020001)
//   I (plain item 0xF0000001)
//   J (AdjNode 0x80030001)
TMetaNodePtr smallTree() {
    TMetaNodePtr root(new CMetaRootNode("root", 3));
    TMetaNodePtr g = adjGroup("G", 0x80000004, 2);
    TMetaNodePtr h = adjGroup("G.H", 0x80010002, 2);
    g->addChild(adjEntry("G.a", 0x80000001));
    g->addChild(h);
    h->addChild(adjEntry("G.H.b", 0x80010001));
    h->addChild(adjEntry("G.H.c", 0x80020001));
    root->addChild(g);
    root->addChild(
        TMetaNodePtr(new CMetaItemNode("I", 0xF0000001, 4, 1, UINT32, NO_ID, NO_ID, NO_ID)));
    root->addChild(adjEntry("J", 0x80030001));
    return root;
}

} // namespace

// ----- handles and reference counts -----

TEST(MetaNodeHandle, CountsReferencesAndDestroysOnTheLastRelease) {
    int destroyed = 0;
    CountingNode* node = new CountingNode("n", 0xF0000000, 0, &destroyed);
    EXPECT_EQ(node->referenceCount(), 0u);
    {
        TMetaNodePtr first(node);
        EXPECT_EQ(node->referenceCount(), 1u);
        TMetaNodePtr second(first);
        EXPECT_EQ(node->referenceCount(), 2u);
        TMetaNodePtr moved(std::move(second));
        EXPECT_TRUE(second.isEmpty());
        EXPECT_EQ(node->referenceCount(), 2u);
        moved.release();
        EXPECT_TRUE(moved.isEmpty());
        EXPECT_EQ(node->referenceCount(), 1u);
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(MetaNodeHandle, AssignmentReleasesTheOldNodeAndIgnoresTheSameOne) {
    int destroyedA = 0;
    int destroyedB = 0;
    CountingNode* a = new CountingNode("a", 0xF0000000, 0, &destroyedA);
    CountingNode* b = new CountingNode("b", 0xF0000001, 0, &destroyedB);
    TMetaNodePtr handle(a);
    handle = a;
    EXPECT_EQ(a->referenceCount(), 1u);
    handle = b;
    EXPECT_EQ(destroyedA, 1);
    EXPECT_EQ(b->referenceCount(), 1u);
    TMetaNodePtr other;
    other = handle;
    EXPECT_EQ(b->referenceCount(), 2u);
    other = TMetaNodePtr();
    EXPECT_EQ(b->referenceCount(), 1u);
    handle = static_cast<CMetaNode*>(nullptr);
    EXPECT_EQ(destroyedB, 1);
    EXPECT_TRUE(handle.isEmpty());
}

TEST(MetaNodeHandle, AssigningAChildOverItsParentKeepsTheChild) {
    int destroyedParent = 0;
    int destroyedChild = 0;
    TMetaNodePtr handle(new CountingNode("parent", 0xF0000000, 1, &destroyedParent));
    CMetaNode* child = new CountingNode("child", 0xF0000001, 0, &destroyedChild);
    handle->addChild(child);
    handle = child; // the parent goes, and with it its reference to the child
    EXPECT_EQ(destroyedParent, 1);
    EXPECT_EQ(destroyedChild, 0);
    EXPECT_EQ(child->referenceCount(), 1u);
}

TEST(MetaNodeHandle, ReleasingTheRootDestroysEveryNodeOnceAndSparesHeldOnes) {
    int destroyed = 0;
    TMetaNodePtr root(new CountingNode("root", 0xF0000000, 2, &destroyed));
    TMetaNodePtr a(new CountingNode("a", 0xF0000001, 2, &destroyed));
    TMetaNodePtr kept(new CountingNode("a.kept", 0xF0000002, 0, &destroyed));
    a->addChild(kept);
    a->addChild(TMetaNodePtr(new CountingNode("a.b", 0xF0000003, 0, &destroyed)));
    root->addChild(a);
    root->addChild(TMetaNodePtr(new CountingNode("c", 0xF0000004, 0, &destroyed)));
    a.release();
    EXPECT_EQ(kept->referenceCount(), 2u);

    root.release();
    EXPECT_EQ(destroyed, 4);
    EXPECT_EQ(kept->referenceCount(), 1u);
    kept.release();
    EXPECT_EQ(destroyed, 5);
}

// ----- node classes -----

TEST(MetaNodeClasses, ConstructorsSetTheirFieldsKindAndDomain) {
    TMetaNodePtr root(new CMetaRootNode("root", 99));
    EXPECT_EQ(root->getKind(), static_cast<uint32_t>(Root));
    EXPECT_EQ(root->getDomain(), 0u);
    EXPECT_EQ(root->id(), NO_ID);
    EXPECT_EQ(root->children().capacity(), 99u);
    EXPECT_EQ(root->children().size(), 0);
    EXPECT_STREQ(root->name().c_str(), "root");

    TMetaNodePtr item(new CMetaItemNode("V", 0xEFFFFF00, 2, 8, INT16, 0, 0xFFFFFF02, NO_ID));
    EXPECT_EQ(item->getKind(), static_cast<uint32_t>(None));
    EXPECT_EQ(item->getDomain(), 8u);
    EXPECT_EQ(item->size(), 2u);
    EXPECT_EQ(item->storageSize(), 2u);
    EXPECT_EQ(item->dataType(), static_cast<uint32_t>(INT16));
    EXPECT_EQ(item->linkIndex(), 0u);
    EXPECT_EQ(item->sourceId(), 0xFFFFFF02u);
    EXPECT_EQ(item->mirrorId(), NO_ID);
    EXPECT_EQ(item->blockNumber(), 0u);
    EXPECT_EQ(item->blockLength(), 0u);

    TMetaNodePtr group(new CMetaAdjStructNode("E2P.Networking", 0x80CC0080, 128, 5));
    EXPECT_EQ(group->getKind(), static_cast<uint32_t>(AdjStruct));
    EXPECT_EQ(group->getDomain(), 4u);
    EXPECT_EQ(group->size(), 128u);
    EXPECT_EQ(group->dataType(), 0u);
    EXPECT_EQ(group->children().capacity(), 5u);

    TMetaNodePtr entry(new CMetaAdjNode("E2P.Networking.Eth0MacAddr", 0x80CC0006, 6, UINT8));
    EXPECT_EQ(entry->getKind(), static_cast<uint32_t>(AdjNode));
    EXPECT_EQ(entry->getDomain(), 4u);
    EXPECT_EQ(entry->storageSize(), 6u);
    EXPECT_EQ(entry->dataType(), static_cast<uint32_t>(UINT8));
    EXPECT_EQ(entry->linkIndex(), NO_ID);
    EXPECT_EQ(entry->sourceId(), NO_ID);

    TMetaNodePtr block(new CMetaCbNode("B", 8, 3, CMetaCbInfo{0x3007, 150}, 0xEFFFFF06));
    EXPECT_EQ(block->getKind(), static_cast<uint32_t>(Cb));
    EXPECT_EQ(block->getDomain(), 2u);
    EXPECT_EQ(block->id(), 8u);
    EXPECT_EQ(block->size(), 150u);
    EXPECT_EQ(block->storageSize(), 152u);
    EXPECT_EQ(block->blockNumber(), 0x3007u);
    EXPECT_EQ(block->blockLength(), 150u);
    EXPECT_EQ(block->mirrorId(), 0xEFFFFF06u);

    TMetaNodePtr function(new CMetaCbFunctionNode("F", 0x7F800803, 3, 2, NO_ID));
    EXPECT_EQ(function->getKind(), static_cast<uint32_t>(CbFunction));
    EXPECT_EQ(function->getDomain(), 2u);
    EXPECT_EQ(function->size(), 3u);
    EXPECT_EQ(function->children().capacity(), 2u);

    static const uint8_t bytes[] = {0x00, 0x01};
    TMetaNodePtr value(new CMetaCbCondParamNode("AKTIV", 2, bytes));
    EXPECT_EQ(value->getKind(), static_cast<uint32_t>(CbCondParam));
    EXPECT_EQ(value->getDomain(), 0u);
    EXPECT_EQ(value->id(), NO_ID);
    EXPECT_EQ(value->size(), 2u);
    EXPECT_EQ(value->value(), bytes);
}

TEST(MetaNodeClasses, ChildAccessOutsideTheVectorIsReported) {
    TMetaNodePtr root(new CMetaRootNode("root", 0));
    const uint32_t before = VXAssertionCount();
    testing::internal::CaptureStderr();
    const TMetaNodePtr& missing = root->children()[0];
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(missing.isEmpty());
    EXPECT_EQ(VXAssertionCount(), before + 1);
    EXPECT_NE(err.find("TVXVector:"), std::string::npos) << err;
    EXPECT_NE(err.find("ASSERTION \"Invalid parameter\" failed"), std::string::npos) << err;
}

// ----- collectNodes -----

TEST(MetaCollectNodes, CollectsInPreOrderByKindWithoutTheStartNode) {
    TMetaNodePtr root = smallTree();
    TVXVector<TMetaNodePtr> out;
    const uint32_t all = KIND_ALL;
    EXPECT_TRUE(collectNodes(root.get(), false, &all, out));
    EXPECT_EQ(namesOf(out),
              (std::vector<std::string>{"G", "G.a", "G.H", "G.H.b", "G.H.c", "I", "J"}));

    TVXVector<TMetaNodePtr> entries;
    const uint32_t adjNode = AdjNode;
    EXPECT_TRUE(collectNodes(root.get(), false, &adjNode, entries));
    EXPECT_EQ(namesOf(entries), (std::vector<std::string>{"G.a", "G.H.b", "G.H.c", "J"}));

    TVXVector<TMetaNodePtr> mixed;
    const uint32_t groupsAndItems = AdjStruct | None;
    EXPECT_TRUE(collectNodes(root.get(), false, &groupsAndItems, mixed));
    EXPECT_EQ(namesOf(mixed), (std::vector<std::string>{"G", "G.H", "I"}));
}

TEST(MetaCollectNodes, TopLevelOnlyLooksAtTheDirectChildren) {
    TMetaNodePtr root = smallTree();
    TVXVector<TMetaNodePtr> out;
    const uint32_t adjNode = AdjNode;
    EXPECT_TRUE(collectNodes(root.get(), true, &adjNode, out));
    EXPECT_EQ(namesOf(out), (std::vector<std::string>{"J"}));

    TVXVector<TMetaNodePtr> none;
    const uint32_t cb = Cb;
    EXPECT_FALSE(collectNodes(root.get(), false, &cb, none));
    EXPECT_TRUE(none.isEmpty());
}

TEST(MetaCollectNodes, AppendsBehindWhatTheVectorHoldsAndAddsReferences) {
    TMetaNodePtr root = smallTree();
    TVXVector<TMetaNodePtr> out;
    out.append(root);
    const uint32_t item = None;
    EXPECT_TRUE(collectNodes(root.get(), false, &item, out));
    ASSERT_EQ(out.size(), 2);
    EXPECT_STREQ(out[1]->name().c_str(), "I");
    EXPECT_EQ(out[1]->referenceCount(), 2u);
}

TEST(MetaCollectNodes, ALeafYieldsNothing) {
    TMetaNodePtr leaf = adjEntry("x", 0x80000001);
    TVXVector<TMetaNodePtr> out;
    const uint32_t all = KIND_ALL;
    EXPECT_FALSE(collectNodes(leaf.get(), false, &all, out));
    EXPECT_TRUE(out.isEmpty());
}

// ----- findNodeById -----

TEST(MetaFindNodeById, TopLevelClassesAreFoundAmongTheDirectChildrenOnly) {
    TMetaNodePtr root(new CMetaRootNode("root", 1));
    TMetaNodePtr block(new CMetaCbNode("B", 5, 1, CMetaCbInfo{0x3004, 4}, NO_ID));
    block->addChild(TMetaNodePtr(
        new CMetaItemNode("grandchild", 0xF0000009, 1, 1, UINT8, NO_ID, NO_ID, NO_ID)));
    root->addChild(block);

    TMetaNodePtr result;
    EXPECT_TRUE(findNodeById(root.get(), 5, result));
    EXPECT_EQ(result.get(), block.get());
    result.release();
    EXPECT_FALSE(findNodeById(root.get(), 0xF0000009, result));
    EXPECT_TRUE(result.isEmpty());
    EXPECT_TRUE(findNodeById(block.get(), 0xF0000009, result));
    EXPECT_STREQ(result->name().c_str(), "grandchild");
    // The start node itself is not looked at for these classes.
    EXPECT_FALSE(findNodeById(block.get(), 5, result));
    EXPECT_STREQ(result->name().c_str(), "grandchild"); // unchanged on failure
}

TEST(MetaFindNodeById, BreadthFirstComparesTheStartNodeFirstAndShallowerNodesWin) {
    TMetaNodePtr root(new CMetaRootNode("root", 2));
    // "deep" sits under the first child, "shallow" is the second child; both carry the same id.
    TMetaNodePtr first = adjGroup("first", 0x80000004, 1);
    first->addChild(adjEntry("deep", 0x80020002));
    root->addChild(first);
    root->addChild(adjGroup("shallow", 0x80020002, 0));

    TMetaNodePtr result;
    EXPECT_TRUE(findNodeById(root.get(), 0x80020002, result));
    EXPECT_STREQ(result->name().c_str(), "shallow");
    EXPECT_TRUE(findNodeById(first.get(), 0x80000004, result));
    EXPECT_STREQ(result->name().c_str(), "first");
    EXPECT_TRUE(findNodeById(first.get(), 0x80020002, result));
    EXPECT_STREQ(result->name().c_str(), "deep");
    EXPECT_FALSE(findNodeById(root.get(), 0x80990001, result));
    EXPECT_STREQ(result->name().c_str(), "deep");
}

TEST(MetaFindNodeById, AmongNodesOfOneDepthTheEarlierChildWins) {
    TMetaNodePtr root(new CMetaRootNode("root", 2));
    TMetaNodePtr a = adjGroup("a", 0x80000004, 1);
    TMetaNodePtr b = adjGroup("b", 0x80040004, 1);
    b->addChild(adjEntry("b.x", 0x40000001));
    a->addChild(adjEntry("a.x", 0x40000001));
    root->addChild(a);
    root->addChild(b);
    TMetaNodePtr result;
    EXPECT_TRUE(findNodeById(root.get(), 0x40000001, result));
    EXPECT_STREQ(result->name().c_str(), "a.x");
}

TEST(MetaFindNodeById, SearchesPastTheInitialRoomOfTheWorkList) {
    TMetaNodePtr root(new CMetaRootNode("root", 150));
    for (uint32_t index = 0; index < 150; ++index) {
        root->addChild(adjEntry("leaf", 0x80000001 + (index << 16)));
    }
    TMetaNodePtr result;
    EXPECT_TRUE(findNodeById(root.get(), 0x80000001 + (149u << 16), result));
    EXPECT_EQ(result.get(), root->children()[149].get());
}

// ----- the registry guard -----

TEST(MetaItemRegistry, GuardsTheSearchByIdentifier) {
    EXPECT_TRUE(isRegisteredItemId(ADJUST_BLOCK_DATA_ID));
    EXPECT_TRUE(isRegisteredItemId(ITEM_REGISTRY[0].id));
    EXPECT_TRUE(isRegisteredItemId(ITEM_REGISTRY[ITEM_REGISTRY_SIZE - 1].id));
    EXPECT_FALSE(isRegisteredItemId(0));
    EXPECT_FALSE(isRegisteredItemId(NO_ID));
    EXPECT_FALSE(isRegisteredItemId(ADJUST_BLOCK_DATA_ID + 1));

    // A node carrying an unregistered identifier is not looked for at all.
    TMetaNodePtr root(new CMetaRootNode("root", 2));
    root->addChild(adjEntry("unregistered", 0x80000003));
    root->addChild(adjGroup("AdjustBlock", ADJUST_BLOCK_DATA_ID, 0));
    TMetaNodePtr result;
    EXPECT_TRUE(findNodeById(root.get(), 0x80000003, result));
    result.release();
    EXPECT_FALSE(findRegisteredNode(root.get(), 0x80000003, result));
    EXPECT_TRUE(result.isEmpty());
    EXPECT_TRUE(findRegisteredNode(root.get(), ADJUST_BLOCK_DATA_ID, result));
    EXPECT_STREQ(result->name().c_str(), "AdjustBlock");
}

// ----- data types -----

TEST(MetaDataTypes, FindsTheEightIntegerTypesByExactName) {
    const struct {
        const char* name;
        uint32_t size;
    } types[] = {{"INT8", 1},  {"UINT8", 1},  {"INT16", 2}, {"UINT16", 2},
                 {"INT32", 4}, {"UINT32", 4}, {"INT64", 8}, {"UINT64", 8}};
    for (const auto& type : types) {
        CMurelAdjTypeInfo info{"x", 99, 99};
        EXPECT_TRUE(findDataTypeByName(type.name, &info)) << type.name;
        EXPECT_STREQ(info.typeName.c_str(), type.name);
        EXPECT_EQ(info.size, type.size) << type.name;
        EXPECT_EQ(info.count, 0u) << type.name;
    }
    EXPECT_TRUE(findDataTypeByName("UINT16", nullptr));

    for (const char* wrong : {"uint8", "Uint8", "UINT8 ", "UINT", "", "BOOL", "BUFFER"}) {
        CMurelAdjTypeInfo info{"keep", 7, 3};
        EXPECT_FALSE(findDataTypeByName(wrong, &info)) << '"' << wrong << '"';
        EXPECT_STREQ(info.typeName.c_str(), "keep");
        EXPECT_EQ(info.size, 7u);
        EXPECT_EQ(info.count, 3u);
    }
}

TEST(MetaDataTypes, GivesTheElementSizeOfTheTypesTwoToNine) {
    const char* const names[] = {"INT8",  "UINT8",  "INT16", "UINT16",
                                 "INT32", "UINT32", "INT64", "UINT64"};
    const uint32_t sizes[] = {1, 1, 2, 2, 4, 4, 8, 8};
    for (uint32_t type = 2; type <= 9; ++type) {
        CMurelAdjTypeInfo info;
        EXPECT_TRUE(getDataTypeInfo(type, &info)) << type;
        EXPECT_STREQ(info.typeName.c_str(), names[type - 2]);
        EXPECT_EQ(info.size, sizes[type - 2]);
        EXPECT_EQ(info.count, 0u);
    }
}

TEST(MetaDataTypes, OtherTypesAreReportedAndFail) {
    for (const uint32_t type : {0u, 1u, 10u, 11u, 12u, 13u, 14u, 0xFFFFFFFFu}) {
        CMurelAdjTypeInfo info{"keep", 7, 3};
        const uint32_t before = VXAssertionCount();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(getDataTypeInfo(type, &info)) << type;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(VXAssertionCount(), before + 1) << type;
        EXPECT_NE(err.find("MurelMeta:"), std::string::npos) << err;
        EXPECT_NE(err.find("ASSERTION \"Unsupported NMurelMeta::EMurelMetaDataType value.\" "
                           "failed"),
                  std::string::npos)
            << err;
        EXPECT_STREQ(info.typeName.c_str(), "keep");
        EXPECT_EQ(info.size, 7u);
    }
}
