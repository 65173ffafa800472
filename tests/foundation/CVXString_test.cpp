// The string class: UTF-8 checking, copy on write, editing, capacity limits, upper case, and blocks
// shared between threads. Literals are UTF-8 (é is C3 A9, ß is C3 9F).
#include "foundation/CVXString.h"

#include "foundation/VXAssert.h"
#include "foundation/VXOperatingSystem.h"
#include "foundation/VXUnicodeCaseTables.h"
#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

const SlogLine UTF8_ERROR =
    processLine(VX_SLOG_ERROR, "The character sequence contains a wrong coded UTF-8 sequence !");
// Four to six bytes: U+1F600, 0x200000, 0x7FFFFFFF.
const std::string LONG_SEQUENCES = "\xF0\x9F\x98\x80\xF8\x88\x80\x80\x80\xFD\xBF\xBF\xBF\xBF\xBF";

// "<text>|<byte length>|<character count>"
std::string state(const CVXString& s) {
    return std::string(s.c_str()) + "|" + std::to_string(s.byteLength()) + "|" +
           std::to_string(s.charCount());
}

TEST(CVXStringUtf8, ConstructionAndAppendKeepTheValidPrefixAndLogOnce) {
    for (const CVXString& s : {CVXString(nullptr), CVXString(nullptr, 9), CVXString("abc", 0)}) {
        EXPECT_EQ(s.c_str(), CVXString::empty().c_str()); // one shared empty block
    }
    const std::tuple<std::string, uint32_t, std::string, bool> rows[] = {
        {"h\xC3\xA9llo", 99, "h\xC3\xA9llo|6|5", false},
        {std::string("abc\0d", 5), 2, "ab|2|2", false},
        {std::string("ab\0cd", 5), 5, "ab|2|2", false},
        {LONG_SEQUENCES, 99, LONG_SEQUENCES + "|15|3", false},
        {"\xC3\xC3", 99, "\xC3\xC3|2|1", false}, // following bytes need only the top bit
        {"abc\x80xyz", 99, "abc|3|3", true},
        {"ab\xC3", 99, "ab|2|2", true},
        {"\xFC\x84\x80\x80\x80z", 99, "|0|0", true},
    };
    for (const auto& [bytes, maxLength, expected, logged] : rows) {
        SCOPED_TRACE(bytes);
        SlogCapture log;
        const CVXString constructed(bytes.data(), maxLength);
        CVXString appended("k");
        const char* before = appended.c_str();
        appended.append(bytes.c_str(), maxLength);
        EXPECT_EQ(state(constructed), expected);
        EXPECT_EQ(state(appended), state(("k" + std::string(constructed.c_str())).c_str()));
        EXPECT_EQ(appended.c_str() == before, constructed.isEmpty()); // nothing valid: no new block
        EXPECT_EQ(log.take(), std::vector<SlogLine>(logged ? 2 : 0, UTF8_ERROR));
    }
}

TEST(CVXStringSharing, CopiesShareUntilOneChangesAndNewBlocksHaveTheExactSize) {
    const CVXString original("  text ");
    CVXString appended(original);
    CVXString trimmed(original);
    EXPECT_EQ(original.referenceCount(), 3u);
    appended.append("!").append(nullptr).append("x", 0).append(CVXString());
    trimmed.trim().append("?");
    EXPECT_EQ(original.referenceCount(), 1u);
    EXPECT_EQ(state(original) + state(appended), "  text |7|7  text !|8|8");
    EXPECT_EQ(state(trimmed) + std::to_string(trimmed.capacity()), "text?|5|55");
    CVXString own(" a b ");
    const char* block = own.c_str();
    CVXString::Iterator at = own.trim().begin() + 2; // a private block changes in place
    own.replace(at, 1, CVXString("B"));
    EXPECT_EQ(own.c_str(), block);
    EXPECT_EQ(state(own), "a B|3|3");

    CVXString a("x");
    CVXString b(a);
    a = b; // the same block, and itself: no change of the count
    a = *&a;
    EXPECT_EQ(a.referenceCount(), 2u);
    b = CVXString("second"); // releases the old block
    EXPECT_EQ(a.referenceCount(), 1u);
}

