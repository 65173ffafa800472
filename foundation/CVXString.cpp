#include "foundation/CVXString.h"

#include "foundation/VXAssert.h"
#include "foundation/VXOperatingSystem.h"
#include "foundation/platform/VXAtomic.h"

#include <cinttypes>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>

struct CVXString::Representation {
    volatile uint32_t references;
    uint32_t capacity;
    uint32_t byteLength;
    uint32_t charCount;
    uint8_t reserved;
    // The text starts here; a block holds capacity bytes, the terminator and two spare bytes.
    char text[3];
};

static_assert(offsetof(CVXString::Representation, text) == CVXString::TEXT_OFFSET);
static_assert(sizeof(CVXString::Representation) == CVXString::BLOCK_OVERHEAD);

// References 2: the empty representation is never written; every writer takes a block of its own.
CVXString::Representation CVXString::s_emptyRepresentation = {2, 0, 0, 0, 0, {0, 0, 0}};

static const CVXString s_emptyString;

namespace {

constexpr const char* SOURCE = "CVXString";
constexpr const char* UTF8_MESSAGE =
    "The character sequence contains a wrong coded UTF-8 sequence !";

char* textOf(CVXString::Representation* rep) {
    return reinterpret_cast<char*>(rep) + CVXString::TEXT_OFFSET;
}

bool isWhiteSpace(char byte) {
    return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

// Sequence length by its first byte; 0 for a byte that cannot start a sequence.
uint32_t sequenceLength(uint8_t lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead < 0xC0) {
        return 0;
    }
    if (lead < 0xE0) {
        return 2;
    }
    if (lead < 0xF0) {
        return 3;
    }
    if (lead < 0xF8) {
        return 4;
    }
    if (lead < 0xFC) {
        return 5;
    }
    if (lead < 0xFE) {
        return 6;
    }
    return 0;
}

struct Utf8Scan {
    uint32_t validBytes;
    uint32_t characters;
    bool complete;
};

Utf8Scan scanUtf8(const uint8_t* bytes, uint32_t count) {
    uint32_t position = 0;
    uint32_t characters = 0;
    while (position < count) {
        const uint32_t length = sequenceLength(bytes[position]);
        if (length == 0 || length > count - position) {
            break;
        }
        uint32_t following = 1;
        while (following < length && (bytes[position + following] & 0x80) != 0) {
            ++following;
        }
        if (following < length) {
            break;
        }
        position += length;
        ++characters;
    }
    return {position, characters, position == count};
}

uint32_t encodedLength(uint32_t value) {
    if (value < 0x80) {
        return 1;
    }
    if (value < 0x800) {
        return 2;
    }
    if (value < 0x10000) {
        return 3;
    }
    if (value < 0x200000) {
        return 4;
    }
    if (value < 0x4000000) {
        return 5;
    }
    return 6;
}

// Writes value (below 0x80000000) as a sequence of encodedLength(value) bytes.
char* encode(uint32_t value, char* out) {
    static constexpr uint8_t LEAD_MARK[7] = {0, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    const uint32_t length = encodedLength(value);
    for (uint32_t i = length - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80 | (value & 0x3F));
        value >>= 6;
    }
    out[0] = static_cast<char>(LEAD_MARK[length] | value);
    return out + length;
}

void reportCapacity(unsigned line, const char* operation, uint64_t capacity) {
    char message[96];
    std::snprintf(message, sizeof message, "%s: Capacity %" PRIu64 " not valid!", operation,
                  capacity);
    VXAssertionFailed(line, SOURCE, message);
}

uint32_t lengthOf(const char* text, uint32_t maxLength) {
    return static_cast<uint32_t>(strnlen(text, maxLength));
}

} // namespace

// ---- blocks and references ----

static CVXString::Representation* allocateBlock(uint32_t capacity) {
    auto* rep = static_cast<CVXString::Representation*>(
        VXMallocOrDie(static_cast<size_t>(capacity) + CVXString::BLOCK_OVERHEAD));
    rep->references = 1;
    rep->capacity = capacity;
    rep->byteLength = 0;
    rep->charCount = 0;
    rep->reserved = 0;
    char* text = textOf(rep);
    text[0] = '\0';
    text[capacity] = '\0';
    text[capacity + 1] = '\0';
    text[capacity + 2] = '\0';
    return rep;
}

