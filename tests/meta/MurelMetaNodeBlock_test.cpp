// Nodes in a node block: consecutive slots, then the heap; the block freed with what goes last,
// builder or last node (else ASan sees a leak or double free); the compiled tree fills one exactly.
#include "meta/MurelMetaNodeBlock.h"

#include "foundation/VXAssert.h"
#include "meta/MurelMetaDescription.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace NMurelMeta;

namespace {

uintptr_t address(const TMetaNodePtr& node) {
    return reinterpret_cast<uintptr_t>(node.get());
}

TEST(MetaNodeBlock, SlotsThenTheHeapAndTheBlockGoesWithWhateverIsReleasedLast) {
    for (const bool builderLast : {false, true}) {
        SCOPED_TRACE(builderLast ? "builder released last" : "builder released first");
        CMetaNodeBlock* block = CMetaNodeBlock::create(2);
        TMetaNodePtr root(block->make<CMetaRootNode>("root", 2));
        TMetaNodePtr entry(block->make<CMetaAdjNode>("E2P.A", 0x80300001u, 1, UINT8));
        EXPECT_EQ(address(entry) - address(root), sizeof(CMetaNode));

        const uint32_t before = VXAssertionCount();
        testing::internal::CaptureStderr();
        TMetaNodePtr extra(block->make<CMetaAdjNode>("E2P.B", 0x80340001u, 1, UINT8));
        const std::string report = testing::internal::GetCapturedStderr();
        EXPECT_EQ(VXAssertionCount(), before + 1);
        EXPECT_NE(report.find("MurelMetaNodeBlock:"), std::string::npos) << report;
        EXPECT_NE(report.find("ASSERTION \"node block full\" failed"), std::string::npos) << report;
        EXPECT_EQ(block->used(), 2u);
        EXPECT_EQ(extra->getKind(), AdjNode);

        root->addChild(std::move(entry));
        root->addChild(std::move(extra));
        if (!builderLast) {
            block->release();
        }
        // Releasing the entry alone keeps the root's slot and the block in use.
        TMetaNodePtr first = root->children()[0];
        root.release();
        EXPECT_EQ(first->name(), CVXString("E2P.A"));
        first.release();
        if (builderLast) {
            block->release();
        }
    }
}

#if defined(__SANITIZE_ADDRESS__)
// A released node's slot is poisoned: a stale pointer is caught as in a freed heap block.
TEST(MetaNodeBlockDeathTest, AStalePointerToAReleasedNodeIsCaught) {
    CMetaNodeBlock* block = CMetaNodeBlock::create(1);
    CMetaNode* stale =
        TMetaNodePtr(block->make<CMetaAdjNode>("E2P.A", 0x80300001u, 1, UINT8)).get();
    EXPECT_DEATH(
        {
            volatile uint32_t id = stale->id();
            (void)id;
        },
        "use-after-poison");
    block->release();
}
#endif

// Every node has a slot (no report), and the highest address is the last slot. The process shares
// one tree; a tree built anew is another, each node owned by its parent alone.
TEST(MetaNodeBlock, TheCompiledTreeFillsItsBlockExactly) {
    TMetaNodePtr shared, again, root;
    getRootNode(shared);
    getRootNode(again);
    const uint32_t before = VXAssertionCount();
    buildRootNode(root);
    EXPECT_EQ(VXAssertionCount(), before);
    EXPECT_TRUE(again.get() == shared.get() && root.get() != shared.get());
    TVXVector<TMetaNodePtr> all;
    ASSERT_TRUE(collectNodes(root.get(), false, &KIND_ALL, all));
    ASSERT_EQ(all.size(), 5087);
    uintptr_t highest = address(root);
    for (const TMetaNodePtr& node : all) {
        highest = address(node) > highest ? address(node) : highest;
        ASSERT_EQ(node->referenceCount(), 2u) << node->name().c_str(); // its parent, the vector
    }
    EXPECT_EQ(highest - address(root), 5087 * sizeof(CMetaNode));
}

} // namespace
