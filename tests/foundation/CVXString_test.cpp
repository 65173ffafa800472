// Behaviour of the string class: sharing and copy on write, UTF-8 checking, trim, comparison,
// splitting, character access, editing and formatting. Literals are UTF-8 (ß is C3 9F).
#include "foundation/CVXString.h"

#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* const UTF8_MESSAGE = "The character sequence contains a wrong coded UTF-8 sequence !";

// "<text>|<byte length>|<character count>"
std::string state(const CVXString& s) {
    return std::string(s.c_str()) + "|" + std::to_string(s.byteLength()) + "|" +
           std::to_string(s.charCount());
}

std::vector<std::string> texts(const TVXVector<CVXString>& pieces) {
    std::vector<std::string> result;
    for (const CVXString& piece : pieces) {
        result.emplace_back(piece.c_str());
    }
    return result;
}

TEST(CVXStringConstruction, EmptyFormsAndPrivateBlocksOfExactlyTheTextLength) {
    for (const CVXString& s : {CVXString(), CVXString(static_cast<const char*>(nullptr)),
                               CVXString(nullptr, 10), CVXString("abc", 0)}) {
        EXPECT_EQ(state(s), "|0|0");
        EXPECT_EQ(s.capacity(), 0u);
        EXPECT_EQ(s.referenceCount(), 2u);
        EXPECT_EQ(s.c_str(), CVXString::empty().c_str());
    }
    const char withZero[] = {'a', 'b', '\0', 'c', 'd'};
    const struct {
        CVXString s;
        const char* expected;
    } rows[] = {{CVXString("héllo"), "héllo|6|5"},
                {CVXString("ß"), "ß|2|1"},
                {CVXString("abcdef", 3), "abc|3|3"},
                {CVXString(withZero, 5), "ab|2|2"}};
    for (const auto& row : rows) {
        EXPECT_EQ(state(row.s), row.expected);
        EXPECT_EQ(row.s.capacity(), row.s.byteLength());
        EXPECT_EQ(row.s.referenceCount(), 1u);
    }
    const CVXString reserved = CVXString::withCapacity(10);
    EXPECT_EQ(state(reserved), "|0|0");
    EXPECT_EQ(reserved.capacity(), 10u);
    EXPECT_EQ(reserved.referenceCount(), 1u);
}

TEST(CVXStringSharing, CopiesShareUntilOneChanges) {
    const CVXString original("  text ");
    CVXString appended(original);
    CVXString trimmed(original);
    EXPECT_EQ(appended.c_str(), original.c_str());
    EXPECT_EQ(original.referenceCount(), 3u);
    appended.append("!");
    trimmed.trim();
    EXPECT_STREQ(original.c_str(), "  text ");
    EXPECT_EQ(original.referenceCount(), 1u);
    EXPECT_STREQ(appended.c_str(), "  text !");
    EXPECT_STREQ(trimmed.c_str(), "text");

    CVXString a("x");
    CVXString b(a);
    a = b; // the same block, and itself: no change of the count
    a = *&a;
    EXPECT_EQ(a.referenceCount(), 2u);
    b = CVXString("second"); // releases the old block
    EXPECT_EQ(a.referenceCount(), 1u);
    const char* text = b.c_str();
    CVXString moved(std::move(b));
    EXPECT_TRUE(b.isEmpty()); // NOLINT(bugprone-use-after-move)
    a = std::move(moved);
    EXPECT_EQ(a.c_str(), text);
    EXPECT_EQ(a.referenceCount(), 1u);
    EXPECT_TRUE(moved.isEmpty()); // NOLINT(bugprone-use-after-move)
}

