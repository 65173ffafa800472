// The description of the settings page compiled into the program.
#pragma once

#include "meta/MurelMeta.h"

#include <cstdint>

namespace NMurelMeta {

// Layout version of the adjust block this description is made for.
constexpr uint16_t COMPILED_ADJUST_VERSION = 2;
// Identifier of the node "AdjustBlock" and of the adjust block as a page item.
constexpr uint32_t ADJUST_BLOCK_DATA_ID = 0x800007F4u;

// One entry of the item registry.
struct CMurelItemRegistryEntry {
    uint32_t id;
    uint16_t firstLength;
    uint16_t secondLength;
    const uint8_t* initialContents;
};

extern const CMurelItemRegistryEntry ITEM_REGISTRY[];
extern const uint32_t ITEM_REGISTRY_SIZE; // 1609

// Fills root with the compiled-in tree, building it on the first call. The tree is then kept by
// one process-wide handle until exit. Not for concurrent first calls (the program calls it on the
// main thread only).
void getRootNode(TMetaNodePtr& root);

// Builds a new compiled-in tree into root without keeping it: the work getRootNode does once.
// Used by getRootNode, and by tests and benchmarks that need a tree of their own.
void buildRootNode(TMetaNodePtr& root);

} // namespace NMurelMeta
