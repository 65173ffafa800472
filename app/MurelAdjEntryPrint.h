// Output lines of the dump and get actions, and the entry look-ups behind them.
#pragma once

#include "foundation/CVXString.h"
#include "foundation/TVXVector.h"
#include "meta/MurelAdjDescription.h"
#include "meta/MurelMeta.h"

#include <cstdint>

// Bytes per hex row of the hex dump.
constexpr uint32_t MURELADJ_HEX_ROW_BYTES = 32;

// Prints the entry's bytes as two upper-case hex digits each and a line feed: element after
// element, the bytes of each element from its last to its first with big-endian output (1), in
// storage order otherwise. A missing pointer, size or count is reported; nothing is printed for it
// but the line feed.
void printEntryValue(const uint8_t* data, const CMurelAdjTypeInfo& type, uint32_t endianness);

// Prints rows of "%08X: " (offset) and up to 32 bytes in hex.
void printHexRows(const uint8_t* data, uint32_t length);

// Copies the entry's size x count bytes into out in the order printEntryValue prints them and
// returns their number (0 for a missing pointer, size or count).
uint32_t entryBytesInPrintOrder(const uint8_t* data, const CMurelAdjTypeInfo& type,
                                uint32_t endianness, uint8_t* out);

// Writes two upper-case hex digits per byte and a terminating zero (2 x count + 1 bytes) to text.
void formatHexBytes(const uint8_t* bytes, uint32_t count, char* text);

// The AdjNode entries below "AdjustBlock" of the compiled-in tree, in collection order; false when
// the tree holds no such entry.
bool collectAdjustEntries(TVXVector<NMurelMeta::TMetaNodePtr>& entries);

// Byte offset of an adjust-block item inside the block: bits 29 to 16 of its identifier.
uint32_t adjustEntryOffset(uint32_t id);

// Element type of a compiled entry: the element size of its data type and the node size divided by
// it. An unknown data type is reported by the look-up and leaves size and count 0 (no division).
CMurelAdjTypeInfo adjustEntryType(const NMurelMeta::CMetaNode& node);

// Sorts nodes[first..last] in place, ascending by identifier (recursive quicksort, middle pivot).
// Nodes outside the adjust block are reported.
void sortNodesById(TVXVector<NMurelMeta::TMetaNodePtr>& nodes, int32_t first, int32_t last);

// Index of the first element with exactly this name (case-sensitive), or -1.
int32_t findNodeIndexByName(const CVXString& name,
                            const TVXVector<NMurelMeta::TMetaNodePtr>& nodes);
int32_t findDescIndexByName(const CVXString& name, const CMurelAdjDescription& description);