TEST(CVXStringUtf8, IllFormedInputKeepsTheValidPrefixAndLogsOnce) {
    const struct {
        const char* start;
        const char* bytes;
        const char* expected; // null: all bytes, 21 of them in 4 characters
        bool logged;
    } rows[] = {
        {"start:", "abc\x80xyz", "start:abc|9|9", true},
        {"", "ab\xC3", "ab|2|2", true},
        {"keep", "\xFFxyz", "keep|4|4", true},
        {"", "\xFE", "|0|0", true},
        {"a", "\xFC\x84\x80\x80\x80z", "a|1|1", true},
        // Four to six bytes: U+1F600, 0x200000, 0x4000000, 0x7FFFFFFF.
        {"", "\xF0\x9F\x98\x80\xF8\x88\x80\x80\x80\xFC\x84\x80\x80\x80\x80\xFD\xBF\xBF\xBF\xBF\xBF",
         nullptr, false},
        {"", "\xC3\xC3", "\xC3\xC3|2|1", false}, // following bytes need only the top bit
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        SlogCapture log;
        const CVXString constructed((std::string(row.start) + row.bytes).c_str());
        CVXString appended(row.start);
        const char* before = appended.c_str();
        appended.append(row.bytes);
        const std::string expected =
            row.expected != nullptr ? row.expected : std::string(row.bytes) + "|21|4";
        EXPECT_EQ(state(constructed), expected);
        EXPECT_EQ(state(appended), expected);
        if (appended.byteLength() == std::string(row.start).size() && *row.start != '\0') {
            EXPECT_EQ(appended.c_str(), before); // nothing valid: the block is left alone
        }
        const SlogLine line = processLine(VX_SLOG_ERROR, UTF8_MESSAGE);
        EXPECT_EQ(log.take(), std::vector<SlogLine>(row.logged ? 2 : 0, line));
    }
}

TEST(CVXStringCharacters, DecodeAndAdvanceStopAtTheEnd) {
    const CVXString s("aé€z\xF0\x9F\x98\x80\xF8\x88\x80\x80\x80\xFD\xBF\xBF\xBF\xBF\xBF");
    const uint32_t expected[] = {0x61, 0xE9, 0x20AC, 0x7A, 0x1F600, 0x200000, 0x7FFFFFFF, 0};
    for (uint32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(s.charAt(i), expected[i]) << i;
    }
    EXPECT_EQ(s.charAt(100), 0u);
    EXPECT_EQ(CVXString::advance(s.begin(), 0), s.begin());
    EXPECT_EQ(CVXString::advance(s.begin(), 2), s.begin() + 3);
    EXPECT_EQ(CVXString::advance(s.begin(), 7), s.end());
    EXPECT_EQ(CVXString::advance(s.begin(), 50), s.end());
    // A position inside an odd sequence whose byte looks like a six-byte lead.
    const CVXString odd("\xC3\xFC");
    EXPECT_EQ(CVXString::decode(odd.begin() + 1), 0x0u);
}

TEST(CVXStringCompare, EqualityAndPrefix) {
    const CVXString a("E2P.Name");
    EXPECT_TRUE(a == CVXString("E2P.Name") && a == CVXString(a));
    EXPECT_FALSE(a != CVXString("E2P.Name"));
    EXPECT_TRUE(a != CVXString("e2p.Name") && a != CVXString("E2P.Nam"));
    EXPECT_TRUE(CVXString() == CVXString("") && CVXString() != CVXString(" "));
    EXPECT_TRUE(a.startsWith("E2P") && a.startsWith("E2P.Name") && a.startsWith(""));
    EXPECT_FALSE(a.startsWith("e2p") || a.startsWith("E2P.Name."));
    EXPECT_FALSE(CVXString().startsWith("a"));
    EXPECT_TRUE(CVXString().startsWith(""));
}

TEST(CVXStringAppend, GrowsToExactlyTheNeededCapacity) {
    CVXString s;
    s.append("abc");
    EXPECT_EQ(s.referenceCount(), 1u);
    EXPECT_STREQ(CVXString::empty().c_str(), "");
    s.append("de");
    EXPECT_EQ(s.capacity(), 5u);
    s.append("xyz", 1);
    EXPECT_EQ(state(s), "abcdex|6|6");
    EXPECT_EQ(s.capacity(), 6u);

    const char* before = s.c_str();
    s.append(nullptr).append("x", 0).append("").append(CVXString());
    EXPECT_EQ(s.c_str(), before);

    s = "ab";
    s.append(s);
    s.append(s.c_str() + 1).append(CVXString("ßß"));
    EXPECT_EQ(state(s), "ababbabßß|11|9");
}

