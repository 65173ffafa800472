// The string class at its limits: capacity reports, a released dead block, assertions that abort,
// and blocks shared between threads.
#include "foundation/CVXString.h"

#include "foundation/VXAssert.h"
#include "foundation/VXOperatingSystem.h"
#include "foundation/platform/VXSlog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// Captures the process-log lines and counts the assertions reported while it exists.
class AssertionCapture {
public:
    AssertionCapture() : m_assertionsBefore(VXAssertionCount()) {
        VXSlogSetSink(&AssertionCapture::sink, this, &m_previousSink, &m_previousContext);
    }
    ~AssertionCapture() { VXSlogSetSink(m_previousSink, m_previousContext); }
    AssertionCapture(const AssertionCapture&) = delete;
    AssertionCapture& operator=(const AssertionCapture&) = delete;

    uint32_t assertions() const { return VXAssertionCount() - m_assertionsBefore; }

    // True when a severity-2 line ends with the assertion text of source CVXString and message.
    bool reported(const std::string& message) const {
        const std::string tail = ": ASSERTION \"" + message + "\" failed";
        for (const std::string& line : m_lines) {
            if (line.find(" CVXString:") != std::string::npos && line.size() >= tail.size() &&
                line.compare(line.size() - tail.size(), tail.size(), tail) == 0) {
                return true;
            }
        }
        return false;
    }

private:
    static int sink(void* context, int /*opcode*/, int severity, const char* text) {
        if (severity == VX_SEVERITY_ERROR) {
            static_cast<AssertionCapture*>(context)->m_lines.emplace_back(text);
        }
        return static_cast<int>(std::strlen(text));
    }

    uint32_t m_assertionsBefore;
    std::vector<std::string> m_lines;
    VXSlogSink m_previousSink = nullptr;
    void* m_previousContext = nullptr;
};

// The header words of a string's block: references, capacity, byteLength, charCount.
uint32_t* header(const CVXString& s) {
    // The block start is malloc-aligned.
    void* block = const_cast<char*>(s.c_str()) - CVXString::TEXT_OFFSET;
    return static_cast<uint32_t*>(block);
}

enum { REFERENCES, CAPACITY, BYTE_LENGTH, CHAR_COUNT };

} // namespace

TEST(CVXStringLimits, CapacityAtTheLimitIsReportedAndRefused) {
    AssertionCapture capture;
    const CVXString atLimit = CVXString::withCapacity(CVXString::CAPACITY_LIMIT);
    EXPECT_EQ(capture.assertions(), 1u);
    EXPECT_TRUE(capture.reported("CVXString::ctor: Capacity 4294967276 not valid!"));
    EXPECT_TRUE(atLimit.isEmpty());
    EXPECT_EQ(atLimit.capacity(), 0u);
    const CVXString above = CVXString::withCapacity(0xFFFFFFFFu);
    EXPECT_TRUE(capture.reported("CVXString::ctor: Capacity 4294967295 not valid!"));
    EXPECT_EQ(above.capacity(), 0u);
}

// The next tests make a block claim a size near the limit, check that the operation reports and
// leaves the string as it was, and restore the header before the block is freed.

TEST(CVXStringLimits, AppendBeyondTheLimitLeavesTheString) {
    AssertionCapture capture;
    CVXString s("abc");
    const char* before = s.c_str();
    header(s)[BYTE_LENGTH] = CVXString::CAPACITY_LIMIT - 2;
    s.append("xy");
    s.append(CVXString("xy"));
    header(s)[BYTE_LENGTH] = 3;
    EXPECT_EQ(capture.assertions(), 2u);
    EXPECT_TRUE(capture.reported("CVXString::addReference: Capacity 4294967276 not valid!"));
    EXPECT_EQ(s.c_str(), before);
    EXPECT_STREQ(s.c_str(), "abc");
    EXPECT_EQ(s.capacity(), 3u);
}

TEST(CVXStringLimits, InsertBeyondTheLimitLeavesTheString) {
    AssertionCapture capture;
    CVXString s("abc");
    CVXString::Iterator at = s.begin();
    header(s)[BYTE_LENGTH] = 0xFFFFFFF0u;
    s.insert(at, CVXString("0123456789abcdef"));
    header(s)[BYTE_LENGTH] = 3;
    EXPECT_EQ(capture.assertions(), 1u);
    EXPECT_TRUE(capture.reported("CVXString::addReference: Capacity 4294967296 not valid!"));
    EXPECT_STREQ(s.c_str(), "abc");
    EXPECT_EQ(at, s.begin());
}

