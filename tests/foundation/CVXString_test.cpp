// Behaviour of the string class: sharing and copy on write, UTF-8 checking, trim, comparison,
// splitting, character access, editing and formatting.
#include "foundation/CVXString.h"

#include "foundation/platform/VXSlog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const UTF8_LINE = "The character sequence contains a wrong coded UTF-8 sequence !";

// Captures the process-log lines while it exists.
class LogCapture {
public:
    struct Line {
        int opcode;
        int severity;
        std::string text;
    };

    LogCapture() { VXSlogSetSink(&LogCapture::sink, this, &m_previousSink, &m_previousContext); }
    ~LogCapture() { VXSlogSetSink(m_previousSink, m_previousContext); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Lines whose text ends with message.
    int countEndingWith(const std::string& message) const {
        int count = 0;
        for (const Line& line : lines) {
            if (line.text.size() >= message.size() &&
                line.text.compare(line.text.size() - message.size(), message.size(), message) ==
                    0) {
                ++count;
            }
        }
        return count;
    }

    std::vector<Line> lines;

private:
    static int sink(void* context, int opcode, int severity, const char* text) {
        static_cast<LogCapture*>(context)->lines.push_back({opcode, severity, text});
        return static_cast<int>(std::strlen(text));
    }

    VXSlogSink m_previousSink = nullptr;
    void* m_previousContext = nullptr;
};

std::vector<std::string> texts(const TVXVector<CVXString>& pieces) {
    std::vector<std::string> result;
    for (const CVXString& piece : pieces) {
        result.emplace_back(piece.c_str());
    }
    return result;
}

} // namespace

// ---- construction and sharing ----

TEST(CVXStringConstruction, DefaultAndNullAreTheSharedEmptyString) {
    const CVXString byDefault;
    const CVXString fromNull(static_cast<const char*>(nullptr));
    const CVXString fromNullLimited(nullptr, 10);
    for (const CVXString* s : {&byDefault, &fromNull, &fromNullLimited}) {
        EXPECT_EQ(s->byteLength(), 0u);
        EXPECT_EQ(s->charCount(), 0u);
        EXPECT_EQ(s->capacity(), 0u);
        EXPECT_STREQ(s->c_str(), "");
        EXPECT_EQ(s->referenceCount(), 2u);
        EXPECT_EQ(s->c_str(), CVXString::empty().c_str());
    }
}

TEST(CVXStringConstruction, CStringGetsPrivateBlockOfExactLength) {
    const CVXString s("h\xC3\xA9llo");
    EXPECT_STREQ(s.c_str(), "h\xC3\xA9llo");
    EXPECT_EQ(s.byteLength(), 6u);
    EXPECT_EQ(s.charCount(), 5u);
    EXPECT_EQ(s.capacity(), 6u);
    EXPECT_EQ(s.referenceCount(), 1u);
}

TEST(CVXStringConstruction, MaxLengthStopsAtLimitOrFirstZeroByte) {
    EXPECT_STREQ(CVXString("abcdef", 3).c_str(), "abc");
    const char withZero[] = {'a', 'b', '\0', 'c', 'd'};
    const CVXString cut(withZero, 5);
    EXPECT_STREQ(cut.c_str(), "ab");
    EXPECT_EQ(cut.byteLength(), 2u);
    EXPECT_EQ(CVXString("abc", 0).byteLength(), 0u);
}

TEST(CVXStringConstruction, WithCapacityIsEmptyAndPrivate) {
    const CVXString s = CVXString::withCapacity(10);
    EXPECT_EQ(s.capacity(), 10u);
    EXPECT_EQ(s.byteLength(), 0u);
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_EQ(s.referenceCount(), 1u);
}

TEST(CVXStringConstruction, SharpSIsOneCharacterOfTwoBytes) {
    const CVXString s("\xC3\x9F");
    EXPECT_EQ(s.charCount(), 1u);
    EXPECT_EQ(s.byteLength(), 2u);
}

TEST(CVXStringSharing, CopySharesTheBlock) {
    const CVXString original("shared");
    const CVXString copy(original);
    EXPECT_EQ(original.c_str(), copy.c_str());
    EXPECT_EQ(original.referenceCount(), 2u);
    {
        CVXString assigned;
        assigned = copy;
        EXPECT_EQ(original.referenceCount(), 3u);
    }
    EXPECT_EQ(original.referenceCount(), 2u);
}

