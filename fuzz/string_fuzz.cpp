// Fuzz target: CVXString. Byte 0 and 1 choose positions and counts, the rest is the text. It keeps
// its valid UTF-8 prefix; every string made from it (copied, trimmed, split, edited) is
// sound, copies keep their text, and on ASCII text every operation gives what std::string gives.
#include "foundation/CVXString.h"
#include "foundation/TVXVector.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

namespace {

constexpr const char* SPACE = " \t\n\v\f\r";

struct CPrefix {
    size_t bytes = 0;
    uint32_t characters = 0;
    bool strict = true; // every following byte is 10xxxxxx
};

// The valid prefix: up to a zero byte, a lead byte with 1, 7 or 8 leading ones, a cut sequence or
// a following byte without the top bit.
CPrefix validPrefix(const uint8_t* text, size_t size) {
    CPrefix prefix;
    for (size_t& at = prefix.bytes; at < size && text[at] != 0; ++prefix.characters) {
        const uint32_t ones = std::countl_one(text[at]);
        const size_t end = at + std::max(ones, 1u);
        if (ones == 1 || ones > 6 || end > size ||
            std::any_of(text + at + 1, text + end, [](uint8_t byte) { return byte < 0x80; })) {
            break;
        }
        prefix.strict = prefix.strict && std::all_of(text + at + 1, text + end,
                                                     [](uint8_t byte) { return byte < 0xC0; });
        at = end;
    }
    return prefix;
}

// Byte length and terminator agree; counted, the text is valid with the right character count.
// Following bytes 11xxxxxx pass the entry check but the character iterator walks them otherwise:
// strings made by walking are counted only when the text is strict.
void expectSound(const CVXString& text, bool counted = true) {
    const size_t length = strlen(text.c_str());
    FUZZ_EXPECT(length == text.byteLength() && text.capacity() >= length);
    if (counted) {
        const CPrefix prefix = validPrefix(reinterpret_cast<const uint8_t*>(text.c_str()), length);
        FUZZ_EXPECT(prefix.bytes == length && prefix.characters == text.charCount());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const uint8_t choice = data[0];
    const uint8_t count = data[1];
    const char* const text = reinterpret_cast<const char*>(data + 2);
    const uint32_t length = static_cast<uint32_t>(size - 2);

    const CVXString whole(text, length);
    const CPrefix prefix = validPrefix(data + 2, length);
    expectSound(whole);
    FUZZ_EXPECT(whole.byteLength() == prefix.bytes &&
                memcmp(whole.c_str(), text, prefix.bytes) == 0);
    const std::string original(whole.c_str());
    const bool ascii = std::all_of(original.begin(), original.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    const CVXString cut(text, std::min<uint32_t>(count, length));
    expectSound(cut);

    CVXString trimmed(whole);
    trimmed.trim();
    expectSound(trimmed);
    const size_t first = std::min(original.find_first_not_of(SPACE), original.size());
    FUZZ_EXPECT(trimmed.c_str() ==
                original.substr(first, original.find_last_not_of(SPACE) + 1 - first));

    // Split, with and without empty pieces: the pieces are sound.
    TVXVector<CVXString> pieces;
    splitString(whole, CVXString((choice & 1) != 0 ? " \t" : ",."), (choice & 2) != 0, pieces);
    for (const CVXString& piece : pieces) {
        expectSound(piece, prefix.strict);
    }

    const uint32_t position = count % (whole.charCount() + 1);
    const CVXString part = whole.substring(CVXString::advance(whole.begin(), position), choice);
    expectSound(part, prefix.strict);
    FUZZ_EXPECT(!ascii || part.c_str() == original.substr(position, choice));
    CVXString edited(whole);
    CVXString::Iterator at = CVXString::advance(edited.begin(), position);
    edited.insert(at, cut);
    expectSound(edited, prefix.strict);
    std::string model = original;
    model.insert(ascii ? position : 0, cut.c_str()); // characters are bytes in ASCII
    FUZZ_EXPECT(edited.byteLength() == model.size() && (!ascii || edited.c_str() == model));
    at = CVXString::advance(edited.begin(), position);
    edited.replace(at, choice % 4, part);
    expectSound(edited, prefix.strict);
    model.replace(ascii ? position : 0, choice % 4, part.c_str());
    FUZZ_EXPECT(!ascii || edited.c_str() == model);
    FUZZ_EXPECT(original == whole.c_str());
    return 0;
}
