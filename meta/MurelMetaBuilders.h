// Builders of the compiled-in description: each adds one part of the tree to the root, reading
// the constant tables of meta/MurelMetaTables.h, and constructs its nodes in the given block.
#pragma once

#include "meta/MurelMeta.h"
#include "meta/MurelMetaNodeBlock.h"
#include "meta/MurelMetaTables.h"

namespace NMurelMeta {

// Adds the plain page items to the root, in table order.
void buildPlainItems(TMetaNodePtr root, CMetaNodeBlock& memory);

// Adds one coding block with its functions and named values. valueNames holds one string per
// entry of CB_VALUE_NAME_OFFSETS; the named values share them.
void buildCodingBlock(TMetaNodePtr root, const CMetaCbRow& block, const CVXString* valueNames,
                      CMetaNodeBlock& memory);

// Adds the subtree "AdjustBlock" with its groups and entries.
void buildAdjustBlock(TMetaNodePtr root, CMetaNodeBlock& memory);

} // namespace NMurelMeta
