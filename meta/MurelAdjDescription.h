// Adjust-block entry descriptions as read from a description file ("E2P structure description").
#pragma once

#include "foundation/CVXString.h"
#include "foundation/TVXVector.h"
#include "meta/MurelMeta.h"

#include <cstdint>

// One parsed data line of a description file.
struct CMurelAdjNodeDesc {
    CVXString name;         // full entry name (column 2, ".", column 3)
    CVXString value;        // column 6 in upper case
    uint32_t address = 0;   // byte offset of the entry inside the adjust block
    CMurelAdjTypeInfo type; // element type name and size, element count
};

// Node ordering: A before B when A.address < B.address and the names differ; equivalent when the
// addresses or the names are equal. Three-way result as TVXSortedVector expects.
struct CMurelAdjNodeDescOrder {
    int operator()(const CMurelAdjNodeDesc& first, const CMurelAdjNodeDesc& second) const;
};

// The sorted description list (duplicates refused).
using CMurelAdjDescription = TVXSortedVector<CMurelAdjNodeDesc, CMurelAdjNodeDescOrder>;

// Full entry name rule: at least two dot-separated pieces, none empty after trimming, the first
// exactly "E2P".
bool isFullEntryName(const CVXString& name);

// Non-empty, even length, only hexadecimal digits.
bool isHexByteString(const CVXString& text);
