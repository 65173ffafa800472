// Fuzz target: CVXString on arbitrary bytes.
//
// Input: byte 0 and 1 choose positions and counts, the rest is text (zero bytes included). The
// text is made into strings (whole and cut), copied, trimmed, split, upper-cased, edited and
// formatted. Every resulting string must hold well-formed text: its byte length matches its
// terminator, its character count matches a recount by the UTF-8 rules, and a copy taken before a
// change keeps its text.
#include "foundation/CVXString.h"
#include "foundation/TVXVector.h"
#include "fuzz/FuzzSupport.h"

#include <cstring>
#include <string>

namespace {

// Length of a sequence by its first byte, from the count of its leading one bits (an independent
// formulation of the lead-byte table): none is ASCII, one is a following byte, two to six give the
// sequence length, seven or eight cannot start a sequence. 0 for an invalid lead.
uint32_t modelSequenceLength(uint8_t lead) {
    uint32_t ones = 0;
    while (ones < 8 && (lead & (0x80u >> ones)) != 0) {
        ++ones;
    }
    if (ones == 0) {
        return 1;
    }
    return ones >= 2 && ones <= 6 ? ones : 0;
}

// The valid prefix of bytes (up to the first zero byte or ill-formed sequence) and its characters.
void modelValidPrefix(const uint8_t* bytes, size_t size, size_t& kept, uint32_t& characters) {
    kept = 0;
    characters = 0;
    while (kept < size && bytes[kept] != 0) {
        const uint32_t length = modelSequenceLength(bytes[kept]);
        if (length == 0 || kept + length > size) {
            return;
        }
        for (uint32_t follow = 1; follow < length; ++follow) {
            if ((bytes[kept + follow] & 0x80) == 0) {
                return;
            }
        }
        kept += length;
        ++characters;
    }
}

void expectWellFormed(const CVXString& text) {
    const char* bytes = text.c_str();
    FUZZ_EXPECT(bytes != nullptr);
    const size_t length = strlen(bytes);
    FUZZ_EXPECT(length == text.byteLength());
    FUZZ_EXPECT(text.capacity() >= text.byteLength());
    size_t kept = 0;
    uint32_t characters = 0;
    modelValidPrefix(reinterpret_cast<const uint8_t*>(bytes), length, kept, characters);
    FUZZ_EXPECT(kept == length);
    FUZZ_EXPECT(characters == text.charCount());
    FUZZ_EXPECT(text.end() == text.begin() + length);
}

// Every following byte of every sequence is 10xxxxxx. Text that passes the entry check without
// this (following bytes 11xxxxxx are accepted there) is walked differently by the character
// iterator, so positions found by walking may fall inside such a sequence; for that text only the
// byte-level invariants are expected after edits.
bool isStrictUtf8(const CVXString& text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
    for (uint32_t at = 0; at < text.byteLength();) {
        const uint32_t length = modelSequenceLength(bytes[at]);
        for (uint32_t follow = 1; follow < length; ++follow) {
            if ((bytes[at + follow] & 0xC0) != 0x80) {
                return false;
            }
        }
        at += length;
    }
    return true;
}

void expectSound(const CVXString& text, bool strict) {
    if (strict) {
        expectWellFormed(text);
    } else {
        FUZZ_EXPECT(strlen(text.c_str()) == text.byteLength());
        FUZZ_EXPECT(text.capacity() >= text.byteLength());
    }
}

bool isTrimSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string modelTrim(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && isTrimSpace(text[first])) {
        ++first;
    }
    while (last > first && isTrimSpace(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fuzzQuietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 1u << 16) {
        return 0;
    }
    const uint8_t choice = data[0];
    const uint8_t count = data[1];
    const uint8_t* const bytes = data + 2;
    const size_t length = size - 2;
    const char* const text = reinterpret_cast<const char*>(bytes);

    // Construction keeps the valid prefix.
    const CVXString whole(text, static_cast<uint32_t>(length));
    size_t kept = 0;
    uint32_t characters = 0;
    modelValidPrefix(bytes, length, kept, characters);
    expectWellFormed(whole);
    FUZZ_EXPECT(whole.byteLength() == kept && whole.charCount() == characters);
    FUZZ_EXPECT(memcmp(whole.c_str(), text, kept) == 0);
    const std::string original(whole.c_str());

    const CVXString cut(text, count < length ? count : static_cast<uint32_t>(length));
    expectWellFormed(cut);
    FUZZ_EXPECT(cut.byteLength() <= count);
    const bool strict = isStrictUtf8(whole) && isStrictUtf8(cut);

    // Copy on write: the copy changes, the original keeps its text.
    CVXString trimmed(whole);
    FUZZ_EXPECT(trimmed == whole);
    trimmed.trim();
    expectWellFormed(trimmed);
    FUZZ_EXPECT(std::string(trimmed.c_str()) == modelTrim(original));
    FUZZ_EXPECT(std::string(whole.c_str()) == original);
    CVXString again(trimmed);
    again.trim();
    FUZZ_EXPECT(again == trimmed);

    // Appending: the concatenation of two valid texts is valid.
    CVXString joined(whole);
    joined.append(cut);
    expectWellFormed(joined);
    FUZZ_EXPECT(joined.byteLength() == whole.byteLength() + cut.byteLength());
    FUZZ_EXPECT(joined.charCount() == whole.charCount() + cut.charCount());
    FUZZ_EXPECT(joined.startsWith(whole.c_str()));
    CVXString appendedRaw(cut);
    appendedRaw.append(text, static_cast<uint32_t>(length));
    expectWellFormed(appendedRaw);

    // Splitting at white space, with and without empty pieces.
    const CVXString separators((choice & 1) != 0 ? " \t" : ",.");
    TVXVector<CVXString> pieces;
    splitString(whole, separators, (choice & 2) != 0, pieces);
    uint32_t pieceBytes = 0;
    for (const CVXString& piece : pieces) {
        expectSound(piece, strict);
        FUZZ_EXPECT(!strict || (choice & 2) == 0 || !piece.isEmpty());
        pieceBytes += piece.byteLength();
    }
    FUZZ_EXPECT(pieceBytes <= whole.byteLength());
    FUZZ_EXPECT((choice & 2) != 0 || pieces.size() >= 1);
    const bool empty = hasEmptyPiece(pieces);
    for (int32_t index = 0; index < pieces.size(); ++index) {
        expectSound(pieces[index], strict);
        if (pieces[index].isEmpty()) {
            FUZZ_EXPECT(empty);
            break;
        }
    }

    // Upper case: every ASCII letter is upper case, nothing else in the ASCII range changes.
    CVXString upper(whole);
    toUpperCase(upper);
    expectSound(upper, strict);
    FUZZ_EXPECT(std::string(whole.c_str()) == original);
    FUZZ_EXPECT(!strict || upper.charCount() >= whole.charCount());
    bool ascii = true;
    for (const char c : original) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii) {
        std::string expected = original;
        for (char& c : expected) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
        FUZZ_EXPECT(std::string(upper.c_str()) == expected);
    }