TEST(CVXStringCharacters, DecodeAdvanceAndCompare) {
    const CVXString s(("a\xC3\xA9\xE2\x82\xACz" + LONG_SEQUENCES).c_str());
    const uint32_t expected[] = {0x61, 0xE9, 0x20AC, 0x7A, 0x1F600, 0x200000, 0x7FFFFFFF, 0};
    for (uint32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(s.charAt(i), expected[i]) << i;
    }
    EXPECT_EQ(CVXString::advance(s.begin(), 2), s.begin() + 3);
    // A position inside an odd sequence whose byte looks like a six-byte lead.
    EXPECT_EQ(CVXString::decode(CVXString("\xC3\xFC").begin() + 1), 0x0u);
    const CVXString a("E2P.Name");
    EXPECT_TRUE(a == CVXString("E2P.Name") && a != "e2p.Name" && a != "E2P.Nam");
    EXPECT_TRUE(a.startsWith("E2P") && a.startsWith("E2P.Name") && a.startsWith(""));
    EXPECT_FALSE(a.startsWith("e2p") || a.startsWith("E2P.Name.") || CVXString().startsWith("a"));
}

TEST(CVXStringEdit, SubstringInsertReplaceAssignAndFormat) {
    const CVXString s("a\xC3\xA9yz");
    EXPECT_EQ(state(s.substring(s.begin(), 2)), "a\xC3\xA9|3|2");
    EXPECT_EQ(state(s.substring(s.begin() + 3, 9)), "yz|2|2");
    const CVXString other("zz");
    for (CVXString::Iterator outside :
         {s.end(), s.begin() - 1, other.begin(), CVXString::Iterator{}}) {
        EXPECT_TRUE(s.substring(outside, 1).isEmpty());
    }
    CVXString edited(other); // a copy: the original keeps its text
    CVXString::Iterator at = edited.begin() + 1;
    edited.insert(at, CVXString("\xC3\x9Fy"));
    EXPECT_EQ(at, edited.begin() + 1); // the start of the inserted text in the new block
    at = edited.end();
    edited.insert(at, CVXString("!"));
    at = edited.begin();
    edited.insert(at, edited);
    at = other.begin(); // outside the text: nothing happens
    edited.insert(at, CVXString("?"));
    edited.replace(at, 1, CVXString("?"));
    EXPECT_EQ(state(edited) + other.c_str(), "z\xC3\x9Fyz!z\xC3\x9Fyz!|12|10zz");

    CVXString r("a\xC3\xA9z");
    at = r.begin() + 1;
    r.replace(at, 1, CVXString("XYZ"));
    EXPECT_EQ(at, r.begin() + 1);
    r.replace(at, 3, CVXString("\xC3\x9F"));
    EXPECT_EQ(state(r), "a\xC3\x9Fz|4|3");
    r.replace(at, 99, r);
    at = r.begin();
    r.replace(at, 0, CVXString(">"));
    EXPECT_EQ(state(r), ">aa\xC3\x9Fz|6|5");
    CVXString odd("\xC3\xC3"); // accepted as one character, walked as two by the iterator
    at = odd.begin();
    odd.replace(at, 2, CVXString(" "));
    EXPECT_EQ(state(odd), " |1|1");

    const uint32_t codePoints[] = {0x41, 0xE9, 0x20AC, 0x1F600, 0x200000, 0x7FFFFFFF};
    r.assign(codePoints, 6);
    EXPECT_EQ(state(r), "A\xC3\xA9\xE2\x82\xAC" + LONG_SEQUENCES + "|21|6");
    const uint16_t units[] = {0x53, 0xFFFF, 0xD83D, 0xDE00, 0, 0x54}; // surrogates one by one
    r.assign(units, 6);
    EXPECT_EQ(state(r), "S\xEF\xBF\xBF\xED\xA0\xBD\xED\xB8\x80|10|4");

    EXPECT_TRUE(r.format("<%s> %02X %d", "ab", 0xAB, -3));
    EXPECT_EQ(state(r), "<ab> AB -3|10|10");
    const std::string exact(256, 'x');
    EXPECT_TRUE(r.format("%s", exact.c_str()));
    EXPECT_EQ(r.c_str(), exact);
    EXPECT_FALSE(r.format("%s!", exact.c_str()));
    EXPECT_EQ(r.c_str(), exact);
    SlogCapture log; // a character cut in two by the limit is dropped
    EXPECT_FALSE(r.format("%s\xC3\xA9", std::string(255, 'a').c_str()));
    EXPECT_EQ(state(r), std::string(255, 'a') + "|255|255");
    EXPECT_EQ(log.take(), std::vector<SlogLine>{UTF8_ERROR});
}