TEST(CVXStringSharing, ChangingACopyLeavesTheOriginal) {
    const CVXString original("  text ");
    CVXString appended(original);
    appended.append("!");
    CVXString trimmed(original);
    trimmed.trim();
    EXPECT_STREQ(original.c_str(), "  text ");
    EXPECT_EQ(original.referenceCount(), 1u);
    EXPECT_STREQ(appended.c_str(), "  text !");
    EXPECT_STREQ(trimmed.c_str(), "text");
}

TEST(CVXStringSharing, AssignmentOfSameBlockAndSelfKeepsCount) {
    CVXString a("x");
    CVXString b(a);
    a = b;
    a = *&a;
    EXPECT_EQ(a.referenceCount(), 2u);
    EXPECT_STREQ(a.c_str(), "x");
}

TEST(CVXStringSharing, AssignmentReleasesTheOldBlock) {
    const CVXString first("first");
    CVXString target(first);
    target = CVXString("second");
    EXPECT_EQ(first.referenceCount(), 1u);
    EXPECT_STREQ(target.c_str(), "second");
}

TEST(CVXStringSharing, MoveLeavesSourceEmpty) {
    CVXString source("moved");
    const char* text = source.c_str();
    CVXString target(std::move(source));
    EXPECT_EQ(target.c_str(), text);
    EXPECT_EQ(target.referenceCount(), 1u);
    EXPECT_TRUE(source.isEmpty()); // NOLINT(bugprone-use-after-move)
    CVXString other("other");
    other = std::move(target);
    EXPECT_EQ(other.c_str(), text);
    EXPECT_TRUE(target.isEmpty()); // NOLINT(bugprone-use-after-move)
}

// ---- UTF-8 checking ----

TEST(CVXStringUtf8, LoneContinuationByteKeepsPrefixAndLogsOnce) {
    LogCapture log;
    CVXString s("start:");
    s.append("abc\x80"
             "def");
    EXPECT_STREQ(s.c_str(), "start:abc");
    EXPECT_EQ(s.charCount(), 9u);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].severity, 2);
    EXPECT_EQ(log.lines[0].opcode, 10000);
    EXPECT_EQ(log.countEndingWith(std::string(": ") + UTF8_LINE), 1);
}

TEST(CVXStringUtf8, TruncatedSequenceAtEndIsDropped) {
    LogCapture log;
    const CVXString s("ab\xC3");
    EXPECT_STREQ(s.c_str(), "ab");
    EXPECT_EQ(s.byteLength(), 2u);
    EXPECT_EQ(s.charCount(), 2u);
    EXPECT_EQ(log.countEndingWith(UTF8_LINE), 1);
}

TEST(CVXStringUtf8, NothingValidAddsNothing) {
    LogCapture log;
    CVXString s("keep");
    const char* before = s.c_str();
    s.append("\xFF"
             "abc");
    EXPECT_STREQ(s.c_str(), "keep");
    EXPECT_EQ(s.c_str(), before);
    const CVXString bad("\xFE");
    EXPECT_TRUE(bad.isEmpty());
    EXPECT_EQ(log.countEndingWith(UTF8_LINE), 2);
}

TEST(CVXStringUtf8, LongSequencesUpToSixBytes) {
    LogCapture log;
    const CVXString s("\xF0\x9F\x98\x80"         // U+1F600
                      "\xF8\x88\x80\x80\x80"     // 0x200000
                      "\xFC\x84\x80\x80\x80\x80" // 0x4000000
                      "\xFD\xBF\xBF\xBF\xBF\xBF" // 0x7FFFFFFF
    );
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(s.byteLength(), 21u);
    EXPECT_EQ(s.charCount(), 4u);
    EXPECT_EQ(s.charAt(0), 0x1F600u);
    EXPECT_EQ(s.charAt(1), 0x200000u);
    EXPECT_EQ(s.charAt(2), 0x4000000u);
    EXPECT_EQ(s.charAt(3), 0x7FFFFFFFu);
}

TEST(CVXStringUtf8, ShortSixByteSequenceIsCut) {
    LogCapture log;
    const CVXString s("a\xFC\x84\x80\x80\x80"
                      "b");
    EXPECT_STREQ(s.c_str(), "a");
    EXPECT_EQ(log.countEndingWith(UTF8_LINE), 1);
}

TEST(CVXStringUtf8, FollowingBytesOnlyNeedTheTopBit) {
    LogCapture log;
    const CVXString s("\xC3\xC3");
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(s.byteLength(), 2u);
    EXPECT_EQ(s.charCount(), 1u);
}

