// The string class at its limits: capacity reports, a released dead block, assertions that abort,
// and blocks shared between threads.
#include "foundation/CVXString.h"

#include "foundation/VXAssert.h"
#include "foundation/VXOperatingSystem.h"
#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

namespace {

// The header words of a string's block: references, capacity, byteLength, charCount.
uint32_t* header(const CVXString& s) {
    return static_cast<uint32_t*>(
        static_cast<void*>(const_cast<char*>(s.c_str()) - CVXString::TEXT_OFFSET));
}

enum { REFERENCES, CAPACITY, BYTE_LENGTH };

// Each operation runs on a block that claims a size near the limit; it must report and leave the
// string as it was. The header is restored before the block is freed.
TEST(CVXStringLimits, OperationsBeyondTheCapacityLimitAreReportedAndRefused) {
    using Operation = void (*)(CVXString&, CVXString::Iterator&);
    const struct {
        int field;
        uint32_t claimed;
        Operation operation;
        const char* message;
        uint32_t reports;
    } rows[] = {
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
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        SlogCapture log;
        const uint32_t before = VXAssertionCount();
        CVXString s(" abc ");
        const char* text = s.c_str();
        CVXString::Iterator at = s.begin();
        const uint32_t saved = header(s)[row.field];
        header(s)[row.field] = row.claimed;
        row.operation(s, at);
        header(s)[row.field] = saved;
        EXPECT_EQ(VXAssertionCount() - before, row.reports);
        EXPECT_EQ(countAssertionReports(log.lines(), "CVXString", row.message), row.reports);
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
    EXPECT_EQ(s.charCount(), 2u);
    EXPECT_STREQ(s.c_str(), "ok");
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
                CVXString copy(shared[round % 3]);
                copy.trim().append("!"); // a private copy; the shared text stays
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_STREQ(shared[0].c_str(), "alpha");
    EXPECT_STREQ(shared[2].c_str(), " gamma ");
    for (const CVXString& s : shared) {
        EXPECT_EQ(s.referenceCount(), 1u);
    }
}

} // namespace
