// The node handles and the tree operations, on a small tree built here; the integer data types.
#include "meta/MurelMeta.h"

#include "foundation/VXAssert.h"
#include "meta/MurelMetaDescription.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using namespace NMurelMeta;

namespace {

TMetaNodePtr adj(const char* name, uint32_t id, uint32_t children = 0) {
    return children == 0 ? TMetaNodePtr(new CMetaAdjNode(name, id, id & 0xFFFF, UINT8))
                         : TMetaNodePtr(new CMetaAdjStructNode(name, id, id & 0xFFFF, children));
}

// Assigning a child over its parent: the parent goes, and with it its reference to the child (the
// sanitizers see a node released twice or never).
TEST(MetaNodeHandle, AChildAssignedOverItsParentOutlivesIt) {
    TMetaNodePtr handle = adj("parent", 0x80000002, 1);
    CMetaNode* const child = new CMetaAdjNode("child", 0x80000003, 1, UINT8);
    handle->addChild(child);
    handle = handle.get(); // the same node: nothing happens
    EXPECT_EQ(handle->referenceCount(), 1u);
    handle = child;
    EXPECT_EQ(child->referenceCount(), 1u);
}

// Top bits 00 and 11: among the direct children only; 01 and 10: breadth first from the start node
// itself, earlier first within a depth. An identifier the registry does not hold is not looked for.
TEST(MetaTree, FindNodeById) {
    // root: G (G.a, G.H (G.H.b, G.i)), I, J
    TMetaNodePtr root(new CMetaRootNode("root", 3));
    TMetaNodePtr g = adj("G", ADJUST_BLOCK_DATA_ID, 2), h = adj("G.H", 0x80020002, 2);
    g->addChild(adj("G.a", 0x40000001));
    g->addChild(h);
    h->addChild(adj("G.H.b", ADJUST_BLOCK_DATA_ID));
    h->addChild(
        TMetaNodePtr(new CMetaItemNode("G.i", 0xF0000009, 1, 1, UINT8, NO_ID, NO_ID, NO_ID)));
    root->addChild(g);
    root->addChild(TMetaNodePtr(new CMetaItemNode("I", 5, 4, 1, UINT32, NO_ID, NO_ID, NO_ID)));
    root->addChild(adj("J", 0x80020002));
    const std::tuple<CMetaNode*, uint32_t, const char*> rows[] = {
        {root.get(), 5, "I"},
        {g.get(), 0xF0000009, nullptr},
        {h.get(), 0xF0000009, "G.i"},
        {root.get(), 0x80020002, "J"},
        {g.get(), 0x80020002, "G.H"},
        {g.get(), ADJUST_BLOCK_DATA_ID, "G"},
        {h.get(), ADJUST_BLOCK_DATA_ID, "G.H.b"},
        {root.get(), 0x40000001, "G.a"},
        {root.get(), 0x80990001, nullptr}};
    for (const auto& [start, id, name] : rows) {
        TMetaNodePtr found;
        EXPECT_EQ(findNodeById(start, id, found), name != nullptr) << std::hex << id;
        EXPECT_STREQ(found.isEmpty() ? nullptr : found->name().c_str(), name) << std::hex << id;
    }
    TMetaNodePtr found;
    EXPECT_FALSE(findRegisteredNode(root.get(), 0x80020002, found));
    EXPECT_TRUE(findRegisteredNode(root.get(), ADJUST_BLOCK_DATA_ID, found));
    EXPECT_EQ(found.get(), g.get());
}

// The eight integer types by number; any other number is reported and leaves the output alone.
TEST(MetaDataTypes, TheEightIntegerTypesByNumber) {
    std::string types;
    const uint32_t before = VXAssertionCount();
    testing::internal::CaptureStderr();
    for (const uint32_t type : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 0xFFFFFFFFu}) {
        CMurelAdjTypeInfo info{"-", 7, 3};
        const bool known = getDataTypeInfo(type, &info);
        types += std::to_string(known) + info.typeName.c_str() + std::to_string(info.size) +
                 std::to_string(info.count) + " ";
    }
    EXPECT_EQ(types, "0-73 0-73 1INT810 1UINT810 1INT1620 1UINT1620 1INT3240 1UINT3240 1INT6480 "
                     "1UINT6480 0-73 0-73 ");
    EXPECT_EQ(VXAssertionCount(), before + 4);
    const std::string reports = testing::internal::GetCapturedStderr();
    EXPECT_NE(
        reports.find("ASSERTION \"Unsupported NMurelMeta::EMurelMetaDataType value.\" failed"),
        std::string::npos)
        << reports;
    EXPECT_FALSE(findDataTypeByName("UINT16 ", nullptr));
}

} // namespace
