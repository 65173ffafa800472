// The generated upper-case tables and the in-place conversion built on them.
#include "foundation/CVXString.h"
#include "foundation/VXUnicodeCaseTables.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

using Units = std::vector<uint16_t>;

Units mapping(uint32_t character) {
    uint16_t units[VX_UPPER_CASE_MAX_UNITS] = {};
    const uint32_t count = VXUpperCaseMapping(character, units);
    return Units(units, units + count);
}

TEST(VXUnicodeCaseTables, SortedAndEveryRowFoundByTheLookup) {
    for (size_t i = 1; i < std::size(VX_UPPER_CASE_SINGLES); ++i) {
        EXPECT_LT(VX_UPPER_CASE_SINGLES[i - 1].character, VX_UPPER_CASE_SINGLES[i].character);
    }
    for (size_t i = 1; i < std::size(VX_UPPER_CASE_RANGES); ++i) {
        const VXUpperCaseRange& before = VX_UPPER_CASE_RANGES[i - 1];
        EXPECT_LE(before.first + before.length, VX_UPPER_CASE_RANGES[i].first);
    }
    for (size_t i = 1; i < std::size(VX_UPPER_CASE_EXPANSIONS); ++i) {
        EXPECT_LT(VX_UPPER_CASE_EXPANSIONS[i - 1].character, VX_UPPER_CASE_EXPANSIONS[i].character);
    }
    // No row is hidden by another table.
    for (const VXUpperCaseSingle& row : VX_UPPER_CASE_SINGLES) {
        EXPECT_EQ(mapping(row.character), Units{row.upper});
    }
    for (const VXUpperCaseRange& row : VX_UPPER_CASE_RANGES) {
        EXPECT_GE(row.length, 2u);
        for (uint32_t k = 0; k < row.length; ++k) {
            EXPECT_EQ(mapping(row.first + k), Units{uint16_t(row.firstUpper + k)});
        }
    }
    for (const VXUpperCaseExpansion& row : VX_UPPER_CASE_EXPANSIONS) {
        EXPECT_GE(row.count, 2u);
        EXPECT_LE(row.count, VX_UPPER_CASE_MAX_UNITS);
        EXPECT_EQ(mapping(row.character), Units(row.units, row.units + row.count));
    }
}

TEST(VXUnicodeCaseTables, KnownMappingsAndCharactersWithoutOne) {
    const struct {
        uint32_t character;
        Units upper;
    } rows[] = {
        {'a', {'A'}},
        {'z', {'Z'}},
        {0xDF, {'S', 'S'}}, // sharp s
        {0xFF, {0x178}},    // y with diaeresis
        {0x3C2, {0x3A3}},   // final sigma
        {0x390, {0x399, 0x308, 0x301}},
        {0x1F80, {0x1F08, 0x399}},
        {0x44F, {0x42F}}, // Cyrillic ya
        {0xFB03, {'F', 'F', 'I'}},
        {0x131, {'I'}},     // dotless i
        {0xFF41, {0xFF21}}, // fullwidth a
        // No mapping: a capital, the neighbours of the letter ranges, the multiplication and
        // division signs, the last BMP character, and a character of a plane no table covers.
        {'A', {}},
        {'`', {}},
        {'{', {}},
        {0xD7, {}},
        {0xF7, {}},
        {0xFFFF, {}},
        {0x10428, {}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(mapping(row.character), row.upper) << std::hex << row.character;
    }
}

TEST(CVXStringUpperCase, ConvertsInPlaceWithCountsFollowingTheReplacements) {
    const struct {
        const char* text;
        const char* upper;
        uint32_t characters;
    } rows[] = {
        {"\xC3\x9F", "SS", 2},
        {"\xC3\x9F\xC3\x9F-\xEF\xAC\x83", "SSSS-FFI", 8},
        {"0a1b2c3d4e5f", "0A1B2C3D4E5F", 12},
        {"stra\xC3\x9F"
         "e",
         "STRASSE", 7},
        {"\xEF\xAC\x80x", "FFX", 3},                                 // U+FB00 x
        {"\xCE\xB1\xCE\xB2\xCF\x82", "\xCE\x91\xCE\x92\xCE\xA3", 3}, // alpha beta final sigma
        {"\xD0\xB0\xD1\x8F", "\xD0\x90\xD0\xAF", 2},                 // Cyrillic a ya
        {"\xC4\xB1", "I", 1},                                        // two bytes become one
        {"\xF0\x90\x90\xA8", "\xF0\x90\x90\xA8", 1},                 // U+10428 stays
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
}

} // namespace
