// The string class: UTF-8 checking, copy on write, editing, capacity limits (sums beyond 32 bits)
// and upper case. The fuzz target and the description files check splitting and trimming.
#include "foundation/CVXString.h"

#include "foundation/VXAssert.h"
#include "foundation/VXUnicodeCaseTables.h"
#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

namespace {

// "<text>|<byte length>|<character count>"
std::string state(const CVXString& s) {
    return std::string(s.c_str()) + "|" + std::to_string(s.byteLength()) + "|" +
           std::to_string(s.charCount());
}

TEST(CVXStringUtf8, ConstructionAndAppendKeepTheValidPrefixAndLogOnce) {
    // 1 to 6 bytes: a, U+00E9, U+20AC, U+1F600, 0x200000, 0x7FFFFFFF.
    const std::string all = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF8\x88\x80\x80\x80"
                            "\xFD\xBF\xBF\xBF\xBF\xBF";
    const std::tuple<std::string, uint32_t, std::string, int> rows[] = {
        {all, 99, all + "|21|6", 0},         {std::string("abc\0d", 5), 2, "ab|2|2", 0},
        {"\xC3\xC3", 99, "\xC3\xC3|2|1", 0}, // following bytes need only the top bit
        {"abc\x80xyz", 99, "abc|3|3", 2},    {"\xFC\x84\x80\x80\x80z", 99, "|0|0", 2},
    };
    for (const auto& [bytes, maxLength, expected, logged] : rows) {
        SlogCapture log;
        const CVXString constructed(bytes.data(), maxLength);
        CVXString appended("k");
        const char* before = appended.c_str();
        appended.append(bytes.c_str(), maxLength);
        EXPECT_EQ(state(constructed), expected);
        EXPECT_EQ(appended.c_str() == before, constructed.isEmpty()); // nothing valid: no new block
        const std::string error = "The character sequence contains a wrong coded UTF-8 sequence !";
        EXPECT_EQ(log.take(), std::vector<SlogLine>(logged, processLine(VX_SLOG_ERROR, error)));
    }
    const uint32_t codePoints[] = {0x61, 0xE9, 0x20AC, 0x1F600, 0x200000, 0x7FFFFFFF, 0};
    for (uint32_t i = 0; i < 7; ++i) {
        EXPECT_EQ(CVXString(all.c_str()).charAt(i), codePoints[i]) << i;
    }
}

TEST(CVXStringEdit, CopiesShareUntilOneChangesAndEditsChangeTheirOwnCopy) {
    const CVXString s(" a\xC3\xA9yz");
    CVXString trimmed(s);
    trimmed.trim().append("?"); // every new block has the exact size
    EXPECT_EQ(state(s) + state(trimmed) + std::to_string(trimmed.capacity()),
              " a\xC3\xA9yz|6|5a\xC3\xA9yz?|6|56");
    EXPECT_EQ(state(trimmed.substring(trimmed.begin(), 2)) + state(s.substring(s.begin() + 4, 9)),
              "a\xC3\xA9|3|2yz|2|2");
    for (CVXString::Iterator outside :
         {s.end(), s.begin() - 1, trimmed.begin(), CVXString::Iterator{}}) {
        EXPECT_TRUE(s.substring(outside, 1).isEmpty());
    }
    CVXString edited("zz");
    const CVXString other(edited);
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
    const char* block = r.c_str();
    at = r.begin() + 1;
    r.replace(at, 1, CVXString("X")); // a private block that fits is changed in place
    EXPECT_EQ(r.c_str(), block);
    r.replace(at, 1, CVXString("XYZ"));
    EXPECT_EQ(at, r.begin() + 1);
    r.replace(at, 3, CVXString("\xC3\x9F"));
    r.replace(at, 99, r);
    at = r.begin();
    r.replace(at, 0, CVXString(">"));
    EXPECT_EQ(state(r), ">aa\xC3\x9Fz|6|5");
    CVXString odd("\xC3\xC3"); // accepted as one character, walked as two by the iterator
    at = odd.begin();
    odd.replace(at, 2, CVXString(" "));
    EXPECT_EQ(state(odd), " |1|1");

    const uint16_t units[] = {0x53, 0xFFFF, 0xD83D, 0xDE00, 0, 0x54}; // surrogates one by one
    r.assign(units, 6);
    EXPECT_EQ(state(r), "S\xEF\xBF\xBF\xED\xA0\xBD\xED\xB8\x80|10|4");
    SlogCapture log; // a character cut in two by the limit of 256 bytes is dropped
    const std::string exact(256, 'x');
    EXPECT_TRUE(r.format("%s", exact.c_str()));
    EXPECT_FALSE(r.format("%s!", exact.c_str()));
    EXPECT_EQ(r.c_str(), exact);
    EXPECT_FALSE(r.format("%s\xC3\xA9", exact.c_str() + 1));
    EXPECT_EQ(state(r), exact.substr(1) + "|255|255");
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
    const CVXString original("az\u00DF\u00FF\u03C2\U00010428\u0390\u1F80\uFB03\u0131");
    CVXString s(original);
    toUpperCase(s); // expansions, two bytes that become one, no table for other planes
    EXPECT_EQ(state(s), "AZSS\u0178\u03A3\U00010428\u0399\u0308\u0301\u1F08\u0399FFII|27|16");
    EXPECT_EQ(original.charCount(), 10u);
}

// The header words of a string's block: references, capacity, byteLength.
uint32_t* headerOf(const CVXString& s) {
    return static_cast<uint32_t*>(
        static_cast<void*>(const_cast<char*>(s.c_str()) - CVXString::TEXT_OFFSET));
}

// Each operation runs on a block whose header claims a size near the limit; it must report and
// leave the string as it was.
TEST(CVXStringLimits, CapacitiesAtTheLimitAndTopBitCodePointsAreReported) {
    using Operation = void (*)(CVXString&, CVXString::Iterator&);
    const std::tuple<int, uint32_t, Operation, const char*, int> rows[] = {
        {2, CVXString::CAPACITY_LIMIT - 2,
         [](CVXString& s, CVXString::Iterator&) { s.append("xy").append(CVXString("xy")); },
         "addReference: Capacity 4294967276", 2},
        {2, 0xFFFFFFF0u,
         [](CVXString& s, CVXString::Iterator& at) { s.insert(at, CVXString("0123456789abcdef")); },
         "addReference: Capacity 4294967296", 1},
        {1, CVXString::CAPACITY_LIMIT, [](CVXString& s, CVXString::Iterator&) { s.trim(); },
         "trim: Capacity 4294967276", 1},
        {1, 0xFFFFFFF0u, [](CVXString& s, CVXString::Iterator& at) { s.replace(at, 1, "x"); },
         "replace: Capacity 4294967280", 1},
        {2, CVXString::CAPACITY_LIMIT - 1,
         [](CVXString& s, CVXString::Iterator& at) { s.replace(at, 1, "xy"); },
         "addReference: Capacity 4294967276", 1},
    };
    SlogCapture log;
    for (const auto& [field, claimed, operation, message, reports] : rows) {
        CVXString s(" abc ");
        CVXString::Iterator at = s.begin();
        uint32_t* header = headerOf(s);
        const uint32_t saved = std::exchange(header[field], claimed);
        operation(s, at);
        header[field] = saved;
        EXPECT_EQ(countAssertionReports(log.take(), "CVXString",
                                        "CVXString::" + std::string(message) + " not valid!"),
                  reports)
            << message;
        EXPECT_EQ(state(s) + (at == s.begin() ? "" : " moved"), " abc |5|5");
    }
    const uint32_t before = VXAssertionCount();
    CVXString s;
    const uint32_t codePoints[] = {'o', 0xE9, 0x1F600, 0x200000, 0x7FFFFFFF, 0x80000000u, 'x'};
    s.assign(codePoints, 7);
    EXPECT_EQ(state(s),
              "o\xC3\xA9\xF0\x9F\x98\x80\xF8\x88\x80\x80\x80\xFD\xBF\xBF\xBF\xBF\xBF|18|5");
    EXPECT_EQ(VXAssertionCount() - before, 1u);
}

} // namespace
