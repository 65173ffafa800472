#include "meta/MurelMetaDescription.h"

#include "meta/MurelMetaBuilders.h"
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
    TMetaNodePtr local(new CMetaRootNode("root", ITEM_ROW_COUNT + CB_ROW_COUNT + 1));

    // The named values repeat a few dozen names; every value node shares one string per name.
    TVXVector<CVXString> valueNames;
    valueNames.reserve(CB_VALUE_NAME_COUNT);
    for (const uint16_t offset : CB_VALUE_NAME_OFFSETS) {
        valueNames.append(CVXString(CB_VALUE_NAMES + offset));
    }

    buildPlainItems(local);
    for (const CMetaCbRow& block : CB_ROWS) {
        buildCodingBlock(local, block, valueNames.begin());
    }
    buildAdjustBlock(local);
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
