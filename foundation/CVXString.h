// CVXString: reference-counted, copy-on-write UTF-8 text.
//
// A string is one pointer to a shared block: references, capacity, byteLength and charCount (32
// bits each), a reserved zero byte, then the text with its terminating zero byte (the text starts
// 17 bytes into the block). A block shared by two or more strings is never written; a writer first
// takes a private copy sized exactly to what it needs. Text entering from bytes is checked as UTF-8
// (lead bytes of sequences of up to six bytes); at the first ill-formed sequence only the valid
// prefix is kept and the process log gets one error line.
#pragma once

#include "foundation/TVXVector.h"

#include <cstdarg>
#include <cstdint>

class CVXString {
public:
    // A character iterator points at the first byte of a character inside the text, or at the
    // terminating zero byte (the end position).
    using Iterator = const char*;

    // Capacity limit: a block is never sized at or above it (capacity + 20 must fit 32 bits).
    static constexpr uint32_t CAPACITY_LIMIT = 0xFFFFFFECu;
    // Bytes of a block besides its capacity: header, terminator and two spare bytes.
    static constexpr uint32_t BLOCK_OVERHEAD = 20u;
    // Offset of the text from the start of its block.
    static constexpr uint32_t TEXT_OFFSET = 17u;

    constexpr CVXString() noexcept : m_rep(&s_emptyRepresentation) {}
    CVXString(const char* text); // NOLINT(google-explicit-constructor): the program's text type
    CVXString(const char* text, uint32_t maxLength);
    CVXString(const CVXString& other);
    CVXString(CVXString&& other) noexcept;
    ~CVXString();
    CVXString& operator=(const CVXString& other);
    CVXString& operator=(CVXString&& other) noexcept;

    // An empty string whose private block has the given capacity.
    static CVXString withCapacity(uint32_t capacity);
    // The process-wide empty string.
    static const CVXString& empty();

    uint32_t byteLength() const;
    uint32_t charCount() const;
    uint32_t capacity() const;
    const char* c_str() const;
    bool isEmpty() const { return byteLength() == 0; }

    // Code point of the character at index (walks from the start); 0 at or past the end.
    uint32_t charAt(uint32_t index) const;
    Iterator begin() const;
    Iterator end() const;
    static uint32_t decode(Iterator position);
    static Iterator advance(Iterator position, uint32_t count);

    bool operator==(const CVXString& other) const;
    bool operator!=(const CVXString& other) const { return !(*this == other); }
    bool startsWith(const char* prefix) const;

    // Appends at most maxLength bytes of text (up to its first zero byte), UTF-8 checked.
    CVXString& append(const char* text, uint32_t maxLength = 0xFFFFFFFFu);
    CVXString& append(const CVXString& other);
    // Removes leading and trailing white space (9 to 13 and 32); returns *this.
    CVXString& trim();
    // At most count characters starting at position.
    CVXString substring(Iterator position, uint32_t count) const;
    // Inserts other before position; position is moved to the start of the inserted text.
    void insert(Iterator& position, const CVXString& other);
    // Replaces count characters at position by other; position is moved to the replacement.
    void replace(Iterator& position, uint32_t count, const CVXString& other);
    // Replaces the text by the UTF-8 encoding of the given code points / 16-bit units. A code point
    // with the top bit set is reported and ends the conversion; so does a zero value, which the
    // text cannot hold.
    void assign(const uint32_t* codePoints, uint32_t count);
    void assign(const uint16_t* units, uint32_t count);
    // printf-style formatting, cut to 256 bytes; true when the whole output fitted.
    bool format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool formatV(const char* format, va_list args) __attribute__((format(printf, 2, 0)));

    // Number of strings sharing this string's block (the empty representation reports 2).
    uint32_t referenceCount() const;

    // The shared block (defined with the implementation).
    struct Representation;

private:
    static Representation s_emptyRepresentation;

    // Makes the block private with room for capacity bytes (never below the byte length); false
    // (after a report) when the capacity is at or above the limit, the string then unchanged.
    bool addReference(uint64_t capacity);
    // Appends count bytes (no zero byte among them), keeping the valid UTF-8 prefix.
    void appendChecked(const char* bytes, uint32_t count);
    // Points the string at a fresh block (references 1) after releasing the old one.
    void adopt(Representation* block);
    void release();
    template <typename Unit>
    void assignValues(const Unit* values, uint32_t count);

    Representation* m_rep;
};

// Splits text at every separator character into out (cleared first).
void splitString(const CVXString& text, const CVXString& separators, bool skipEmpty,
                 TVXVector<CVXString>& out);
// Trims every piece in place up to the first that is then empty; true if one is.
bool hasEmptyPiece(TVXVector<CVXString>& pieces);
// Converts text in place by the Unicode upper-case mapping (BMP, including expansions).
void toUpperCase(CVXString& text);
