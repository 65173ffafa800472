// Behaviour of the string class: sharing and copy on write, UTF-8 checking, trim, comparison,
// splitting, character access, editing and formatting. Literals are UTF-8 (ß is C3 9F).
#include "foundation/CVXString.h"

#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

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

std::vector<std::string> texts(const TVXVector<CVXString>& pieces) {
    std::vector<std::string> result;
    for (const CVXString& piece : pieces) {
        result.emplace_back(piece.c_str());
    }
    return result;
}

TEST(CVXStringConstruction, EmptyFormsShareOneBlockOthersGetOneOfExactlyTheTextLength) {
    for (const CVXString& s : {CVXString(static_cast<const char*>(nullptr)), CVXString(nullptr, 10),
                               CVXString("abc", 0)}) {
        EXPECT_EQ(state(s), "|0|0");
        EXPECT_EQ(s.c_str(), CVXString::empty().c_str());
    }
    const char withZero[] = {'a', 'b', '\0', 'c', 'd'};
    const struct {
        CVXString s;
        const char* expected;
    } rows[] = {{CVXString("héllo"), "héllo|6|5"},
                {CVXString("abcdef", 3), "abc|3|3"},
                {CVXString(withZero, 5), "ab|2|2"},
                {CVXString::withCapacity(10), "|0|0"}};
    for (const auto& row : rows) {
        EXPECT_EQ(state(row.s), row.expected);
        EXPECT_EQ(row.s.capacity(), row.s.isEmpty() ? 10u : row.s.byteLength());
        EXPECT_EQ(row.s.referenceCount(), 1u);
    }
}

TEST(CVXStringSharing, CopiesShareUntilOneChanges) {
    const CVXString original("  text ");
    CVXString appended(original);
    CVXString trimmed(original);
    EXPECT_EQ(appended.c_str(), original.c_str());
    EXPECT_EQ(original.referenceCount(), 3u);
    appended.append("!");
    trimmed.trim().append("?");
    EXPECT_STREQ(original.c_str(), "  text ");
    EXPECT_EQ(original.referenceCount(), 1u);
    EXPECT_STREQ(appended.c_str(), "  text !");
    EXPECT_STREQ(trimmed.c_str(), "text?");

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
}

TEST(CVXStringUtf8, IllFormedInputKeepsTheValidPrefixAndLogsOnce) {
    const struct {
        const char* start;
        std::string bytes;
        std::string expected;
        bool logged;
    } rows[] = {
        {"start:", "abc\x80xyz", "start:abc|9|9", true},
        {"", "ab\xC3", "ab|2|2", true},
        {"keep", "\xFFxyz", "keep|4|4", true},
        {"a", "\xFC\x84\x80\x80\x80z", "a|1|1", true},
        {"", LONG_SEQUENCES, LONG_SEQUENCES + "|15|3", false},
        {"", "\xC3\xC3", "\xC3\xC3|2|1", false}, // following bytes need only the top bit
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        SlogCapture log;
        const CVXString constructed((row.start + row.bytes).c_str());
        CVXString appended(row.start);
        const char* before = appended.c_str();
        appended.append(row.bytes.c_str());
        EXPECT_EQ(state(constructed), row.expected);
        EXPECT_EQ(state(appended), row.expected);
        if (appended.byteLength() == strlen(row.start)) {
            EXPECT_EQ(appended.c_str(), before); // nothing valid: the block is left alone
        }
        EXPECT_EQ(log.take(), std::vector<SlogLine>(row.logged ? 2 : 0, UTF8_ERROR));
    }
}

TEST(CVXStringCharacters, DecodeAdvanceAndCompare) {
    const CVXString s(("aé€z" + LONG_SEQUENCES).c_str());
    const uint32_t expected[] = {0x61, 0xE9, 0x20AC, 0x7A, 0x1F600, 0x200000, 0x7FFFFFFF, 0, 0};
    for (uint32_t i = 0; i < 9; ++i) {
        EXPECT_EQ(s.charAt(i), expected[i]) << i;
    }
    EXPECT_EQ(CVXString::advance(s.begin(), 2), s.begin() + 3);
    EXPECT_EQ(CVXString::advance(s.begin(), 7), s.end());
    EXPECT_EQ(CVXString::advance(s.begin(), 50), s.end());
    // A position inside an odd sequence whose byte looks like a six-byte lead.
    EXPECT_EQ(CVXString::decode(CVXString("\xC3\xFC").begin() + 1), 0x0u);

    const CVXString a("E2P.Name");
    EXPECT_TRUE(a == CVXString("E2P.Name") && !(a != CVXString("E2P.Name")));
    EXPECT_TRUE(a != CVXString("e2p.Name") && a != CVXString("E2P.Nam"));
    EXPECT_TRUE(CVXString() == CVXString("") && CVXString() != CVXString(" "));
    EXPECT_TRUE(a.startsWith("E2P") && a.startsWith("E2P.Name") && a.startsWith(""));
    EXPECT_FALSE(a.startsWith("e2p") || a.startsWith("E2P.Name.") || CVXString().startsWith("a"));
}