void CVXString::release() {
    Representation* rep = m_rep;
    m_rep = &s_emptyRepresentation;
    if (rep == &s_emptyRepresentation) {
        return;
    }
    if (VXAtomicLoad(&rep->references) == 0) {
        VXAssertionFailed(__LINE__, SOURCE, "CVXString::release: Reference count is already 0");
        return;
    }
    const uint32_t before = VXAtomicSubValue(&rep->references, 1);
    if (before == 1) {
        VXFree(rep);
    } else if (before == 0) {
        // Lost a race with another release of a block that was already dead: leave it alone.
        VXAtomicAdd(&rep->references, 1);
        VXAssertionFailed(__LINE__, SOURCE, "CVXString::release: Reference count is already 0");
    }
}

void CVXString::adopt(Representation* block) {
    release();
    m_rep = block;
}

bool CVXString::addReference(uint64_t capacity) {
    Representation* rep = m_rep;
    if (VXAtomicLoad(&rep->references) == 1 && capacity <= rep->capacity) {
        return true;
    }
    if (capacity >= CAPACITY_LIMIT) {
        reportCapacity(__LINE__, "CVXString::addReference", capacity);
        return false;
    }
    Representation* fresh = allocateBlock(static_cast<uint32_t>(capacity));
    if (rep != &s_emptyRepresentation) {
        // Callers never ask for less than the byte length: the whole text fits.
        fresh->byteLength = rep->byteLength;
        fresh->charCount = rep->charCount;
        std::memcpy(textOf(fresh), textOf(rep), rep->byteLength + 1);
    }
    adopt(fresh);
    return true;
}

// ---- construction, copy, release ----

CVXString::CVXString(const char* text) : m_rep(&s_emptyRepresentation) {
    if (text == nullptr) {
        return;
    }
    const size_t length = std::strlen(text);
    if (length >= CAPACITY_LIMIT) {
        reportCapacity(__LINE__, "CVXString::ctor", length);
        return;
    }
    if (length > 0) {
        m_rep = allocateBlock(static_cast<uint32_t>(length));
        appendChecked(text, static_cast<uint32_t>(length));
    }
}

CVXString::CVXString(const char* text, uint32_t maxLength) : m_rep(&s_emptyRepresentation) {
    if (text == nullptr) {
        return;
    }
    const uint32_t length = lengthOf(text, maxLength);
    if (length >= CAPACITY_LIMIT) {
        reportCapacity(__LINE__, "CVXString::ctor", length);
        return;
    }
    if (length > 0) {
        m_rep = allocateBlock(length);
        appendChecked(text, length);
    }
}

CVXString::CVXString(const CVXString& other) : m_rep(other.m_rep) {
    if (m_rep != &s_emptyRepresentation) {
        VXAtomicAdd(&m_rep->references, 1);
    }
}

CVXString::CVXString(CVXString&& other) noexcept : m_rep(other.m_rep) {
    other.m_rep = &s_emptyRepresentation;
}

CVXString::~CVXString() {
    release();
}

CVXString& CVXString::operator=(const CVXString& other) {
    if (m_rep == other.m_rep) {
        return *this;
    }
    Representation* incoming = other.m_rep;
    if (incoming != &s_emptyRepresentation) {
        VXAtomicAdd(&incoming->references, 1);
    }
    adopt(incoming);
    return *this;
}

CVXString& CVXString::operator=(CVXString&& other) noexcept {
    if (this != &other) {
        adopt(other.m_rep);
        other.m_rep = &s_emptyRepresentation;
    }
    return *this;
}

CVXString CVXString::withCapacity(uint32_t capacity) {
    CVXString result;
    if (capacity >= CAPACITY_LIMIT) {
        reportCapacity(__LINE__, "CVXString::ctor", capacity);
        return result;
    }
    result.m_rep = allocateBlock(capacity);
    return result;
}

const CVXString& CVXString::empty() {
    return s_emptyString;
}

// ---- queries ----

uint32_t CVXString::byteLength() const {
    return m_rep->byteLength;
}

uint32_t CVXString::charCount() const {
    return m_rep->charCount;
}

uint32_t CVXString::capacity() const {
    return m_rep->capacity;
}

const char* CVXString::c_str() const {
    return textOf(m_rep);
}

uint32_t CVXString::referenceCount() const {
    return VXAtomicLoad(&m_rep->references);
}

