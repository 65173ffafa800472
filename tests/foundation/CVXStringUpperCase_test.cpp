// The generated upper-case tables and the in-place conversion built on them.
#include "foundation/CVXString.h"
#include "foundation/VXUnicodeCaseTables.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

using Units = std::u16string;

Units mapping(uint32_t character) {
    uint16_t units[VX_UPPER_CASE_MAX_UNITS] = {};
    return Units(units, units + VXUpperCaseMapping(character, units));
}

// The lookup searches the tables by halves: a row out of order, or hidden by an overlapping one, is
// not found.
TEST(VXUnicodeCaseTables, EveryRowIsFoundByTheLookup) {
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
    const std::tuple<const char*, const char*, uint32_t> rows[] = {
        {"az\u00DF\u00FF\u03B1\u03B2\u03C2", "AZSS\u0178\u0391\u0392\u03A3", 8},
        {"\u0390\u1F80\uFB03", "\u0399\u0308\u0301\u1F08\u0399FFI", 8}, // expansions
        {"0a1b2c3d4e5f\uFF41", "0A1B2C3D4E5F\uFF21", 13},
        {"\u0131", "I", 1},              // two bytes become one
        {"\U00010428", "\U00010428", 1}, // no table covers other planes
        {"", "", 0},
    };
    for (const auto& [text, upper, characters] : rows) {
        const CVXString original(text);
        CVXString s(original);
        toUpperCase(s);
        EXPECT_STREQ(s.c_str(), upper);
        EXPECT_EQ(s.byteLength(), std::string(upper).size());
        EXPECT_EQ(s.charCount(), characters);
        EXPECT_STREQ(original.c_str(), text); // a shared copy keeps its text
    }
    // Without a mapping: a capital, the neighbours of the letter ranges, the multiplication and
    // division signs and the last BMP character.
    for (const uint32_t character : {0x41u, 0x60u, 0x7Bu, 0xD7u, 0xF7u, 0xFFFFu}) {
        EXPECT_EQ(mapping(character), Units()) << std::hex << character;
    }
}

} // namespace