TEST(CVXStringSplit, PiecesWithAndWithoutEmptyOnes) {
    const std::tuple<const char*, const char*, bool, std::string> rows[] = {
        {"a \t b", " \t", true, "a|b|"},
        {"", ",", false, "|"},
        {",a,,b,", ",", false, "|a||b||"},
        {",a,,b,", ",", true, "a|b|"},
        // Separators are whole characters: U+00B7 separates; its byte B7 alone does not.
        {"\xC3\xA9\xC2\xB7x\xC2\xB7", "\xC2\xB7", false, "\xC3\xA9|x||"},
        {"a\xC2\xB7z", "\xC3\xB7", false, "a\xC2\xB7z|"},
    };
    TVXVector<CVXString> pieces;
    const auto joined = [&pieces] {
        std::string all;
        for (const CVXString& piece : pieces) {
            all += std::string(piece.c_str()) + "|";
        }
        return all;
    };
    for (const auto& [text, separators, skipEmpty, expected] : rows) {
        splitString(CVXString(text), CVXString(separators), skipEmpty, pieces);
        EXPECT_EQ(joined(), expected) << text;
    }
    pieces[0] = "x,y"; // the output is cleared first and may hold the input
    splitString(pieces[0], CVXString(","), false, pieces);
    for (const char* text : {" a ", "b\r\n", " \t", " c "}) {
        pieces.append(CVXString(text));
    }
    EXPECT_TRUE(hasEmptyPiece(pieces)); // trims up to the first empty piece
    EXPECT_EQ(joined(), "x|y|a|b|| c |");
}

// The lookup searches the generated tables by halves: a row out of order, or hidden by an
// overlapping one, is not found.
TEST(CVXStringUpperCase, EveryTableRowIsFoundAndTextIsConverted) {
    using Units = std::u16string;
    const auto mapping = [](uint32_t character) {
        uint16_t units[VX_UPPER_CASE_MAX_UNITS] = {};
        return Units(units, units + VXUpperCaseMapping(character, units));
    };
    for (const VXUpperCaseSingle& row : VX_UPPER_CASE_SINGLES) {
        EXPECT_EQ(mapping(row.character), Units(1, row.upper));
    }
    for (const VXUpperCaseRange& row : VX_UPPER_CASE_RANGES) {
        for (uint32_t k = 0; k < row.length; ++k) {
            EXPECT_EQ(mapping(row.first + k), Units(1, static_cast<char16_t>(row.firstUpper + k)));
        }
    }
    for (const VXUpperCaseExpansion& row : VX_UPPER_CASE_EXPANSIONS) {
        EXPECT_EQ(mapping(row.character), Units(row.units, row.units + row.count));
    }
    // Without a mapping: a capital, the neighbours of the letter ranges, the multiplication and
    // division signs and the last BMP character.
    for (const uint32_t character : {0x41u, 0x60u, 0x7Bu, 0xD7u, 0xF7u, 0xFFFFu}) {
        EXPECT_EQ(mapping(character), Units()) << std::hex << character;
    }
    const std::pair<const char*, const char*> rows[] = {
        {"az\u00DF\u00FF\u03C2\U00010428", "AZSS\u0178\u03A3\U00010428|12|7"},
        {"\u0390\u1F80\uFB03\u0131", "\u0399\u0308\u0301\u1F08\u0399FFII|15|9"}, // expansions
    };
    for (const auto& [text, upper] : rows) {
        const CVXString original(text);
        CVXString s(original);
        toUpperCase(s);
        EXPECT_EQ(state(s), upper);
        EXPECT_STREQ(original.c_str(), text);
    }
}

// The header words of a string's block: references, capacity, byteLength.
uint32_t* header(const CVXString& s) {
    return static_cast<uint32_t*>(
        static_cast<void*>(const_cast<char*>(s.c_str()) - CVXString::TEXT_OFFSET));
}
enum { REFERENCES, CAPACITY, BYTE_LENGTH };