CVXString::Iterator CVXString::begin() const {
    return textOf(m_rep);
}

CVXString::Iterator CVXString::end() const {
    return textOf(m_rep) + m_rep->byteLength;
}

uint32_t CVXString::decode(Iterator position) {
    if (position == nullptr) {
        return 0;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(position);
    const uint32_t length = sequenceLength(bytes[0]);
    if (length <= 1) {
        return bytes[0];
    }
    uint32_t value = bytes[0] & (0x7Fu >> length);
    // A following byte without the top bit (the terminator among them) ends the sequence early,
    // so a position inside an odd sequence never makes the decoder read past the text.
    for (uint32_t i = 1; i < length && (bytes[i] & 0x80) != 0; ++i) {
        value = (value << 6) | (bytes[i] & 0x3Fu);
    }
    return value;
}

CVXString::Iterator CVXString::advance(Iterator position, uint32_t count) {
    if (position == nullptr) {
        return position;
    }
    for (uint32_t step = 0; step < count && *position != '\0'; ++step) {
        ++position;
        while ((static_cast<uint8_t>(*position) & 0xC0) == 0x80) {
            ++position;
        }
    }
    return position;
}

uint32_t CVXString::charAt(uint32_t index) const {
    return decode(advance(begin(), index));
}

bool CVXString::operator==(const CVXString& other) const {
    if (m_rep == other.m_rep) {
        return true;
    }
    return m_rep->charCount == other.m_rep->charCount &&
           std::strcmp(textOf(m_rep), textOf(other.m_rep)) == 0;
}

bool CVXString::startsWith(const char* prefix) const {
    if (prefix == nullptr) {
        return true;
    }
    const size_t length = std::strlen(prefix);
    if (m_rep->byteLength < length) {
        return false;
    }
    return std::strncmp(textOf(m_rep), prefix, length) == 0;
}

// ---- modification ----

void CVXString::appendChecked(const char* bytes, uint32_t count) {
    const Utf8Scan scan = scanUtf8(reinterpret_cast<const uint8_t*>(bytes), count);
    if (!scan.complete) {
        VXLog(0, VX_SEVERITY_ERROR, "%s", UTF8_MESSAGE);
    }
    if (scan.validBytes == 0) {
        return;
    }
    // Bytes taken from this string's own text must outlive a new block.
    CVXString keep;
    const char* own = textOf(m_rep);
    if (std::less_equal<const char*>()(own, bytes) &&
        std::less_equal<const char*>()(bytes, own + m_rep->byteLength)) {
        keep = *this;
    }
    if (!addReference(static_cast<uint64_t>(m_rep->byteLength) + count)) {
        return;
    }
    char* text = textOf(m_rep);
    std::memcpy(text + m_rep->byteLength, bytes, scan.validBytes);
    m_rep->byteLength += scan.validBytes;
    m_rep->charCount += scan.characters;
    text[m_rep->byteLength] = '\0';
}

CVXString& CVXString::append(const char* text, uint32_t maxLength) {
    if (text == nullptr || maxLength == 0) {
        return *this;
    }
    const uint32_t length = lengthOf(text, maxLength);
    if (length > 0) {
        appendChecked(text, length);
    }
    return *this;
}

CVXString& CVXString::append(const CVXString& other) {
    if (other.m_rep->charCount == 0) {
        return *this;
    }
    const CVXString source(other); // keeps the bytes alive when other shares this block
    const uint32_t added = source.m_rep->byteLength;
    if (!addReference(static_cast<uint64_t>(m_rep->byteLength) + added)) {
        return *this;
    }
    std::memcpy(textOf(m_rep) + m_rep->byteLength, textOf(source.m_rep), added + 1);
    m_rep->byteLength += added;
    m_rep->charCount += source.m_rep->charCount;
    return *this;
}

CVXString& CVXString::trim() {
    Representation* rep = m_rep;
    const char* text = textOf(rep);
    const uint32_t length = rep->byteLength;
    uint32_t leading = 0;
    while (leading < length && isWhiteSpace(text[leading])) {
        ++leading;
    }
    uint32_t trailing = 0;
    if (leading < rep->charCount && isWhiteSpace(text[length - 1])) {
        while (trailing < length - leading && isWhiteSpace(text[length - 1 - trailing])) {
            ++trailing;
        }
    }
    const uint32_t removed = leading + trailing;
    if (removed == 0) {
        return *this;
    }
    if (rep->capacity >= CAPACITY_LIMIT) {
        reportCapacity(__LINE__, "CVXString::trim", rep->capacity);
        return *this;
    }
    const uint32_t kept = length - removed;
    if (VXAtomicLoad(&rep->references) == 1) {
        char* writable = textOf(rep);
        std::memmove(writable, writable + leading, kept);
        writable[kept] = '\0';
        rep->byteLength = kept;
        rep->charCount -= removed;
    } else {
        Representation* fresh = allocateBlock(rep->capacity - removed);
        std::memcpy(textOf(fresh), text + leading, kept);
        textOf(fresh)[kept] = '\0';
        fresh->byteLength = kept;
        fresh->charCount = rep->charCount - removed;
        adopt(fresh);
    }
    return *this;
}

CVXString CVXString::substring(Iterator position, uint32_t count) const {
    const auto first = reinterpret_cast<uintptr_t>(textOf(m_rep));
    const auto at = reinterpret_cast<uintptr_t>(position);
    if (position == nullptr || at < first || at - first >= m_rep->byteLength || count == 0 ||
        m_rep->charCount == 0) {
        return CVXString();
    }
    const Iterator stop = advance(position, count);
    return CVXString(position, static_cast<uint32_t>(stop - position));
}

void CVXString::insert(Iterator& position, const CVXString& other) {
    const auto first = reinterpret_cast<uintptr_t>(textOf(m_rep));
    const auto at = reinterpret_cast<uintptr_t>(position);
    if (position == nullptr || at < first || at - first > m_rep->byteLength) {
        return;
    }
    if (other.m_rep->byteLength == 0) {
        return;
    }
    const CVXString source(other); // keeps the bytes alive when other shares this block
    const uint32_t offset = static_cast<uint32_t>(at - first);
    const uint32_t added = source.m_rep->byteLength;
    if (!addReference(static_cast<uint64_t>(m_rep->byteLength) + added)) {
        return;
    }
    char* text = textOf(m_rep);
    std::memmove(text + offset + added, text + offset, m_rep->byteLength - offset + 1);
    std::memcpy(text + offset, textOf(source.m_rep), added);
    m_rep->byteLength += added;
    m_rep->charCount += source.m_rep->charCount;
    position = text + offset;
}

void CVXString::replace(Iterator& position, uint32_t count, const CVXString& other) {
    if (count == 0) {
        insert(position, other);
        return;
    }
    Representation* rep = m_rep;
    const auto first = reinterpret_cast<uintptr_t>(textOf(rep));
    const auto at = reinterpret_cast<uintptr_t>(position);
    if (position == nullptr || at < first || at - first > rep->byteLength) {
        return;
    }
    if (rep->capacity >= CAPACITY_LIMIT) {
        reportCapacity(__LINE__, "CVXString::replace", rep->capacity);
        return;
    }
    const CVXString source(other); // keeps the bytes alive when other shares this block
    const uint32_t offset = static_cast<uint32_t>(at - first);
    Iterator stop = position;
    uint32_t removedChars = 0;
    while (removedChars < count && *stop != '\0') {
        stop = advance(stop, 1);
        ++removedChars;
    }
    const uint32_t removedBytes = static_cast<uint32_t>(stop - position);
    const uint32_t tailBytes = rep->byteLength - offset - removedBytes;
    const uint32_t added = source.m_rep->byteLength;
    const uint64_t newLength = static_cast<uint64_t>(rep->byteLength) - removedBytes + added;
    // The count never wraps, not even for text whose odd sequences advance counts differently.
    const uint32_t keptChars = rep->charCount > removedChars ? rep->charCount - removedChars : 0;
    const uint32_t newChars = keptChars + source.m_rep->charCount;
    if (newLength >= CAPACITY_LIMIT) {
        reportCapacity(__LINE__, "CVXString::addReference", newLength);
        return;
    }
    if (VXAtomicLoad(&rep->references) == 1 && newLength <= rep->capacity) {
        char* text = textOf(rep);
        std::memmove(text + offset + added, text + offset + removedBytes, tailBytes + 1);
        std::memcpy(text + offset, textOf(source.m_rep), added);
    } else {
        Representation* fresh = allocateBlock(static_cast<uint32_t>(newLength));
        char* text = textOf(fresh);
        const char* old = textOf(rep);
        std::memcpy(text, old, offset);
        std::memcpy(text + offset, textOf(source.m_rep), added);
        std::memcpy(text + offset + added, old + offset + removedBytes, tailBytes + 1);
        adopt(fresh);
    }
    m_rep->byteLength = static_cast<uint32_t>(newLength);
    m_rep->charCount = newChars;
    position = textOf(m_rep) + offset;
}

namespace {

// Values up to the first unusable one: a zero, or (32-bit only) one with the top bit set, which is
// reported.
template <typename Unit>
uint32_t usableValues(const Unit* values, uint32_t count, uint64_t& bytes) {
    bytes = 0;
    uint32_t used = 0;
    for (; used < count; ++used) {
        const uint32_t value = values[used];
        if ((value & 0x80000000u) != 0) {
            VXAssertionFailed(__LINE__, SOURCE, "CVXString::assign: Character value not valid!");
            break;
        }
        if (value == 0) {
            break;
        }
        bytes += encodedLength(value);
    }
    return used;
}

} // namespace

template <typename Unit>
void CVXString::assignValues(const Unit* values, uint32_t count) {
    uint64_t bytes = 0;
    const uint32_t used = values == nullptr ? 0 : usableValues(values, count, bytes);
    if (used == 0) {
        *this = CVXString();
        return;
    }
    if (bytes >= CAPACITY_LIMIT) {
        reportCapacity(__LINE__, "CVXString::addReference", bytes);
        return;
    }
    Representation* rep = m_rep;
    if (VXAtomicLoad(&rep->references) != 1 || rep->capacity < bytes) {
        rep = allocateBlock(static_cast<uint32_t>(bytes));
        adopt(rep);
    }
    char* out = textOf(rep);
    for (uint32_t i = 0; i < used; ++i) {
        out = encode(values[i], out);
    }
    *out = '\0';
    rep->byteLength = static_cast<uint32_t>(bytes);
    rep->charCount = used;
}

void CVXString::assign(const uint32_t* codePoints, uint32_t count) {
    assignValues(codePoints, count);
}

void CVXString::assign(const uint16_t* units, uint32_t count) {
    assignValues(units, count);
}

bool CVXString::format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const bool fitted = formatV(format, args);
    va_end(args);
    return fitted;
}

