#include "meta/MurelAdjDescriptionLine.h"

#include "foundation/TVXVector.h"
#include "foundation/VXOperatingSystem.h"
#include "meta/MurelMeta.h"

#include <cstring>

namespace {

// Bytes of the adjust block; an entry must end within them.
constexpr uint64_t BLOCK_SIZE = 2036;
// Bytes 0 to 11 (CRC, version, ...) never belong to an entry.
constexpr uint32_t FIRST_ENTRY_ADDRESS = 12;
constexpr uint32_t LAST_ENTRY_ADDRESS = 2035;
constexpr uint32_t ADDRESS_DIGITS = 8;
constexpr uint32_t MIN_COLUMNS = 8;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

uint32_t hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<uint32_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint32_t>(c - 'A' + 10);
    }
    return static_cast<uint32_t>(c - 'a' + 10);
}

// Column 1: exactly eight hexadecimal digits, 12 to 2035.
bool parseAddress(const char* text, uint32_t length, uint32_t& address) {
    if (length != ADDRESS_DIGITS) {
        return false;
    }
    uint32_t value = 0;
    for (uint32_t index = 0; index < ADDRESS_DIGITS; ++index) {
        if (!isHexDigit(text[index])) {
            return false;
        }
        value = value * 16 + hexDigitValue(text[index]);
    }
    address = value;
    return value >= FIRST_ENTRY_ADDRESS && value <= LAST_ENTRY_ADDRESS;
}

// The entry must end within the block; 64-bit arithmetic, so no product can wrap.
bool fitsBlock(uint32_t address, const CMurelAdjTypeInfo& type) {
    return address + static_cast<uint64_t>(type.size) * type.count <= BLOCK_SIZE;
}

uint64_t valueDigits(const CMurelAdjTypeInfo& type) {
    return 2 * static_cast<uint64_t>(type.size) * type.count;
}

struct CSpan {
    const char* data;
    uint32_t length;
};

CSpan trimmed(CSpan span) {
    while (span.length > 0 && isDescriptionSpace(span.data[0])) {
        ++span.data;
        --span.length;
    }
    while (span.length > 0 && isDescriptionSpace(span.data[span.length - 1])) {
        --span.length;
    }
    return span;
}

bool isHexSpan(CSpan span) {
    if (span.length == 0 || span.length % 2 != 0) {
        return false;
    }
    for (uint32_t index = 0; index < span.length; ++index) {
        if (!isHexDigit(span.data[index])) {
            return false;
        }
    }
    return true;
}

// The full entry name rule on plain ASCII: pieces between dots, none empty after trimming, at
// least two, the first exactly "E2P".
bool isAsciiFullEntryName(CSpan name) {
    uint32_t pieces = 0;
    uint32_t start = 0;
    bool firstIsE2P = false;
    for (uint32_t position = 0; position <= name.length; ++position) {
        if (position < name.length && name.data[position] != '.') {
            continue;
        }
        const CSpan piece = trimmed(CSpan{name.data + start, position - start});
        if (piece.length == 0) {
            return false;
        }
        if (pieces == 0) {
            firstIsE2P = piece.length == 3 && memcmp(piece.data, "E2P", 3) == 0;
        }
        ++pieces;
        start = position + 1;
    }
    return pieces >= 2 && firstIsE2P;
}

CVXString trimmedCopy(const CVXString& text) {
    CVXString copy(text);
    copy.trim();
    return copy;
}

} // namespace

bool isPlainAsciiText(const char* text, uint32_t length) {
    // Eight bytes at a time: no byte with its top bit set, and no zero byte.
    constexpr uint64_t ONES = 0x0101010101010101ull;
    constexpr uint64_t HIGHS = 0x8080808080808080ull;
    uint32_t index = 0;
    for (; index + 8 <= length; index += 8) {
        uint64_t word = 0;
        memcpy(&word, text + index, sizeof(word));
        if ((word & HIGHS) != 0 || ((word - ONES) & ~word & HIGHS) != 0) {
            return false;
        }
    }
    for (; index < length; ++index) {
        const unsigned char c = static_cast<unsigned char>(text[index]);
        if (c == 0 || c >= 0x80) {
            return false;
        }
    }
    return true;
}

EMurelAdjDescriptionLine classifyDescriptionLine(const CVXString& trimmedLine) {
    if (trimmedLine.startsWith("Address")) {
        return MURELADJ_LINE_HEADER;
    }
    if (trimmedLine.startsWith("#")) {
        return MURELADJ_LINE_COMMENT;
    }
    return MURELADJ_LINE_DATA;
}