// ---- character access ----

TEST(CVXStringCharacters, CharAtDecodesAndEndsWithZero) {
    const CVXString s("a\xC3\xA9\xE2\x82\xAC"
                      "z");
    EXPECT_EQ(s.charAt(0), 0x61u);
    EXPECT_EQ(s.charAt(1), 0xE9u);
    EXPECT_EQ(s.charAt(2), 0x20ACu);
    EXPECT_EQ(s.charAt(3), 0x7Au);
    EXPECT_EQ(s.charAt(4), 0u);
    EXPECT_EQ(s.charAt(100), 0u);
}

TEST(CVXStringCharacters, AdvanceStopsAtTheEnd) {
    const CVXString s("\xC3\xA9x");
    EXPECT_EQ(CVXString::advance(s.begin(), 1), s.begin() + 2);
    EXPECT_EQ(CVXString::advance(s.begin(), 2), s.end());
    EXPECT_EQ(CVXString::advance(s.begin(), 50), s.end());
    EXPECT_EQ(CVXString::advance(s.begin(), 0), s.begin());
}

TEST(CVXStringCharacters, DecodeNeverReadsPastTheTerminator) {
    // A position inside an odd sequence whose byte looks like a six-byte lead.
    const CVXString s("\xC3\xFC");
    EXPECT_EQ(CVXString::decode(s.begin() + 1), 0x0u);
}

// ---- comparison ----

TEST(CVXStringCompare, EqualityBySharedBlockOrSameText) {
    const CVXString a("name");
    const CVXString b("name");
    const CVXString c(a);
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(a == c);
    EXPECT_FALSE(a != b);
    EXPECT_TRUE(a != CVXString("Name"));
    EXPECT_TRUE(a != CVXString("nam"));
    EXPECT_TRUE(CVXString() == CVXString(""));
    EXPECT_TRUE(CVXString() != CVXString(" "));
}

TEST(CVXStringCompare, StartsWith) {
    const CVXString s("E2P.Name");
    EXPECT_TRUE(s.startsWith("E2P"));
    EXPECT_TRUE(s.startsWith("E2P.Name"));
    EXPECT_TRUE(s.startsWith(""));
    EXPECT_FALSE(s.startsWith("e2p"));
    EXPECT_FALSE(s.startsWith("E2P.Name."));
    EXPECT_FALSE(CVXString().startsWith("a"));
    EXPECT_TRUE(CVXString().startsWith(""));
}

// ---- append ----

TEST(CVXStringAppend, GrowsToExactlyTheNeededCapacity) {
    CVXString s("abc");
    s.append("de");
    EXPECT_STREQ(s.c_str(), "abcde");
    EXPECT_EQ(s.capacity(), 5u);
    s.append("xyz", 1);
    EXPECT_STREQ(s.c_str(), "abcdex");
    EXPECT_EQ(s.capacity(), 6u);
    EXPECT_EQ(s.charCount(), 6u);
}

TEST(CVXStringAppend, NothingForNullZeroLimitOrEmpty) {
    CVXString s("abc");
    const char* before = s.c_str();
    s.append(nullptr);
    s.append("x", 0);
    s.append("");
    s.append(CVXString());
    EXPECT_EQ(s.c_str(), before);
    EXPECT_STREQ(s.c_str(), "abc");
}

TEST(CVXStringAppend, AnotherStringAddsBothCounts) {
    CVXString s("a");
    s.append(CVXString("\xC3\x9F\xC3\x9F"));
    EXPECT_STREQ(s.c_str(), "a\xC3\x9F\xC3\x9F");
    EXPECT_EQ(s.byteLength(), 5u);
    EXPECT_EQ(s.charCount(), 3u);
}

TEST(CVXStringAppend, ItselfAndItsOwnText) {
    CVXString s("ab");
    s.append(s);
    EXPECT_STREQ(s.c_str(), "abab");
    s.append(s.c_str() + 1);
    EXPECT_STREQ(s.c_str(), "ababbab");
    EXPECT_EQ(s.charCount(), 7u);
}

TEST(CVXStringAppend, EmptyStringGetsABlockOfItsOwn) {
    CVXString s;
    s.append("x");
    EXPECT_STREQ(s.c_str(), "x");
    EXPECT_EQ(s.referenceCount(), 1u);
    EXPECT_STREQ(CVXString::empty().c_str(), "");
}

// ---- trim ----

