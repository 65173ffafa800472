#include "meta/MurelMetaBuilders.h"

#include <utility>

// Each node is created into a handle and handed to its parent with that handle's reference, so
// that building costs one reference-count change per node.

namespace NMurelMeta {

void buildPlainItems(TMetaNodePtr root, CMetaNodeBlock& memory) {
    for (const CMetaItemRow& row : ITEM_ROWS) {
        root->addChild(TMetaNodePtr(
            memory.make<CMetaItemNode>(ITEM_NAMES + row.name, row.id, row.size, row.domain,
                                       row.dataType, row.linkIndex, row.sourceId, row.mirrorId)));
    }
}

void buildCodingBlock(TMetaNodePtr root, const CMetaCbRow& block, const CVXString* valueNames,
                      CMetaNodeBlock& memory) {
    TMetaNodePtr blockNode(memory.make<CMetaCbNode>(
        CB_NAMES + block.name, block.id, block.functionCount,
        CMetaCbInfo{block.blockNumber, block.blockLength}, block.mirrorId));
    const CMetaCbFunctionRow* functions = CB_FUNCTION_ROWS + block.firstFunction;
    for (uint32_t f = 0; f < block.functionCount; ++f) {
        const CMetaCbFunctionRow& row = functions[f];
        TMetaNodePtr function(memory.make<CMetaCbFunctionNode>(
            CB_NAMES + row.name, row.id, row.size, row.valueCount, row.mirrorId));
        CMetaNode* functionNode = function.get();
        blockNode->addChild(std::move(function));
        const CMetaCbValueRow* values = CB_VALUE_ROWS + row.firstValue;
        for (uint32_t v = 0; v < row.valueCount; ++v) {
            functionNode->addChild(TMetaNodePtr(memory.make<CMetaCbCondParamNode>(
                valueNames[values[v].name], values[v].size, CB_VALUE_BYTES + values[v].bytes)));
        }
    }
    root->addChild(std::move(blockNode));
}

void buildAdjustBlock(TMetaNodePtr root, CMetaNodeBlock& memory) {
    // The rows are in pre-order, so a parent row always comes before its children; the parents
    // are kept alive by their own parents, only the top node by the local handle.
    CMetaNode* nodes[ADJUST_ROW_COUNT];
    TMetaNodePtr top;
    for (uint32_t index = 0; index < ADJUST_ROW_COUNT; ++index) {
        const CMetaAdjustRow& row = ADJUST_ROWS[index];
        const char* name = ADJUST_NAMES + row.name;
        TMetaNodePtr node;
        if (row.dataType == 0) {
            node = memory.make<CMetaAdjStructNode>(name, row.id, row.size, row.childCount);
        } else {
            node = memory.make<CMetaAdjNode>(name, row.id, row.size, row.dataType);
        }
        nodes[index] = node.get();
        if (row.parent == ADJUST_PARENT_ROOT) {
            top = std::move(node);
        } else {
            nodes[row.parent]->addChild(std::move(node));
        }
    }
    root->addChild(std::move(top));
}

} // namespace NMurelMeta
