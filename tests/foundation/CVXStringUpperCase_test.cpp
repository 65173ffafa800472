// The generated upper-case tables and the in-place conversion built on them.
#include "foundation/CVXString.h"
#include "foundation/VXUnicodeCaseTables.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Units = std::u16string;

Units mapping(uint32_t character) {
    uint16_t units[VX_UPPER_CASE_MAX_UNITS] = {};
    return Units(units, units + VXUpperCaseMapping(character, units));
}

// Where a table is not strictly ordered, the lookup's binary search misses rows.
template <typename Table, typename Key>
bool strictlyOrdered(const Table& table, Key key) {
    return std::adjacent_find(std::begin(table), std::end(table),
                              [key](const auto& a, const auto& b) { return key(b) <= key(a); }) ==
           std::end(table);
}

TEST(VXUnicodeCaseTables, OrderedAndEveryRowFoundByTheLookup) {
    EXPECT_TRUE(strictlyOrdered(VX_UPPER_CASE_SINGLES, [](auto& row) { return row.character; }));
    EXPECT_TRUE(strictlyOrdered(VX_UPPER_CASE_EXPANSIONS, [](auto& row) { return row.character; }));
    // Ranges do not overlap: each starts behind the end of the one before.
    for (size_t i = 1; i < std::size(VX_UPPER_CASE_RANGES); ++i) {
        const VXUpperCaseRange& before = VX_UPPER_CASE_RANGES[i - 1];
        EXPECT_LE(before.first + before.length, VX_UPPER_CASE_RANGES[i].first);
    }
    // No row is hidden by another table.
    for (const VXUpperCaseSingle& row : VX_UPPER_CASE_SINGLES) {
        EXPECT_EQ(mapping(row.character), Units(1, row.upper));
    }
    for (const VXUpperCaseRange& row : VX_UPPER_CASE_RANGES) {
        for (uint32_t k = 0; k < row.length; ++k) {
            EXPECT_EQ(mapping(row.first + k), Units(1, static_cast<char16_t>(row.firstUpper + k)));
        }
    }
    for (const VXUpperCaseExpansion& row : VX_UPPER_CASE_EXPANSIONS) {
        EXPECT_LE(row.count, VX_UPPER_CASE_MAX_UNITS);
        EXPECT_EQ(mapping(row.character), Units(row.units, row.units + row.count));
    }
}

TEST(CVXStringUpperCase, ConvertsInPlaceWithCountsFollowingTheReplacements) {
    const struct {
        const char* text;
        const char* upper;
        uint32_t characters;
    } rows[] = {
        {"az\u00DF\u00FF\u03B1\u03B2\u03C2", "AZSS\u0178\u0391\u0392\u03A3", 8},
        {"\u0390\u1F80\uFB03", "\u0399\u0308\u0301\u1F08\u0399FFI", 8}, // expansions
        {"0a1b2c3d4e5f\uFF41", "0A1B2C3D4E5F\uFF21", 13},
        {"\u0131", "I", 1},              // two bytes become one
        {"\U00010428", "\U00010428", 1}, // no table covers other planes
        {"", "", 0},
    };
    for (const auto& row : rows) {
        const CVXString original(row.text);
        CVXString s(original);
        toUpperCase(s);
        EXPECT_STREQ(s.c_str(), row.upper);
        EXPECT_EQ(s.byteLength(), std::string(row.upper).size());
        EXPECT_EQ(s.charCount(), row.characters);
        EXPECT_STREQ(original.c_str(), row.text); // a shared copy keeps its text
    }
    // Without a mapping: a capital, the neighbours of the letter ranges, the multiplication and
    // division signs and the last BMP character.
    for (const uint32_t character : {0x41u, 0x60u, 0x7Bu, 0xD7u, 0xF7u, 0xFFFFu}) {
        EXPECT_EQ(mapping(character), Units()) << std::hex << character;
    }
}

} // namespace