TEST(CVXStringTrim, RemovesExactlyTheOuterWhiteSpace) {
    const struct {
        const char* input;
        const char* expected;
    } rows[] = {{"  a b \r\n", "a b|3|3"},
                {"\t\n\v\f\r xé \t\n\v\f\r", "xé|3|2"},
                {"\x1Fz\x1F", "\x1Fz\x1F|3|3"},
                {"    ", "|0|0"},
                {"", "|0|0"}};
    for (const auto& row : rows) {
        CVXString s(row.input);
        EXPECT_EQ(state(s.trim()), row.expected) << row.input;
    }

    CVXString trimmed("a b");
    const CVXString sharer(trimmed);
    trimmed.trim(); // nothing to remove: no copy of the shared block
    EXPECT_EQ(trimmed.c_str(), sharer.c_str());
    EXPECT_EQ(trimmed.referenceCount(), 2u);

    CVXString own(" abc ");
    const char* block = own.c_str();
    own.trim(); // a private block is trimmed in place
    EXPECT_EQ(own.c_str(), block);
    EXPECT_EQ(own.capacity(), 5u);

    const CVXString original(" abc  ");
    CVXString copy(original);
    copy.trim().append("d");
    EXPECT_STREQ(copy.c_str(), "abcd");
    EXPECT_STREQ(original.c_str(), " abc  ");
}

TEST(CVXStringSplit, PiecesWithAndWithoutEmptyOnes) {
    const struct {
        const char* text;
        const char* separators;
        bool skipEmpty;
        std::vector<std::string> pieces;
    } rows[] = {
        {"a  b", " \t", true, {"a", "b"}},
        {"a  b", " \t", false, {"a", "", "b"}},
        {"", ",", false, {""}},
        {"", ",", true, {}},
        {",a,,b,", ",", false, {"", "a", "", "b", ""}},
        {",a,,b,", ",", true, {"a", "b"}},
        {"E2P.", ".", false, {"E2P", ""}},
        {"abc", "", false, {"abc"}},
        // Separators are whole characters: U+00B7 separates; its byte B7 alone does not.
        {"é·x·", "·", false, {"é", "x", ""}},
        {"a·z", "\xC3\xB7", false, {"a·z"}},
    };
    TVXVector<CVXString> pieces;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        splitString(CVXString(row.text), CVXString(row.separators), row.skipEmpty, pieces);
        EXPECT_EQ(texts(pieces), row.pieces);
        for (const CVXString& piece : pieces) {
            EXPECT_EQ(state(piece), state(CVXString(piece.c_str())));
        }
    }
    // The output is cleared first and may hold the input.
    pieces[0] = "x,y";
    splitString(pieces[0], CVXString(","), false, pieces);
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"x", "y"}));
}

TEST(CVXStringSplit, HasEmptyPieceTrimsUpToTheFirstEmptyOne) {
    TVXVector<CVXString> pieces;
    EXPECT_FALSE(hasEmptyPiece(pieces));
    for (const char* text : {" a ", "b\r\n", " \t", " c "}) {
        pieces.append(CVXString(text));
    }
    EXPECT_TRUE(hasEmptyPiece(pieces));
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"a", "b", "", " c "}));
    pieces[2] = "x";
    EXPECT_FALSE(hasEmptyPiece(pieces));
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"a", "b", "x", "c"}));
}

TEST(CVXStringFormat, ReplacesTheTextAndCutsItTo256Bytes) {
    CVXString s("ab");
    EXPECT_TRUE(s.format("<%s|%s> %02X %d", s.c_str(), s.c_str(), 0xAB, -3));
    EXPECT_EQ(state(s), "<ab|ab> AB -3|13|13");
    EXPECT_TRUE(s.format("%s", ""));
    EXPECT_TRUE(s.isEmpty());

    const std::string exact(256, 'x');
    EXPECT_TRUE(s.format("%s", exact.c_str()));
    EXPECT_EQ(s.c_str(), exact);
    const std::string longer(300, 'y');
    EXPECT_FALSE(s.format("%s!", longer.c_str()));
    EXPECT_EQ(s.c_str(), longer.substr(0, 256));

    SlogCapture log; // a character cut in two by the limit is dropped
    EXPECT_FALSE(s.format("%sé", std::string(255, 'a').c_str()));
    EXPECT_EQ(state(s), std::string(255, 'a') + "|255|255");
    EXPECT_EQ(log.lines(), std::vector<SlogLine>{processLine(VX_SLOG_ERROR, UTF8_MESSAGE)});
}

