// Builders of the compiled-in description: each adds one part of the tree to the root, reading
// the constant tables of meta/MurelMetaTables.h.
#pragma once

#include "meta/MurelMeta.h"
#include "meta/MurelMetaTables.h"

namespace NMurelMeta {

// Adds the plain page items to the root, in table order.
void buildPlainItems(TMetaNodePtr root);

// Adds one coding block with its functions and named values. valueNames holds one string per
// entry of CB_VALUE_NAME_OFFSETS; the named values share them.
void buildCodingBlock(TMetaNodePtr root, const CMetaCbRow& block, const CVXString* valueNames);

// Adds the subtree "AdjustBlock" with its groups and entries.
void buildAdjustBlock(TMetaNodePtr root);

} // namespace NMurelMeta