    // Editing at character positions chosen by the input.
    const uint32_t position = whole.charCount() == 0 ? 0 : count % (whole.charCount() + 1);
    const CVXString part = whole.substring(CVXString::advance(whole.begin(), position), choice);
    expectSound(part, strict);
    CVXString edited(whole);
    CVXString::Iterator at = CVXString::advance(edited.begin(), position);
    edited.insert(at, cut);
    expectSound(edited, strict);
    FUZZ_EXPECT(edited.byteLength() == whole.byteLength() + cut.byteLength());
    at = CVXString::advance(edited.begin(), position);
    edited.replace(at, choice % 4, part);
    expectSound(edited, strict);
    FUZZ_EXPECT(std::string(whole.c_str()) == original);

    // Formatting: cut to 256 bytes, true only when everything fitted.
    CVXString formatted;
    const bool fitted = formatted.format("%s|%.*s|%u", whole.c_str(), static_cast<int>(count),
                                         cut.c_str(), static_cast<unsigned>(choice));
    expectWellFormed(formatted);
    FUZZ_EXPECT(formatted.byteLength() <= 256);
    char reference[1024];
    const int full = snprintf(reference, sizeof reference, "%s|%.*s|%u", whole.c_str(),
                              static_cast<int>(count), cut.c_str(), static_cast<unsigned>(choice));
    FUZZ_EXPECT(fitted == (full >= 0 && full <= 256));
    if (fitted) {
        FUZZ_EXPECT(strcmp(formatted.c_str(), reference) == 0);
    }
    return 0;
}