bool CVXString::formatV(const char* format, va_list args) {
    static constexpr uint32_t FORMAT_LIMIT = 256;
    if (format == nullptr) {
        *this = CVXString();
        return true;
    }
    char buffer[FORMAT_LIMIT + 1];
    const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (written < 0) {
        *this = CVXString();
        return false;
    }
    const uint32_t kept = static_cast<uint32_t>(written) < FORMAT_LIMIT
                              ? static_cast<uint32_t>(written)
                              : FORMAT_LIMIT;
    *this = CVXString(buffer, kept);
    return static_cast<uint32_t>(written) <= FORMAT_LIMIT;
}

// ---- helpers ----

void splitString(const CVXString& text, const CVXString& separators, bool skipEmpty,
                 TVXVector<CVXString>& out) {
    // Copies keep both inputs alive when they are elements of out.
    const CVXString source(text);
    const CVXString separatorText(separators);
    out.clear();

    auto isSeparator = [&separatorText](uint32_t code) {
        for (CVXString::Iterator at = separatorText.begin(); *at != '\0';
             at = CVXString::advance(at, 1)) {
            if (CVXString::decode(at) == code) {
                return true;
            }
        }
        return false;
    };
    auto store = [&](CVXString::Iterator start, CVXString::Iterator stop) {
        if (start == stop) {
            if (!skipEmpty) {
                out.append(CVXString());
            }
            return;
        }
        out.append(CVXString(start, static_cast<uint32_t>(stop - start)));
    };

    CVXString::Iterator pieceStart = source.begin();
    CVXString::Iterator at = pieceStart;
    while (*at != '\0') {
        const CVXString::Iterator next = CVXString::advance(at, 1);
        if (isSeparator(CVXString::decode(at))) {
            store(pieceStart, at);
            pieceStart = next;
        }
        at = next;
    }
    store(pieceStart, at);
}

bool hasEmptyPiece(TVXVector<CVXString>& pieces) {
    for (CVXString& piece : pieces) {
        if (piece.trim().isEmpty()) {
            return true;
        }
    }
    return false;
}