TEST(CVXStringAppend, GrowsToExactlyTheNeededCapacity) {
    CVXString s;
    s.append("abc").append("de");
    EXPECT_EQ(s.capacity(), 5u);
    EXPECT_STREQ(CVXString::empty().c_str(), "");
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
    for (const auto& [input, expected] :
         {std::pair{"\t\n\v\f\r xé \t\n\v\f\r", "xé|3|2"}, std::pair{"\x1Fz\x1F", "\x1Fz\x1F|3|3"},
          std::pair{"    ", "|0|0"}}) {
        CVXString s(input);
        EXPECT_EQ(state(s.trim()), expected) << input;
    }
    CVXString trimmed("a b");
    const CVXString sharer(trimmed);
    trimmed.trim(); // nothing to remove: no copy of the shared block
    EXPECT_EQ(trimmed.c_str(), sharer.c_str());
    CVXString own(" abc ");
    const char* block = own.c_str();
    own.trim(); // a private block is trimmed in place
    EXPECT_EQ(own.c_str(), block);
    EXPECT_EQ(state(own), "abc|3|3");
}

TEST(CVXStringSplit, PiecesWithAndWithoutEmptyOnes) {
    const std::tuple<const char*, const char*, bool, std::vector<std::string>> rows[] = {
        {"a  b", " \t", true, {"a", "b"}},
        {"", ",", false, {""}},
        {"", ",", true, {}},
        {",a,,b,", ",", false, {"", "a", "", "b", ""}},
        {",a,,b,", ",", true, {"a", "b"}},
        {"abc", "", false, {"abc"}},
        // Separators are whole characters: U+00B7 separates; its byte B7 alone does not.
        {"é·x·", "·", false, {"é", "x", ""}},
        {"a·z", "\xC3\xB7", false, {"a·z"}},
    };
    TVXVector<CVXString> pieces;
    for (const auto& [text, separators, skipEmpty, expected] : rows) {
        SCOPED_TRACE(text);
        splitString(CVXString(text), CVXString(separators), skipEmpty, pieces);
        EXPECT_EQ(texts(pieces), expected);
    }
    // The output is cleared first and may hold the input.
    pieces[0] = "x,y";
    splitString(pieces[0], CVXString(","), false, pieces);
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"x", "y"}));

    for (const char* text : {" a ", "b\r\n", " \t", " c "}) {
        pieces.append(CVXString(text));
    }
    EXPECT_TRUE(hasEmptyPiece(pieces)); // trims up to the first empty piece
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"x", "y", "a", "b", "", " c "}));
    pieces[4] = "z";
    EXPECT_FALSE(hasEmptyPiece(pieces));
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"x", "y", "a", "b", "z", "c"}));
}

TEST(CVXStringFormat, ReplacesTheTextAndCutsItTo256Bytes) {
    CVXString s("ab");
    EXPECT_TRUE(s.format("<%s|%s> %02X %d", s.c_str(), s.c_str(), 0xAB, -3));
    EXPECT_EQ(state(s), "<ab|ab> AB -3|13|13");
    const std::string exact(256, 'x');
    EXPECT_TRUE(s.format("%s", exact.c_str()));
    EXPECT_EQ(s.c_str(), exact);
    EXPECT_FALSE(s.format("%s!", exact.c_str()));
    EXPECT_EQ(s.c_str(), exact);

    SlogCapture log; // a character cut in two by the limit is dropped
    EXPECT_FALSE(s.format("%sé", std::string(255, 'a').c_str()));
    EXPECT_EQ(state(s), std::string(255, 'a') + "|255|255");
    EXPECT_EQ(log.lines(), std::vector<SlogLine>{UTF8_ERROR});
}

TEST(CVXStringEdit, SubstringInsertAndReplace) {
    const CVXString s("aéyz");
    const CVXString other("zz");
    EXPECT_EQ(state(s.substring(s.begin() + 1, 2)), "éy|3|2");
    EXPECT_EQ(state(s.substring(s.begin() + 3, 10)), "yz|2|2");
    for (CVXString::Iterator outside :
         {s.end(), s.begin() - 1, other.begin(), CVXString::Iterator{}}) {
        EXPECT_TRUE(s.substring(outside, 1).isEmpty());
    }
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

    CVXString r("aéz");
    at = r.begin() + 1;
    r.replace(at, 1, CVXString("XYZ"));
    EXPECT_EQ(state(r), "aXYZz|5|5");
    EXPECT_EQ(at, r.begin() + 1);
    r.replace(at, 3, CVXString("ß"));
    EXPECT_EQ(state(r), "aßz|4|3");
    r.replace(at, 99, CVXString("!"));
    EXPECT_EQ(state(r), "a!|2|2");
    at = r.begin();
    r.replace(at, 0, CVXString(">"));
    EXPECT_STREQ(r.c_str(), ">a!");
    r.replace(at, 1, CVXString());
    EXPECT_STREQ(r.c_str(), "a!");
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
}

TEST(CVXStringEdit, AssignEncodesCodePointsAndUnits) {
    const CVXString original("old");
    CVXString s(original);
    const uint32_t codePoints[] = {0x41, 0xE9, 0x20AC, 0x1F600, 0x200000, 0x7FFFFFFF};
    s.assign(codePoints, 6);
    EXPECT_EQ(state(s), "Aé€" + LONG_SEQUENCES + "|21|6");
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