TEST(CVXStringTrim, RemovesExactlyTheOuterWhiteSpace) {
    CVXString s("  a b \r\n");
    s.trim();
    EXPECT_STREQ(s.c_str(), "a b");
    EXPECT_EQ(s.byteLength(), 3u);
    EXPECT_EQ(s.charCount(), 3u);
}

TEST(CVXStringTrim, AllSixWhiteSpaceBytes) {
    CVXString s("\t\n\v\f\r x\xC3\xA9 \t\n\v\f\r");
    EXPECT_STREQ(s.trim().c_str(), "x\xC3\xA9");
    EXPECT_EQ(s.charCount(), 2u);
    CVXString other("\x1F"
                    "a\xA0");
    // 0x1F is no white space; a lone 0xA0 never gets in.
    EXPECT_STREQ(other.trim().c_str(), "\x1F"
                                       "a");
}

TEST(CVXStringTrim, OnlyWhiteSpaceBecomesEmpty) {
    CVXString s("    ");
    s.trim();
    EXPECT_TRUE(s.isEmpty());
    EXPECT_EQ(s.charCount(), 0u);
    EXPECT_STREQ(s.c_str(), "");
}

TEST(CVXStringTrim, TrimmedStringChangesNothingAndAllocatesNothing) {
    CVXString s("a b");
    const CVXString shared(s);
    const char* before = s.c_str();
    s.trim();
    EXPECT_EQ(s.c_str(), before);
    EXPECT_EQ(s.referenceCount(), 2u);
    CVXString empty;
    empty.trim();
    EXPECT_EQ(empty.c_str(), CVXString::empty().c_str());
}

TEST(CVXStringTrim, PrivateBlockIsTrimmedInPlace) {
    CVXString s(" abc ");
    const char* before = s.c_str();
    s.trim();
    EXPECT_EQ(s.c_str(), before);
    EXPECT_EQ(s.capacity(), 5u);
}

TEST(CVXStringTrim, SharedBlockGetsACopyWithoutTheRemovedBytes) {
    const CVXString original(" abc  ");
    CVXString copy(original);
    copy.trim().append("d");
    EXPECT_STREQ(copy.c_str(), "abcd");
    EXPECT_STREQ(original.c_str(), " abc  ");
}

// ---- split and pieces ----

TEST(CVXStringSplit, SkipEmptyDropsEmptyPieces) {
    TVXVector<CVXString> pieces;
    splitString(CVXString("a  b"), CVXString(" \t"), true, pieces);
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"a", "b"}));
    splitString(CVXString("a  b"), CVXString(" \t"), false, pieces);
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"a", "", "b"}));
}

TEST(CVXStringSplit, EmptyText) {
    TVXVector<CVXString> pieces;
    splitString(CVXString(), CVXString(","), false, pieces);
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{""}));
    splitString(CVXString(), CVXString(","), true, pieces);
    EXPECT_EQ(pieces.size(), 0);
}

TEST(CVXStringSplit, SeparatorsAtTheEnds) {
    TVXVector<CVXString> pieces;
    splitString(CVXString(",a,,b,"), CVXString(","), false, pieces);
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"", "a", "", "b", ""}));
    splitString(CVXString(",a,,b,"), CVXString(","), true, pieces);
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"a", "b"}));
    splitString(CVXString("E2P."), CVXString("."), false, pieces);
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"E2P", ""}));
    splitString(CVXString("abc"), CVXString(), false, pieces);
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"abc"}));
}

TEST(CVXStringSplit, SeparatorsAreWholeCharacters) {
    TVXVector<CVXString> pieces;
    // U+00B7 separates; U+00E9 shares its lead byte 0xC3 with nothing here but must stay whole.
    splitString(CVXString("\xC3\xA9\xC2\xB7x\xC2\xB7"), CVXString("\xC2\xB7"), false, pieces);
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"\xC3\xA9", "x", ""}));
    EXPECT_EQ(pieces[0].charCount(), 1u);
    // 0xB7 alone (the following byte of U+00B7) is not a separator character.
    splitString(CVXString("a\xC2\xB7"
                          "b"),
                CVXString("\xC3\xB7"), false, pieces);
    EXPECT_EQ(pieces.size(), 1);
}

TEST(CVXStringSplit, OutIsClearedAndMayHoldTheInput) {
    TVXVector<CVXString> pieces;
    pieces.append(CVXString("x,y"));
    pieces.append(CVXString("old"));
    splitString(pieces[0], CVXString(","), false, pieces);
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"x", "y"}));
}