// Each operation runs on a block that claims a size near the limit; it must report and leave the
// string as it was. The sums exceed 32 bits: a 32-bit target must not wrap them.
TEST(CVXStringLimits, OperationsBeyondTheCapacityLimitAreReportedAndRefused) {
    using Operation = void (*)(CVXString&, CVXString::Iterator&);
    const std::tuple<int, uint32_t, Operation, const char*, int> rows[] = {
        {BYTE_LENGTH, CVXString::CAPACITY_LIMIT - 2,
         [](CVXString& s, CVXString::Iterator&) { s.append("xy").append(CVXString("xy")); },
         "CVXString::addReference: Capacity 4294967276 not valid!", 2},
        {BYTE_LENGTH, 0xFFFFFFF0u,
         [](CVXString& s, CVXString::Iterator& at) { s.insert(at, CVXString("0123456789abcdef")); },
         "CVXString::addReference: Capacity 4294967296 not valid!", 1},
        {CAPACITY, CVXString::CAPACITY_LIMIT, [](CVXString& s, CVXString::Iterator&) { s.trim(); },
         "CVXString::trim: Capacity 4294967276 not valid!", 1},
        {CAPACITY, 0xFFFFFFF0u,
         [](CVXString& s, CVXString::Iterator& at) { s.replace(at, 1, CVXString("x")); },
         "CVXString::replace: Capacity 4294967280 not valid!", 1},
        {BYTE_LENGTH, CVXString::CAPACITY_LIMIT - 1,
         [](CVXString& s, CVXString::Iterator& at) { s.replace(at, 1, CVXString("xy")); },
         "CVXString::addReference: Capacity 4294967276 not valid!", 1},
    };
    for (const auto& [field, claimed, operation, message, reports] : rows) {
        SCOPED_TRACE(message);
        SlogCapture log;
        CVXString s(" abc ");
        const char* text = s.c_str();
        CVXString::Iterator at = s.begin();
        const uint32_t saved = header(s)[field];
        header(s)[field] = claimed;
        operation(s, at);
        header(s)[field] = saved;
        EXPECT_EQ(countAssertionReports(log.take(), "CVXString", message), reports);
        EXPECT_EQ(s.c_str(), text);
        EXPECT_STREQ(s.c_str(), " abc ");
        EXPECT_EQ(at, s.begin());
    }
}

TEST(CVXStringLimits, ConstructionAtTheLimitTopBitCodePointsAndDeadBlocksAreReported) {
    SlogCapture log;
    const uint32_t before = VXAssertionCount();
    for (const uint32_t capacity : {CVXString::CAPACITY_LIMIT, 0xFFFFFFFFu}) {
        EXPECT_EQ(CVXString::withCapacity(capacity).capacity(), 0u);
        EXPECT_EQ(countAssertionReports(log.take(), "CVXString",
                                        "CVXString::ctor: Capacity " + std::to_string(capacity) +
                                            " not valid!"),
                  1);
    }
    CVXString s;
    const uint32_t codePoints[] = {'o', 'k', 0x80000000u, 'x'};
    s.assign(codePoints, 4);
    EXPECT_EQ(state(s), "ok|2|2");
    EXPECT_EQ(VXAssertionCount() - before, 3u);

    auto* dead = new CVXString("dead");
    uint32_t* block = header(*dead);
    block[REFERENCES] = 0;
    delete dead;
    EXPECT_EQ(VXAssertionCount() - before, 4u);
    EXPECT_EQ(block[REFERENCES], 0u); // not freed, count untouched
    VXFree(block);
}

TEST(CVXStringLimitsDeathTest, CapacityReportAbortsWhenAssertionsAbort) {
    ScopedEnvironment abortSwitch("VX_ENABLE_ABORT_ON_ASSERTION", "1");
    EXPECT_DEATH(CVXString::withCapacity(0xFFFFFFF0u),
                 "CVXString:[0-9]+: ASSERTION \"CVXString::ctor: Capacity 4294967280 not valid!\"");
}

TEST(CVXStringThreads, SharedBlocksCopiedAndReleasedOnManyThreads) {
    const CVXString shared[3] = {CVXString("alpha"), CVXString("\xC3\x9F"), CVXString(" gamma ")};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&shared] {
            std::vector<CVXString> held(16);
            for (int round = 0; round < 10000; ++round) {
                held[round % 16] = shared[round % 3];
                CVXString(shared[round % 3]).trim().append("!"); // a private copy
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const CVXString& s : shared) {
        EXPECT_EQ(s.referenceCount(), 1u);
    }
    EXPECT_STREQ(shared[2].c_str(), " gamma ");
}

} // namespace
