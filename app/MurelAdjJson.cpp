#include "app/MurelAdjJson.h"

#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjBlockFile.h"
#include "app/MurelAdjEntryPrint.h"
#include "app/MurelAdjPageAccess.h"
#include "app/MurelAdjTypes.h"
#include "foundation/VXAssert.h"
#include "meta/MurelMetaDescription.h"

#include <cstring>

namespace {

constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

// Length of the well-formed UTF-8 sequence (RFC 3629) at text, or 0 when none starts there.
uint32_t wellFormedLength(const uint8_t* text, uint32_t available) {
    const uint8_t lead = text[0];
    uint32_t length = 0;
    uint8_t low = 0x80;  // bounds of the second byte, which exclude overlong forms, surrogates
    uint8_t high = 0xBF; // and code points above U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 0 || length > available || text[1] < low || text[1] > high) {
        return 0;
    }
    for (uint32_t i = 2; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

} // namespace

void CMurelAdjJsonWriter::beginObject() {
    separate();
    put('{');
    m_commaDue = false;
}

void CMurelAdjJsonWriter::endObject() {
    put('}');
    m_commaDue = true;
}

void CMurelAdjJsonWriter::beginArray() {
    separate();
    put('[');
    m_commaDue = false;
}

void CMurelAdjJsonWriter::endArray() {
    put(']');
    m_commaDue = true;
}

void CMurelAdjJsonWriter::key(const char* name) {
    string(name);
    put(':');
    m_commaDue = false;
}

void CMurelAdjJsonWriter::string(const char* text, uint32_t length) {
    separate();
    put('"');
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text);
    uint32_t i = 0;
    while (i < length) {
        const uint8_t c = bytes[i];
        if (c == '"' || c == '\\') {
            put('\\');
            put(static_cast<char>(c));
        } else if (c < 0x20) {
            const char escape[6] = {'\\', 'u', '0', '0', HEX_DIGITS[c >> 4], HEX_DIGITS[c & 15]};
            put(escape, sizeof(escape));
        } else if (c < 0x80) {
            put(static_cast<char>(c));
        } else {
            const uint32_t sequence = wellFormedLength(bytes + i, length - i);
            if (sequence == 0) {
                put("\\ufffd", 6);
            } else {
                put(text + i, sequence);
                i += sequence - 1;
            }
        }
        ++i;
    }
    put('"');
    m_commaDue = true;
}

void CMurelAdjJsonWriter::number(uint64_t value) {
    separate();
    putDecimal(value);
    m_commaDue = true;
}

void CMurelAdjJsonWriter::signedNumber(int64_t value) {
    separate();
    if (value < 0) {
        put('-');
        // The magnitude, also of the most negative value, in unsigned arithmetic.
        putDecimal(0 - static_cast<uint64_t>(value));
    } else {
        putDecimal(static_cast<uint64_t>(value));
    }
    m_commaDue = true;
}

void CMurelAdjJsonWriter::boolean(bool value) {
    separate();
    put(value ? "true" : "false", value ? 4 : 5);
    m_commaDue = true;
}

void CMurelAdjJsonWriter::null() {
    separate();
    put("null", 4);
    m_commaDue = true;
}

void CMurelAdjJsonWriter::hex(const uint8_t* bytes, uint32_t count) {
    separate();
    put('"');
    for (uint32_t i = 0; i < count; ++i) {
        put(HEX_DIGITS[bytes[i] >> 4]);
        put(HEX_DIGITS[bytes[i] & 15]);
    }
    put('"');
    m_commaDue = true;
}

void CMurelAdjJsonWriter::finish() {
    put('\n');
    flush();
    fflush(m_stream);
}

void CMurelAdjJsonWriter::separate() {
    if (m_commaDue) {
        put(',');
    }
}

void CMurelAdjJsonWriter::put(char c) {
    if (m_used == sizeof(m_buffer)) {
        flush();
    }
    m_buffer[m_used++] = c;
}

