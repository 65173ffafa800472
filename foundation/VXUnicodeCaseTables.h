// Upper-case mapping tables of the Basic Multilingual Plane and their lookup.
//
// The rows come from tools/unicode/gen_case_tables.py (VXUnicodeCaseTables.inc); each table is
// sorted by its first column for binary search, and a character appears in at most one table.
// Characters from 0x10000 up have no tables: they keep their case.
#pragma once

#include <cstdint>

// Most 16-bit units a character's upper-case text has.
constexpr uint32_t VX_UPPER_CASE_MAX_UNITS = 3;

struct VXUpperCaseSingle {
    uint16_t character;
    uint16_t upper;
};

// Characters first .. first + length - 1 map onto firstUpper + (character - first).
struct VXUpperCaseRange {
    uint16_t first;
    uint16_t length;
    uint16_t firstUpper;
};

struct VXUpperCaseExpansion {
    uint16_t character;
    uint16_t count;
    uint16_t units[VX_UPPER_CASE_MAX_UNITS];
};

#include "foundation/VXUnicodeCaseTables.inc"

// Writes the upper-case text of character to units and returns the number of units; 0 when the
// character has no upper-case mapping (it stays as it is).
uint32_t VXUpperCaseMapping(uint32_t character, uint16_t (&units)[VX_UPPER_CASE_MAX_UNITS]);
