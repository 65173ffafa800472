#include "meta/MurelMetaBuilders.h"

namespace NMurelMeta {

void buildPlainItems(TMetaNodePtr root) {
    for (const CMetaItemRow& row : ITEM_ROWS) {
        TMetaNodePtr item(new CMetaItemNode(CVXString(ITEM_NAMES + row.name), row.id, row.size,
                                            row.domain, row.dataType, row.linkIndex, row.sourceId,
                                            row.mirrorId));
        root->addChild(item);
    }
}

void buildCodingBlock(TMetaNodePtr root, const CMetaCbRow& block, const CVXString* valueNames) {
    TMetaNodePtr blockNode(
        new CMetaCbNode(CVXString(CB_NAMES + block.name), block.id, block.functionCount,
                        CMetaCbInfo{block.blockNumber, block.blockLength}, block.mirrorId));
    const CMetaCbFunctionRow* functions = CB_FUNCTION_ROWS + block.firstFunction;
    for (uint32_t f = 0; f < block.functionCount; ++f) {
        const CMetaCbFunctionRow& row = functions[f];
        TMetaNodePtr function(new CMetaCbFunctionNode(CVXString(CB_NAMES + row.name), row.id,
                                                      row.size, row.valueCount, row.mirrorId));
        blockNode->addChild(function);
        const CMetaCbValueRow* values = CB_VALUE_ROWS + row.firstValue;
        for (uint32_t v = 0; v < row.valueCount; ++v) {
            TMetaNodePtr value(new CMetaCbCondParamNode(valueNames[values[v].name], values[v].size,
                                                        CB_VALUE_BYTES + values[v].bytes));
            function->addChild(value);
        }
    }
    root->addChild(blockNode);
}

void buildAdjustBlock(TMetaNodePtr root) {
    // The rows are in pre-order, so a parent row always comes before its children; the parents
    // are kept alive by their own parents, only the top node by the local handle.
    CMetaNode* nodes[ADJUST_ROW_COUNT];
    TMetaNodePtr top;
    for (uint32_t index = 0; index < ADJUST_ROW_COUNT; ++index) {
        const CMetaAdjustRow& row = ADJUST_ROWS[index];
        const CVXString name(ADJUST_NAMES + row.name);
        TMetaNodePtr node;
        if (row.dataType == 0) {
            node = new CMetaAdjStructNode(name, row.id, row.size, row.childCount);
        } else {
            node = new CMetaAdjNode(name, row.id, row.size, row.dataType);
        }
        nodes[index] = node.get();
        if (row.parent == ADJUST_PARENT_ROOT) {
            top = node;
        } else {
            nodes[row.parent]->addChild(node);
        }
    }
    root->addChild(top);
}

} // namespace NMurelMeta