void CMurelAdjJsonWriter::put(const char* text, uint32_t length) {
    while (length > 0) {
        if (m_used == sizeof(m_buffer)) {
            flush();
        }
        const uint32_t room = static_cast<uint32_t>(sizeof(m_buffer)) - m_used;
        const uint32_t chunk = length < room ? length : room;
        memcpy(m_buffer + m_used, text, chunk);
        m_used += chunk;
        text += chunk;
        length -= chunk;
    }
}

void CMurelAdjJsonWriter::putDecimal(uint64_t value) {
    char digits[20]; // 18446744073709551615 has 20
    uint32_t first = sizeof(digits);
    do {
        digits[--first] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    put(digits + first, static_cast<uint32_t>(sizeof(digits)) - first);
}

void CMurelAdjJsonWriter::flush() {
    if (m_used > 0) {
        fwrite(m_buffer, 1, m_used, m_stream);
        m_used = 0;
    }
}

void writeJsonHead(CMurelAdjJsonWriter& json, const char* action, const CMurelAdjOptions& options) {
    json.key("action");
    json.string(action);
    json.key("source");
    json.beginObject();
    const CVXString* file = adjustBlockFilePath(options);
    if (file != nullptr) {
        json.key("file");
        json.string(*file);
    } else {
        json.key("page");
        json.string(settlePagePath(options.pagePath, "MUREL_PAGE", MURELADJ_DEFAULT_PAGE_PATH));
        json.key("pagelock");
        json.string(
            settlePagePath(options.pageLockPath, "MUREL_PAGELOCK", MURELADJ_DEFAULT_PAGELOCK_PATH));
    }
    json.endObject();
}

void writeJsonVersion(CMurelAdjJsonWriter& json, const uint8_t* block, const uint8_t* reference) {
    json.key("version");
    json.beginObject();
    json.key("compiled");
    json.number(NMurelMeta::COMPILED_ADJUST_VERSION);
    json.key("stored");
    json.number(block[8]);
    if (reference != nullptr) {
        json.key("reference");
        json.number(reference[8]);
    }
    json.endObject();
}

void writeJsonEntryValue(CMurelAdjJsonWriter& json, const uint8_t* data,
                         const CMurelAdjTypeInfo& type, uint32_t endianness) {
    uint8_t ordered[ADJUST_BLOCK_SIZE];
    const uint32_t count =
        data != nullptr ? entryBytesInPrintOrder(data, type, endianness, ordered) : 0;
    json.key("hex");
    json.hex(ordered, count);
    json.key("values");
    json.beginArray();
    const bool isSigned = type.typeName.startsWith("INT");
    if (type.size > 0 && type.size <= 8) {
        for (uint32_t first = 0; first + type.size <= count; first += type.size) {
            uint64_t value = 0;
            for (uint32_t j = 0; j < type.size; ++j) {
                value = (value << 8) | ordered[first + j];
            }
            const uint32_t unusedBits = 64 - 8 * type.size;
            if (isSigned) {
                // The element's top bit becomes the sign: shift it to bit 63 and back.
                json.signedNumber(static_cast<int64_t>(value << unusedBits) >> unusedBits);
            } else {
                json.number(value);
            }
        }
    }
    json.endArray();
}

void writeJsonEntry(CMurelAdjJsonWriter& json, const CVXString& name, const uint8_t* block,
                    uint32_t length, uint32_t offset, const CMurelAdjTypeInfo& type,
                    uint32_t endianness) {
    const uint64_t size = static_cast<uint64_t>(type.size) * static_cast<uint64_t>(type.count);
    const bool inside = static_cast<uint64_t>(offset) + size <= length;
    if (!inside) {
        VXAssertionFailed(__LINE__, "MurelAdjJson", "Entry outside the adjust block.");
    }
    json.beginObject();
    json.key("name");
    json.string(name);
    json.key("offset");
    json.number(offset);
    json.key("size");
    json.number(size);
    json.key("type");
    json.string(type.typeName);
    json.key("count");
    json.number(type.count);
    writeJsonEntryValue(json, inside ? block + offset : nullptr, type, endianness);
    json.endObject();
}
