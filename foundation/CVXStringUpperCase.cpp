// Upper-case conversion of CVXString text by the generated mapping tables.
#include "foundation/CVXString.h"
#include "foundation/VXUnicodeCaseTables.h"

#include <algorithm>
#include <iterator>

uint32_t VXUpperCaseMapping(uint32_t character, uint16_t (&units)[VX_UPPER_CASE_MAX_UNITS]) {
    if (character >= 0x10000) {
        return 0; // the supplementary planes have no tables
    }
    const auto code = static_cast<uint16_t>(character);

    const auto* single = std::lower_bound(
        std::begin(VX_UPPER_CASE_SINGLES), std::end(VX_UPPER_CASE_SINGLES), code,
        [](const VXUpperCaseSingle& row, uint16_t key) { return row.character < key; });
    if (single != std::end(VX_UPPER_CASE_SINGLES) && single->character == code) {
        units[0] = single->upper;
        return 1;
    }

    // The last range starting at or before the character.
    const auto* range =
        std::upper_bound(std::begin(VX_UPPER_CASE_RANGES), std::end(VX_UPPER_CASE_RANGES), code,
                         [](uint16_t key, const VXUpperCaseRange& row) { return key < row.first; });
    if (range != std::begin(VX_UPPER_CASE_RANGES)) {
        --range;
        if (code - range->first < range->length) {
            units[0] = static_cast<uint16_t>(range->firstUpper + (code - range->first));
            return 1;
        }
    }

    const auto* expansion = std::lower_bound(
        std::begin(VX_UPPER_CASE_EXPANSIONS), std::end(VX_UPPER_CASE_EXPANSIONS), code,
        [](const VXUpperCaseExpansion& row, uint16_t key) { return row.character < key; });
    if (expansion != std::end(VX_UPPER_CASE_EXPANSIONS) && expansion->character == code) {
        std::copy_n(expansion->units, expansion->count, units);
        return expansion->count;
    }
    return 0;
}

void toUpperCase(CVXString& text) {
    // From the last character to the first: a replacement never moves what is still to be visited.
    CVXString upper; // its block is reused from one replacement to the next
    CVXString::Iterator position = text.end();
    while (position != text.begin()) {
        do {
            --position;
        } while (position != text.begin() && (static_cast<uint8_t>(*position) & 0xC0) == 0x80);
        uint16_t units[VX_UPPER_CASE_MAX_UNITS];
        const uint32_t count = VXUpperCaseMapping(CVXString::decode(position), units);
        if (count != 0) {
            upper.assign(units, count);
            text.replace(position, 1, upper);
        }
    }
}