TEST(CVXStringPieces, HasEmptyPieceTrimsUpToTheFirstEmpty) {
    TVXVector<CVXString> pieces;
    pieces.append(CVXString(" a "));
    pieces.append(CVXString(" \t"));
    pieces.append(CVXString(" b "));
    EXPECT_TRUE(hasEmptyPiece(pieces));
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"a", "", " b "}));
}

TEST(CVXStringPieces, NoEmptyPieceTrimsAll) {
    TVXVector<CVXString> pieces;
    pieces.append(CVXString(" a "));
    pieces.append(CVXString("b\r\n"));
    EXPECT_FALSE(hasEmptyPiece(pieces));
    EXPECT_EQ(texts(pieces), (std::vector<std::string>{"a", "b"}));
    TVXVector<CVXString> none;
    EXPECT_FALSE(hasEmptyPiece(none));
}

// ---- format ----

TEST(CVXStringFormat, FormatsAndReplacesTheText) {
    CVXString s("old");
    EXPECT_TRUE(s.format("%s=%02X %d", "E2P.A", 0xAB, -3));
    EXPECT_STREQ(s.c_str(), "E2P.A=AB -3");
    EXPECT_EQ(s.charCount(), 11u);
    EXPECT_TRUE(s.format("%s", ""));
    EXPECT_TRUE(s.isEmpty());
}

TEST(CVXStringFormat, LongOutputIsCutTo256Bytes) {
    CVXString s;
    const std::string exact(256, 'x');
    EXPECT_TRUE(s.format("%s", exact.c_str()));
    EXPECT_EQ(s.byteLength(), 256u);
    const std::string longer(300, 'y');
    EXPECT_FALSE(s.format("%s!", longer.c_str()));
    EXPECT_EQ(s.byteLength(), 256u);
    EXPECT_EQ(std::string(s.c_str()), longer.substr(0, 256));
}

TEST(CVXStringFormat, CharacterCutByTheLimitIsDropped) {
    LogCapture log;
    CVXString s;
    const std::string text = std::string(255, 'a') + "\xC3\xA9";
    EXPECT_FALSE(s.format("%s", text.c_str()));
    EXPECT_EQ(s.byteLength(), 255u);
    EXPECT_EQ(log.countEndingWith(UTF8_LINE), 1);
}

TEST(CVXStringFormat, MayUseItsOwnText) {
    CVXString s("ab");
    EXPECT_TRUE(s.format("<%s|%s>", s.c_str(), s.c_str()));
    EXPECT_STREQ(s.c_str(), "<ab|ab>");
}

// ---- substring, insert, replace, assign ----

TEST(CVXStringEdit, Substring) {
    const CVXString s("a\xC3\xA9"
                      "bc");
    EXPECT_STREQ(s.substring(s.begin(), 2).c_str(), "a\xC3\xA9");
    EXPECT_STREQ(s.substring(CVXString::advance(s.begin(), 1), 2).c_str(), "\xC3\xA9"
                                                                           "b");
    EXPECT_STREQ(s.substring(CVXString::advance(s.begin(), 2), 10).c_str(), "bc");
    EXPECT_EQ(s.substring(CVXString::advance(s.begin(), 2), 10).charCount(), 2u);
    EXPECT_TRUE(s.substring(s.begin(), 0).isEmpty());
    EXPECT_TRUE(s.substring(s.end(), 1).isEmpty());
    EXPECT_TRUE(s.substring(s.begin() - 1, 1).isEmpty());
    EXPECT_TRUE(s.substring(nullptr, 1).isEmpty());
    const CVXString other("zz");
    EXPECT_TRUE(s.substring(other.begin(), 1).isEmpty());
}

TEST(CVXStringEdit, InsertMovesTheTailAndTheIterator) {
    CVXString s("ac");
    CVXString::Iterator at = s.begin() + 1;
    s.insert(at, CVXString("\xC3\x9F"
                           "b"));
    EXPECT_STREQ(s.c_str(), "a\xC3\x9F"
                            "bc");
    EXPECT_EQ(s.charCount(), 4u);
    EXPECT_EQ(at, s.begin() + 1);
    at = s.end();
    s.insert(at, CVXString("!"));
    EXPECT_STREQ(s.c_str(), "a\xC3\x9F"
                            "bc!");
    at = s.begin();
    s.insert(at, s);
    EXPECT_STREQ(s.c_str(), "a\xC3\x9F"
                            "bc!a\xC3\x9F"
                            "bc!");
    EXPECT_EQ(s.charCount(), 10u);
}