TEST(CVXStringEdit, SubstringAndInsert) {
    const CVXString s("aéyz");
    const CVXString other("zz");
    EXPECT_EQ(state(s.substring(s.begin(), 2)), "aé|3|2");
    EXPECT_EQ(state(s.substring(s.begin() + 1, 2)), "éy|3|2");
    EXPECT_EQ(state(s.substring(s.begin() + 3, 10)), "yz|2|2");
    for (CVXString::Iterator outside : {s.end(), s.begin() - 1, other.begin()}) {
        EXPECT_TRUE(s.substring(outside, 1).isEmpty());
    }
    EXPECT_TRUE(s.substring(nullptr, 1).isEmpty());
    EXPECT_TRUE(s.substring(s.begin(), 0).isEmpty());

    CVXString edited(other);
    CVXString::Iterator at = edited.begin() + 1;
    edited.insert(at, CVXString("ßy"));
    EXPECT_EQ(state(edited), "zßyz|5|4");
    EXPECT_EQ(at, edited.begin() + 1); // the start of the inserted text in the new block
    EXPECT_STREQ(other.c_str(), "zz");
    at = edited.end();
    edited.insert(at, CVXString("!"));
    at = edited.begin();
    edited.insert(at, edited);
    EXPECT_EQ(state(edited), "zßyz!zßyz!|12|10");
    at = other.begin(); // outside the text: nothing happens
    edited.insert(at, CVXString("?"));
    EXPECT_EQ(edited.byteLength(), 12u);
    EXPECT_EQ(at, other.begin());
}

TEST(CVXStringEdit, ReplaceLongerShorterPastTheEndAndByItself) {
    CVXString s("aéz");
    CVXString::Iterator at = s.begin() + 1;
    s.replace(at, 1, CVXString("XYZ"));
    EXPECT_EQ(state(s), "aXYZz|5|5");
    EXPECT_EQ(at, s.begin() + 1);
    s.replace(at, 3, CVXString("ß"));
    EXPECT_EQ(state(s), "aßz|4|3");
    s.replace(at, 99, CVXString("!"));
    EXPECT_EQ(state(s), "a!|2|2");
    at = s.begin();
    s.replace(at, 0, CVXString(">"));
    EXPECT_STREQ(s.c_str(), ">a!");
    s.replace(at, 1, CVXString());
    EXPECT_STREQ(s.c_str(), "a!");

    const CVXString original("abc");
    CVXString copy(original);
    at = copy.begin() + 1;
    copy.replace(at, 1, copy);
    EXPECT_STREQ(copy.c_str(), "aabcc");
    EXPECT_STREQ(original.c_str(), "abc");

    CVXString odd("\xC3\xC3"); // accepted as one character, walked as two by the iterator
    at = odd.begin();
    odd.replace(at, 2, CVXString(" "));
    EXPECT_EQ(state(odd), " |1|1");
    EXPECT_TRUE(odd.trim().isEmpty());
}

TEST(CVXStringEdit, AssignEncodesCodePointsAndUnits) {
    const CVXString original("old");
    CVXString s(original);
    const uint32_t codePoints[] = {0x41, 0xE9, 0x20AC, 0x1F600, 0x200000, 0x7FFFFFFF};
    s.assign(codePoints, 6);
    EXPECT_EQ(state(s), "Aé€\xF0\x9F\x98\x80\xF8\x88\x80\x80\x80\xFD\xBF\xBF\xBF\xBF\xBF|21|6");
    EXPECT_STREQ(original.c_str(), "old");
    const uint16_t units[] = {0x53, 0xFFFF, 0xD83D, 0xDE00}; // surrogates are encoded one by one
    s.assign(units, 4);
    EXPECT_EQ(state(s), "S\xEF\xBF\xBF\xED\xA0\xBD\xED\xB8\x80|10|4");
    const uint16_t withZero[] = {'a', 0, 'b'};
    s.assign(withZero, 3);
    EXPECT_EQ(state(s), "a|1|1");
    s.assign(units, 0);
    EXPECT_TRUE(s.isEmpty());
}

} // namespace
