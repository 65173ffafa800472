#include "meta/MurelMetaDescription.h"

#include "meta/MurelMetaBuilders.h"
#include "meta/MurelMetaNodeBlock.h"
#include "meta/MurelMetaTables.h"

#include <utility>

namespace NMurelMeta {

namespace {

// The process-wide handle of the compiled-in tree: empty until the first getRootNode, released
// (with the whole tree) at exit.
TMetaNodePtr& processRoot() {
    static TMetaNodePtr root;
    return root;
}

} // namespace

void buildRootNode(TMetaNodePtr& root) {
    // One slot for every node of the tree: the root, the plain items, the coding blocks with their
    // functions and named values, and the rows of the adjust block.
    CMetaNodeBlock* nodes =
        CMetaNodeBlock::create(1 + ITEM_ROW_COUNT + CB_ROW_COUNT + CB_FUNCTION_ROW_COUNT +
                               CB_VALUE_ROW_COUNT + ADJUST_ROW_COUNT);
    TMetaNodePtr local(nodes->make<CMetaRootNode>("root", ITEM_ROW_COUNT + CB_ROW_COUNT + 1));

    // The named values repeat a few dozen names; every value node shares one string per name.
    TVXVector<CVXString> valueNames;
    valueNames.reserve(CB_VALUE_NAME_COUNT);
    for (const uint16_t offset : CB_VALUE_NAME_OFFSETS) {
        valueNames.append(CVXString(CB_VALUE_NAMES + offset));
    }

    buildPlainItems(local, *nodes);
    for (const CMetaCbRow& block : CB_ROWS) {
        buildCodingBlock(local, block, valueNames.begin(), *nodes);
    }
    buildAdjustBlock(local, *nodes);
    // From here on the tree's nodes alone keep the block.
    nodes->release();
    root = std::move(local);
}

void getRootNode(TMetaNodePtr& root) {
    TMetaNodePtr& cached = processRoot();
    if (cached.isEmpty()) {
        buildRootNode(cached);
    }
    root = cached;
}

} // namespace NMurelMeta