TEST(CVXStringLimits, TrimOfABlockAtTheLimitLeavesTheString) {
    AssertionCapture capture;
    CVXString s(" abc ");
    header(s)[CAPACITY] = CVXString::CAPACITY_LIMIT;
    s.trim();
    header(s)[CAPACITY] = 5;
    EXPECT_EQ(capture.assertions(), 1u);
    EXPECT_TRUE(capture.reported("CVXString::trim: Capacity 4294967276 not valid!"));
    EXPECT_STREQ(s.c_str(), " abc ");
    EXPECT_EQ(s.byteLength(), 5u);
}

TEST(CVXStringLimits, ReplaceReportsTheCurrentAndTheNeededCapacity) {
    AssertionCapture capture;
    CVXString s("abc");
    CVXString::Iterator at = s.begin();
    header(s)[CAPACITY] = 0xFFFFFFF0u;
    s.replace(at, 1, CVXString("x"));
    header(s)[CAPACITY] = 3;
    EXPECT_TRUE(capture.reported("CVXString::replace: Capacity 4294967280 not valid!"));
    header(s)[BYTE_LENGTH] = CVXString::CAPACITY_LIMIT - 1;
    s.replace(at, 1, CVXString("xy"));
    header(s)[BYTE_LENGTH] = 3;
    EXPECT_TRUE(capture.reported("CVXString::addReference: Capacity 4294967276 not valid!"));
    EXPECT_EQ(capture.assertions(), 2u);
    EXPECT_STREQ(s.c_str(), "abc");
}

TEST(CVXStringLimits, CodePointWithTheTopBitEndsTheConversion) {
    AssertionCapture capture;
    CVXString s;
    const uint32_t codePoints[] = {'o', 'k', 0x80000000u, 'x'};
    s.assign(codePoints, 4);
    EXPECT_EQ(capture.assertions(), 1u);
    EXPECT_STREQ(s.c_str(), "ok");
    EXPECT_EQ(s.charCount(), 2u);
}

TEST(CVXStringLimits, ReleasingADeadBlockIsReportedAndLeftAlone) {
    AssertionCapture capture;
    auto* s = new CVXString("dead");
    uint32_t* block = header(*s);
    block[REFERENCES] = 0;
    delete s;
    EXPECT_EQ(capture.assertions(), 1u);
    EXPECT_EQ(block[REFERENCES], 0u); // not freed, count untouched
    VXFree(block);
}

TEST(CVXStringLimitsDeathTest, CapacityReportAbortsWhenAssertionsAbort) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    const char* previous = std::getenv("VX_ENABLE_ABORT_ON_ASSERTION");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("VX_ENABLE_ABORT_ON_ASSERTION", "1", 1);
    EXPECT_DEATH(CVXString::withCapacity(0xFFFFFFF0u),
                 "CVXString:[0-9]+: ASSERTION \"CVXString::ctor: Capacity 4294967280 not valid!\"");
    if (previous != nullptr) {
        setenv("VX_ENABLE_ABORT_ON_ASSERTION", saved.c_str(), 1);
    } else {
        unsetenv("VX_ENABLE_ABORT_ON_ASSERTION");
    }
}

TEST(CVXStringThreads, SharedBlocksCopiedAndReleasedOnManyThreads) {
    const CVXString shared[3] = {CVXString("alpha"), CVXString("\xC3\x9F"), CVXString(" gamma ")};
    constexpr int THREADS = 4;
    constexpr int ROUNDS = 20000;
    std::vector<std::thread> threads;
    std::vector<int> mismatches(THREADS, 0);
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&shared, &mismatches, t] {
            std::vector<CVXString> held;
            for (int round = 0; round < ROUNDS; ++round) {
                CVXString copy(shared[round % 3]);
                held.push_back(copy);
                if (held.size() > 16) {
                    held.erase(held.begin(), held.begin() + 8);
                }
                if (round % 7 == 0) {
                    copy.trim().append("!"); // a private copy; the shared text stays
                    if (copy == shared[round % 3]) {
                        ++mismatches[static_cast<size_t>(t)];
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < THREADS; ++t) {
        EXPECT_EQ(mismatches[static_cast<size_t>(t)], 0);
    }
    EXPECT_STREQ(shared[0].c_str(), "alpha");
    EXPECT_STREQ(shared[2].c_str(), " gamma ");
    for (const CVXString& s : shared) {
        EXPECT_EQ(s.referenceCount(), 1u);
    }
}
