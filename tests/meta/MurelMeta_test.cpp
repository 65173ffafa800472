// The meta node classes, their handles and the tree operations, on small trees built here.
#include "meta/MurelMeta.h"

#include "foundation/VXAssert.h"
#include "meta/MurelMetaDescription.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace NMurelMeta;

namespace {

// A plain item that counts how often it is destroyed.
class CountingNode : public CMetaItemNode {
public:
    CountingNode(const char* name, uint32_t childCount, int* destroyed)
        : CMetaItemNode(name, 0xF0000000, 1, 1, UINT8, NO_ID, NO_ID, NO_ID),
          m_destroyed(destroyed) {
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

// Calls f and returns what it wrote to the standard error stream; checks that it made one
// assertion report.
template <typename F>
std::string oneAssertion(F f) {
    const uint32_t before = VXAssertionCount();
    testing::internal::CaptureStderr();
    f();
    EXPECT_EQ(VXAssertionCount(), before + 1);
    return testing::internal::GetCapturedStderr();
}

TEST(MetaNodeHandle, CountsReferencesAndReleasesNodesOnce) {
    int destroyed[4] = {};
    CountingNode* a = new CountingNode("a", 0, &destroyed[0]);
    CountingNode* b = new CountingNode("b", 0, &destroyed[1]);
    EXPECT_EQ(a->referenceCount(), 0u);
    TMetaNodePtr handle(a);
    TMetaNodePtr copy(handle);
    EXPECT_EQ(a->referenceCount(), 2u);
    TMetaNodePtr moved(std::move(copy));
    EXPECT_TRUE(copy.isEmpty());
    EXPECT_EQ(a->referenceCount(), 2u);
    moved.release();
    EXPECT_TRUE(moved.isEmpty());
    handle = a; // the same node: nothing happens
    EXPECT_EQ(a->referenceCount(), 1u);
    handle = b;
    TMetaNodePtr other;
    other = handle;
    EXPECT_EQ(b->referenceCount(), 2u);
    other = TMetaNodePtr();
    handle = static_cast<CMetaNode*>(nullptr);
    EXPECT_TRUE(handle.isEmpty());

    // Assigning a child over its parent: the parent goes, and with it its reference to the child.
    handle = new CountingNode("parent", 1, &destroyed[2]);
    CMetaNode* child = new CountingNode("child", 0, &destroyed[3]);
    handle->addChild(child);
    handle = child;
    EXPECT_EQ(std::vector<int>(destroyed, destroyed + 4), (std::vector<int>{1, 1, 1, 0}));
    EXPECT_EQ(child->referenceCount(), 1u);
}

TEST(MetaTree, CollectNodesInPreOrderByKind) {
    // root: G (group: G.a, G.H (group: G.H.b, G.H.c)), I (plain item), J (entry)
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

    const std::tuple<bool, uint32_t, std::vector<std::string>> cases[] = {
        {false, KIND_ALL, {"G", "G.a", "G.H", "G.H.b", "G.H.c", "I", "J"}},
        {false, AdjNode, {"G.a", "G.H.b", "G.H.c", "J"}},
        {false, AdjStruct | None, {"G", "G.H", "I"}},
        {true, AdjNode, {"J"}},
        {true, KIND_ALL, {"G", "I", "J"}},
        {false, Cb, {}},
    };
    for (const auto& [topLevelOnly, mask, names] : cases) {
        TVXVector<TMetaNodePtr> out;
        EXPECT_EQ(collectNodes(root.get(), topLevelOnly, &mask, out), !names.empty());
        EXPECT_EQ(namesOf(out), names) << mask << " " << topLevelOnly;
    }
    // Appended behind what the vector holds, each with a reference of its own.
    TVXVector<TMetaNodePtr> out;
    out.append(root);
    const uint32_t item = None;
    EXPECT_TRUE(collectNodes(root.get(), false, &item, out));
    EXPECT_EQ(namesOf(out), (std::vector<std::string>{"root", "I"}));
    EXPECT_EQ(out[1]->referenceCount(), 2u);
    const uint32_t all = KIND_ALL;
    TVXVector<TMetaNodePtr> none;
    EXPECT_FALSE(collectNodes(h->children()[0].get(), false, &all, none)); // a leaf
}

TEST(MetaTree, FindNodeById) {
    // Top bits 00 and 11: the direct children only, never the start node or a grandchild.
    TMetaNodePtr root(new CMetaRootNode("root", 3));
    TMetaNodePtr block(new CMetaCbNode("B", 5, 1, CMetaCbInfo{0x3004, 4}, NO_ID));
    block->addChild(TMetaNodePtr(
        new CMetaItemNode("grandchild", 0xF0000009, 1, 1, UINT8, NO_ID, NO_ID, NO_ID)));
    root->addChild(block);
    TMetaNodePtr result;
    EXPECT_TRUE(findNodeById(root.get(), 5, result));
    EXPECT_EQ(result.get(), block.get());
    EXPECT_FALSE(findNodeById(root.get(), 0xF0000009, result));
    EXPECT_EQ(result.get(), block.get()); // unchanged on failure
    EXPECT_TRUE(findNodeById(block.get(), 0xF0000009, result));
    EXPECT_STREQ(result->name().c_str(), "grandchild");
    EXPECT_FALSE(findNodeById(block.get(), 5, result));

    // Top bits 01 and 10: breadth first from the start node itself; shallower nodes win, and
    // among nodes of one depth the earlier child.
    TMetaNodePtr first = adjGroup("first", 0x80000004, 2);
    first->addChild(adjEntry("deep", 0x80020002));
    first->addChild(adjEntry("first.x", 0x40000001));
    TMetaNodePtr second = adjGroup("shallow", 0x80020002, 1);
    second->addChild(adjEntry("second.x", 0x40000001));
    root->addChild(first);
    root->addChild(second);
    const std::tuple<CMetaNode*, uint32_t, const char*> cases[] = {
        {root.get(), 0x80020002, "shallow"},
        {first.get(), 0x80000004, "first"},
        {first.get(), 0x80020002, "deep"},
        {root.get(), 0x40000001, "first.x"},
        {root.get(), 0x80990001, nullptr}};
    for (const auto& [start, id, name] : cases) {
        TMetaNodePtr found;
        EXPECT_EQ(findNodeById(start, id, found), name != nullptr) << id;
        EXPECT_STREQ(found.isEmpty() ? nullptr : found->name().c_str(), name);
    }

    // The work list grows past its initial room of 100 entries.
    TMetaNodePtr wide(new CMetaRootNode("root", 150));
    for (uint32_t i = 0; i < 150; ++i) {
        wide->addChild(adjEntry("leaf", 0x80000001 + (i << 16)));
    }
    EXPECT_TRUE(findNodeById(wide.get(), 0x80000001 + (149u << 16), result));
    EXPECT_EQ(result.get(), wide->children()[149].get());
}

TEST(MetaTree, TheRegistryGuardsTheSearchByIdentifier) {
    EXPECT_FALSE(isRegisteredItemId(0));
    EXPECT_FALSE(isRegisteredItemId(NO_ID));
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

// The eight integer types by number (the names are the description file's type column).
TEST(MetaDataTypes, TheEightIntegerTypesByNumber) {
    const char* const types[] = {"INT8 1",  "UINT8 1",  "INT16 2", "UINT16 2",
                                 "INT32 4", "UINT32 4", "INT64 8", "UINT64 8"};
    for (uint32_t n = 0; n <= 15; ++n) {
        const uint32_t type = n < 15 ? n : 0xFFFFFFFFu;
        CMurelAdjTypeInfo info{"keep", 7, 3};
        if (type >= 2 && type <= 9) {
            EXPECT_TRUE(getDataTypeInfo(type, &info));
            EXPECT_EQ(std::string(info.typeName.c_str()) + " " + std::to_string(info.size) + " " +
                          std::to_string(info.count),
                      types[type - 2] + std::string(" 0"));
            continue;
        }
        const std::string err = oneAssertion([&] { EXPECT_FALSE(getDataTypeInfo(type, &info)); });
        EXPECT_NE(err.find("MurelMeta:"), std::string::npos) << err;
        EXPECT_NE(err.find("ASSERTION \"Unsupported NMurelMeta::EMurelMetaDataType value.\" "
                           "failed"),
                  std::string::npos)
            << err;
        EXPECT_TRUE(info.typeName == CVXString("keep") && info.size == 7 && info.count == 3);
    }
    CMurelAdjTypeInfo info{"keep", 7, 3};
    EXPECT_TRUE(findDataTypeByName("UINT16", nullptr));
    EXPECT_FALSE(findDataTypeByName("UINT16 ", &info));
    EXPECT_TRUE(info.typeName == CVXString("keep") && info.size == 7 && info.count == 3);
}

} // namespace
