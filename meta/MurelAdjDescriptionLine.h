// The rules for one line of a description file ("E2P structure description").
//
// A trimmed line that begins with "Address" is a header and one that begins with "#" a comment;
// every other line is a data line of at least eight columns separated by spaces and tabs:
//   address (8 hex digits, 12..2035)  group  entry  type  count  value  value2  value3
// The entry (type size x count bytes from address) must end within the 2036-byte block, group "."
// entry must be a full entry name, and the three values hexadecimal byte strings of 2 x size x
// count digits each. Columns after the eighth are ignored.
#pragma once

#include "foundation/CVXString.h"
#include "meta/MurelAdjDescription.h"

#include <cstdint>

enum EMurelAdjDescriptionLine : uint32_t {
    MURELADJ_LINE_HEADER = 0,
    MURELADJ_LINE_COMMENT = 1,
    MURELADJ_LINE_DATA = 2,
};

EMurelAdjDescriptionLine classifyDescriptionLine(const CVXString& trimmedLine);

// Checks a trimmed data line and fills node; false when a rule fails.
bool parseDescriptionDataLine(const CVXString& trimmedLine, CMurelAdjNodeDesc& node);

// The same rules on the bytes of a trimmed line that is plain ASCII (no zero byte, no byte from
// 0x80 on), without making strings of the columns; the parser's way for ordinary lines.
bool parseAsciiDescriptionDataLine(const char* line, uint32_t length, CMurelAdjNodeDesc& node);

// The same rules through CVXString's split, trim and upper-case operations; the way for lines with
// other characters (a multi-byte sequence may decode to a separator there).
bool parseTextDescriptionDataLine(const CVXString& trimmedLine, CMurelAdjNodeDesc& node);

// The element count of column 5 as strtoul reads it with base 10 where unsigned long has 32 bits:
// leading white space and a sign allowed, reading stops at the first non-digit, no digit gives 0,
// a value above 0xFFFFFFFF gives 0xFFFFFFFF, a minus sign negates modulo 2^32.
uint32_t parseDescriptionCount(const char* text, uint32_t length);

// True when the bytes hold no zero byte and nothing from 0x80 on.
bool isPlainAsciiText(const char* text, uint32_t length);

// White space as CVXString::trim sees it: tab, line feed, vertical tab, form feed, carriage
// return, space.
inline bool isDescriptionSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
