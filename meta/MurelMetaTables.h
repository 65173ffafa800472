// Constant tables of the compiled-in description, read by the builders.
//
// The tables are generated into meta/generated/ by tools/metagen/metagen.py from the readable
// source tools/metagen/description.txt. Names live in zero-terminated pools; rows refer to them by
// byte offset, so the tables need no relocation at start-up.
#pragma once

#include "meta/generated/MurelMetaTableSizes.h"

#include <cstdint>

namespace NMurelMeta {

// One plain page item (CMetaItemNode).
struct CMetaItemRow {
    uint32_t name; // offset in ITEM_NAMES
    uint32_t id;
    uint32_t size;
    uint32_t domain;
    uint32_t dataType;
    uint32_t linkIndex;
    uint32_t sourceId;
    uint32_t mirrorId;
};

// One coding block (CMetaCbNode); its functions are CB_FUNCTION_ROWS[firstFunction ...].
struct CMetaCbRow {
    uint32_t name; // offset in CB_NAMES
    uint32_t id;
    uint32_t blockNumber;
    uint32_t mirrorId;
    uint16_t blockLength;
    uint16_t functionCount;
    uint16_t firstFunction;
};

// One coding function (CMetaCbFunctionNode); its values are CB_VALUE_ROWS[firstValue ...].
struct CMetaCbFunctionRow {
    uint32_t name; // offset in CB_NAMES
    uint32_t id;
    uint32_t mirrorId;
    uint16_t size;
    uint16_t valueCount;
    uint16_t firstValue;
};

// One named value (CMetaCbCondParamNode).
struct CMetaCbValueRow {
    uint16_t name;  // index in CB_VALUE_NAME_OFFSETS (value names repeat, so they are shared)
    uint16_t size;  // bytes of the value
    uint32_t bytes; // offset in CB_VALUE_BYTES
};

// One adjust-block group (dataType 0, CMetaAdjStructNode) or entry (CMetaAdjNode), in pre-order.
struct CMetaAdjustRow {
    uint32_t name; // offset in ADJUST_NAMES
    uint32_t id;
    uint16_t size;
    uint16_t parent; // row of the parent group; ADJUST_PARENT_ROOT for "AdjustBlock"
    uint16_t childCount;
    uint16_t dataType;
};

constexpr uint16_t ADJUST_PARENT_ROOT = 0xFFFF;

extern const char ITEM_NAMES[];
extern const CMetaItemRow ITEM_ROWS[ITEM_ROW_COUNT];

// The blocks in ascending byte order of their names: the order their builders run.
extern const char CB_NAMES[];
extern const CMetaCbRow CB_ROWS[CB_ROW_COUNT];
extern const CMetaCbFunctionRow CB_FUNCTION_ROWS[CB_FUNCTION_ROW_COUNT];
extern const char CB_VALUE_NAMES[];
extern const uint16_t CB_VALUE_NAME_OFFSETS[CB_VALUE_NAME_COUNT];
extern const uint8_t CB_VALUE_BYTES[];
extern const CMetaCbValueRow CB_VALUE_ROWS[CB_VALUE_ROW_COUNT];

extern const char ADJUST_NAMES[];
extern const CMetaAdjustRow ADJUST_ROWS[ADJUST_ROW_COUNT];

} // namespace NMurelMeta
