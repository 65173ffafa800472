// The generated upper-case tables and the in-place conversion built on them.
#include "foundation/CVXString.h"
#include "foundation/VXUnicodeCaseTables.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint16_t> mapping(uint32_t character) {
    uint16_t units[VX_UPPER_CASE_MAX_UNITS] = {};
    const uint32_t count = VXUpperCaseMapping(character, units);
    return std::vector<uint16_t>(units, units + count);
}

std::string upper(const char* text) {
    CVXString s(text);
    toUpperCase(s);
    return s.c_str();
}

} // namespace

TEST(VXUnicodeCaseTables, SortedAndDisjointForBinarySearch) {
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
    for (const VXUpperCaseExpansion& row : VX_UPPER_CASE_EXPANSIONS) {
        EXPECT_GE(row.count, 2u);
        EXPECT_LE(row.count, VX_UPPER_CASE_MAX_UNITS);
    }
    // Every row is found again through the lookup (no row hidden by another table).
    for (const VXUpperCaseSingle& row : VX_UPPER_CASE_SINGLES) {
        EXPECT_EQ(mapping(row.character), std::vector<uint16_t>{row.upper});
    }
    for (const VXUpperCaseRange& row : VX_UPPER_CASE_RANGES) {
        EXPECT_GE(row.length, 2u);
        for (uint32_t k = 0; k < row.length; ++k) {
            EXPECT_EQ(mapping(row.first + k), std::vector<uint16_t>{uint16_t(row.firstUpper + k)});
        }
    }
    for (const VXUpperCaseExpansion& row : VX_UPPER_CASE_EXPANSIONS) {
        EXPECT_EQ(mapping(row.character), std::vector<uint16_t>(row.units, row.units + row.count));
    }
}

TEST(VXUnicodeCaseTables, KnownMappings) {
    EXPECT_EQ(mapping('a'), std::vector<uint16_t>{'A'});
    EXPECT_EQ(mapping('z'), std::vector<uint16_t>{'Z'});
    EXPECT_EQ(mapping(0xDF), (std::vector<uint16_t>{'S', 'S'})); // sharp s
    EXPECT_EQ(mapping(0xFF), std::vector<uint16_t>{0x0178});     // y with diaeresis
    EXPECT_EQ(mapping(0x3B1), std::vector<uint16_t>{0x391});     // Greek alpha
    EXPECT_EQ(mapping(0x3C2), std::vector<uint16_t>{0x3A3});     // final sigma
    EXPECT_EQ(mapping(0x390), (std::vector<uint16_t>{0x399, 0x308, 0x301}));
    EXPECT_EQ(mapping(0x1F80), (std::vector<uint16_t>{0x1F08, 0x399}));
    EXPECT_EQ(mapping(0x430), std::vector<uint16_t>{0x410});       // Cyrillic a
    EXPECT_EQ(mapping(0x44F), std::vector<uint16_t>{0x42F});       // Cyrillic ya
    EXPECT_EQ(mapping(0x451), std::vector<uint16_t>{0x401});       // Cyrillic yo
    EXPECT_EQ(mapping(0xFB00), (std::vector<uint16_t>{'F', 'F'})); // ligature ff
    EXPECT_EQ(mapping(0xFB03), (std::vector<uint16_t>{'F', 'F', 'I'}));
    EXPECT_EQ(mapping(0x101), std::vector<uint16_t>{0x100});
    EXPECT_EQ(mapping(0x131), std::vector<uint16_t>{'I'});     // dotless i
    EXPECT_EQ(mapping(0xFF41), std::vector<uint16_t>{0xFF21}); // fullwidth a
}

TEST(VXUnicodeCaseTables, CharactersWithoutMapping) {
    EXPECT_TRUE(mapping('A').empty());
    EXPECT_TRUE(mapping('0').empty());
    EXPECT_TRUE(mapping('`').empty());
    EXPECT_TRUE(mapping('{').empty());
    EXPECT_TRUE(mapping(0xD7).empty());   // multiplication sign between the Latin-1 letters
    EXPECT_TRUE(mapping(0xF7).empty());   // division sign
    EXPECT_TRUE(mapping(0x4E2D).empty()); // CJK
    EXPECT_TRUE(mapping(0xFFFF).empty());
    EXPECT_TRUE(mapping(0x10428).empty()); // has a mapping, but no table covers that plane
}

TEST(CVXStringUpperCase, SharpSBecomesTwoCapitalS) {
    CVXString s("\xC3\x9F");
    toUpperCase(s);
    EXPECT_STREQ(s.c_str(), "SS");
    EXPECT_EQ(s.charCount(), 2u);
    EXPECT_EQ(s.byteLength(), 2u);
}

TEST(CVXStringUpperCase, MixedText) {
    EXPECT_EQ(upper("0a1b2c3d4e5f"), "0A1B2C3D4E5F");
    EXPECT_EQ(upper("stra\xC3\x9F"
                    "e"),
              "STRASSE");
    EXPECT_EQ(upper("\xEF\xAC\x80x"), "FFX");                                 // U+FB00 x
    EXPECT_EQ(upper("\xCE\xB1\xCE\xB2\xCF\x82"), "\xCE\x91\xCE\x92\xCE\xA3"); // alpha beta sigma
    EXPECT_EQ(upper("\xD0\xB0\xD1\x8F"), "\xD0\x90\xD0\xAF");                 // Cyrillic a ya
    EXPECT_EQ(upper("\xC4\xB1"), "I");                        // two bytes become one
    EXPECT_EQ(upper("\xF0\x90\x90\xA8"), "\xF0\x90\x90\xA8"); // U+10428 stays
    EXPECT_EQ(upper(""), "");
}

TEST(CVXStringUpperCase, CountsFollowTheReplacements) {
    CVXString s("\xC3\x9F\xC3\x9F-\xEF\xAC\x83");
    toUpperCase(s);
    EXPECT_STREQ(s.c_str(), "SSSS-FFI");
    EXPECT_EQ(s.charCount(), 8u);
    EXPECT_EQ(s.byteLength(), 8u);
}

TEST(CVXStringUpperCase, SharedCopyKeepsItsText) {
    const CVXString original("abc");
    CVXString copy(original);
    toUpperCase(copy);
    EXPECT_STREQ(copy.c_str(), "ABC");
    EXPECT_STREQ(original.c_str(), "abc");
}