uint32_t parseDescriptionCount(const char* text, uint32_t length) {
    uint32_t position = 0;
    while (position < length && isDescriptionSpace(text[position])) {
        ++position;
    }
    bool negative = false;
    if (position < length && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    uint64_t value = 0;
    bool overflow = false;
    while (position < length && text[position] >= '0' && text[position] <= '9') {
        value = value * 10 + static_cast<uint64_t>(text[position] - '0');
        if (value > 0xFFFFFFFFull) {
            overflow = true;
            value = 0xFFFFFFFFull;
        }
        ++position;
    }
    if (overflow) {
        return 0xFFFFFFFFu;
    }
    const uint32_t result = static_cast<uint32_t>(value);
    return negative ? 0u - result : result;
}

bool parseDescriptionDataLine(const CVXString& trimmedLine, CMurelAdjNodeDesc& node) {
    if (isPlainAsciiText(trimmedLine.c_str(), trimmedLine.byteLength())) {
        return parseAsciiDescriptionDataLine(trimmedLine.c_str(), trimmedLine.byteLength(), node);
    }
    return parseTextDescriptionDataLine(trimmedLine, node);
}

bool parseAsciiDescriptionDataLine(const char* line, uint32_t length, CMurelAdjNodeDesc& node) {
    CSpan columns[MIN_COLUMNS];
    uint32_t count = 0;
    uint32_t position = 0;
    while (count < MIN_COLUMNS) {
        while (position < length && (line[position] == ' ' || line[position] == '\t')) {
            ++position;
        }
        if (position == length) {
            break;
        }
        const uint32_t start = position;
        while (position < length && line[position] != ' ' && line[position] != '\t') {
            ++position;
        }
        columns[count++] = CSpan{line + start, position - start};
    }
    if (count < MIN_COLUMNS) {
        return false;
    }

    const CSpan addressText = trimmed(columns[0]);
    uint32_t address = 0;
    if (!parseAddress(addressText.data, addressText.length, address)) {
        return false;
    }

    // Column 2 trimmed, a dot and column 3, trimmed as a whole.
    const CSpan group = trimmed(columns[1]);
    const uint32_t joinedLength = group.length + 1 + columns[2].length;
    char localName[256];
    char* const joined = joinedLength <= sizeof(localName)
                             ? localName
                             : static_cast<char*>(VXMallocOrDie(joinedLength));
    memcpy(joined, group.data, group.length);
    joined[group.length] = '.';
    memcpy(joined + group.length + 1, columns[2].data, columns[2].length);
    const CSpan nameSpan = trimmed(CSpan{joined, joinedLength});
    const bool validName = isAsciiFullEntryName(nameSpan);
    CVXString name;
    if (validName) {
        name = CVXString(nameSpan.data, nameSpan.length);
    }
    if (joined != localName) {
        VXFree(joined);
    }
    if (!validName) {
        return false;
    }

    const CSpan typeSpan = trimmed(columns[3]);
    const CVXString typeName(typeSpan.data, typeSpan.length);
    CMurelAdjTypeInfo type;
    if (!NMurelMeta::findDataTypeByName(typeName, &type)) {
        return false;
    }
    type.typeName = typeName;
    const CSpan countText = trimmed(columns[4]);
    type.count = parseDescriptionCount(countText.data, countText.length);
    if (!fitsBlock(address, type)) {
        return false;
    }

    const CSpan value = trimmed(columns[5]);
    if (!isHexSpan(value) || value.length != valueDigits(type)) {
        return false;
    }
    for (uint32_t column = 6; column < MIN_COLUMNS; ++column) {
        const CSpan other = trimmed(columns[column]);
        if (!isHexSpan(other) || other.length != value.length) {
            return false;
        }
    }
    // Hexadecimal digits only, whose upper-case mapping is the ASCII one.
    CVXString upper = CVXString::withCapacity(value.length);
    char digits[64];
    for (uint32_t done = 0; done < value.length;) {
        const uint32_t chunk =
            value.length - done < sizeof(digits) ? value.length - done : sizeof(digits);
        for (uint32_t index = 0; index < chunk; ++index) {
            const char c = value.data[done + index];
            digits[index] = (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
        }
        upper.append(digits, chunk);
        done += chunk;
    }

    node.name = name;
    node.value = upper;
    node.address = address;
    node.type = type;
    return true;
}

bool parseTextDescriptionDataLine(const CVXString& trimmedLine, CMurelAdjNodeDesc& node) {
    TVXVector<CVXString> columns;
    splitString(trimmedLine, CVXString(" \t"), true, columns);
    if (columns.size() < static_cast<int32_t>(MIN_COLUMNS)) {
        return false;
    }

    const CVXString addressText = trimmedCopy(columns[0]);
    uint32_t address = 0;
    if (!parseAddress(addressText.c_str(), addressText.byteLength(), address)) {
        return false;
    }

    CVXString name = trimmedCopy(columns[1]);
    name.append(".");
    name.append(columns[2]);
    name.trim();
    if (!isFullEntryName(name)) {
        return false;
    }

    const CVXString typeName = trimmedCopy(columns[3]);
    CMurelAdjTypeInfo type;
    if (!NMurelMeta::findDataTypeByName(typeName, &type)) {
        return false;
    }
    type.typeName = typeName;
    const CVXString countText = trimmedCopy(columns[4]);
    type.count = parseDescriptionCount(countText.c_str(), countText.byteLength());
    if (!fitsBlock(address, type)) {
        return false;
    }

    CVXString value = trimmedCopy(columns[5]);
    if (!isHexByteString(value) || value.byteLength() != valueDigits(type)) {
        return false;
    }
    for (int32_t column = 6; column < static_cast<int32_t>(MIN_COLUMNS); ++column) {
        const CVXString other = trimmedCopy(columns[column]);
        if (!isHexByteString(other) || other.byteLength() != value.byteLength()) {
            return false;
        }
    }
    toUpperCase(value);

    node.name = name;
    node.value = value;
    node.address = address;
    node.type = type;
    return true;
}