TEST(CVXStringEdit, InsertOutsideTheTextDoesNothing) {
    CVXString s("abc");
    const CVXString other("xyz");
    CVXString::Iterator at = other.begin();
    s.insert(at, CVXString("!"));
    EXPECT_STREQ(s.c_str(), "abc");
    EXPECT_EQ(at, other.begin());
}

TEST(CVXStringEdit, InsertIntoASharedBlockCopiesIt) {
    const CVXString original("ab");
    CVXString copy(original);
    CVXString::Iterator at = copy.begin() + 1;
    copy.insert(at, CVXString("-"));
    EXPECT_STREQ(copy.c_str(), "a-b");
    EXPECT_STREQ(original.c_str(), "ab");
    EXPECT_EQ(*at, '-');
}

TEST(CVXStringEdit, ReplaceLongerShorterAndPastTheEnd) {
    CVXString s("a\xC3\xA9"
                "c");
    CVXString::Iterator at = s.begin() + 1;
    s.replace(at, 1, CVXString("XYZ"));
    EXPECT_STREQ(s.c_str(), "aXYZc");
    EXPECT_EQ(s.charCount(), 5u);
    EXPECT_EQ(at, s.begin() + 1);
    s.replace(at, 3, CVXString("\xC3\x9F"));
    EXPECT_STREQ(s.c_str(), "a\xC3\x9F"
                            "c");
    EXPECT_EQ(s.charCount(), 3u);
    EXPECT_EQ(s.byteLength(), 4u);
    at = s.begin() + 1;
    s.replace(at, 99, CVXString("!"));
    EXPECT_STREQ(s.c_str(), "a!");
    EXPECT_EQ(s.charCount(), 2u);
    at = s.begin();
    s.replace(at, 0, CVXString(">"));
    EXPECT_STREQ(s.c_str(), ">a!");
    at = s.begin();
    s.replace(at, 1, CVXString());
    EXPECT_STREQ(s.c_str(), "a!");
}

TEST(CVXStringEdit, ReplaceInASharedBlockOrByItself) {
    const CVXString original("abc");
    CVXString copy(original);
    CVXString::Iterator at = copy.begin() + 1;
    copy.replace(at, 1, copy);
    EXPECT_STREQ(copy.c_str(), "aabcc");
    EXPECT_STREQ(original.c_str(), "abc");
    EXPECT_EQ(copy.referenceCount(), 1u);
}

TEST(CVXStringEdit, AssignEncodesCodePointsAndUnits) {
    CVXString s("old");
    const uint32_t codePoints[] = {0x41, 0xE9, 0x20AC, 0x1F600, 0x200000, 0x7FFFFFFF};
    s.assign(codePoints, 6);
    EXPECT_STREQ(s.c_str(), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF8\x88\x80\x80\x80"
                            "\xFD\xBF\xBF\xBF\xBF\xBF");
    EXPECT_EQ(s.charCount(), 6u);
    EXPECT_EQ(s.byteLength(), 21u);
    const uint16_t units[] = {0x53, 0xFFFF, 0xD83D, 0xDE00};
    s.assign(units, 4);
    EXPECT_STREQ(s.c_str(), "S\xEF\xBF\xBF\xED\xA0\xBD\xED\xB8\x80");
    EXPECT_EQ(s.charCount(), 4u);
    s.assign(units, 0);
    EXPECT_TRUE(s.isEmpty());
}

TEST(CVXStringEdit, AssignStopsAtAZeroValue) {
    CVXString s;
    const uint16_t units[] = {'a', 0, 'b'};
    s.assign(units, 3);
    EXPECT_STREQ(s.c_str(), "a");
    EXPECT_EQ(s.charCount(), 1u);
}

TEST(CVXStringEdit, AssignLeavesASharedBlockAlone) {
    const CVXString original("keep");
    CVXString copy(original);
    const uint32_t codePoints[] = {'x'};
    copy.assign(codePoints, 1);
    EXPECT_STREQ(copy.c_str(), "x");
    EXPECT_STREQ(original.c_str(), "keep");
}

TEST(CVXStringEdit, OddSequencesNeverWrapTheCount) {
    // Accepted as one character, walked as two by the iterator.
    CVXString s("\xC3\xC3");
    CVXString::Iterator at = s.begin();
    s.replace(at, 2, CVXString(" "));
    EXPECT_STREQ(s.c_str(), " ");
    EXPECT_EQ(s.charCount(), 1u);
    EXPECT_TRUE(s.trim().isEmpty());
}
