#include "foundation/TVXVector.h"

#include "foundation/CVXString.h"
#include "foundation/VXAssert.h"
#include "foundation/platform/VXSlog.h"
#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

// Whether the log holds exactly one report (both lines) of message from source.
::testing::AssertionResult hasAssertion(const SlogCapture& log, const char* source,
                                        const char* message) {
    const std::regex detail(std::string("pid \\d+: ") + source + ":\\d+: ASSERTION \"" + message +
                            "\" failed");
    const std::regex summary(std::string("pid \\d+: ASSERTION \"") + message + "\" failed in " +
                             source + " \\d+");
    int details = 0;
    int summaries = 0;
    for (const SlogLine& line : log.lines()) {
        details += line.severity == VX_SLOG_ERROR && std::regex_match(line.text, detail);
        summaries += line.severity == VX_SLOG_CRITICAL && std::regex_match(line.text, summary);
    }
    if (details == 1 && summaries == 1) {
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "no single report of \"" << message << "\" from " << source << "; lines:";
    for (const SlogLine& line : log.lines()) {
        failure << "\n  [" << line.severity << "] " << line.text;
    }
    return failure;
}

std::vector<int> contents(const TVXVector<int>& vector) {
    return std::vector<int>(vector.begin(), vector.end());
}

TVXVector<int> makeVector(std::initializer_list<int> values) {
    TVXVector<int> vector;
    for (int value : values) {
        vector.append(value);
    }
    return vector;
}

// Orders integers ascending: positive when first orders before second.
struct CAscending {
    int operator()(int first, int second) const {
        return first < second ? 1 : (first > second ? -1 : 0);
    }
};

// Orders by key only, so equivalent elements can still be told apart by their tag.
struct CTagged {
    int key;
    char tag;
};
struct CByKey {
    int operator()(const CTagged& first, const CTagged& second) const {
        return CAscending()(first.key, second.key);
    }
};

TEST(TVXVectorTest, AccessOutsideTheElementsIsReportedAndYieldsAStandIn) {
    TVXVector<int> empty;
    TVXVector<int> three = makeVector({10, 20, 30});
    const TVXVector<int>& constThree = three;

    struct Case {
        const char* what;
        TVXVector<int>* vector;
        int32_t index;
    };
    const Case cases[] = {
        {"index 0 of an empty vector", &empty, 0},
        {"index equal to the size", &three, 3},
        {"index -1", &three, -1},
        {"lowest index", &three, INT32_MIN},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.what);
        SlogCapture log;
        const uint32_t before = VXAssertionCount();
        int& standIn = (*testCase.vector)[testCase.index];
        EXPECT_EQ(VXAssertionCount(), before + 1);
        EXPECT_TRUE(hasAssertion(log, "TVXVector", "Invalid parameter"));
        EXPECT_EQ(standIn, 0);
        standIn = 99; // writing through the stand-in must not reach the vector
    }
    EXPECT_EQ(empty.size(), 0);
    EXPECT_EQ(contents(three), (std::vector<int>{10, 20, 30}));

    SlogCapture log;
    const uint32_t before = VXAssertionCount();
    EXPECT_EQ(constThree[3], 0); // a fresh stand-in, not the 99 written above
    EXPECT_EQ(VXAssertionCount(), before + 1);
    EXPECT_TRUE(hasAssertion(log, "TVXVector", "Invalid parameter"));
}

TEST(TVXVectorTest, AccessInsideTheElementsIsNotReported) {
    TVXVector<int> vector = makeVector({10, 20, 30});
    const uint32_t before = VXAssertionCount();
    EXPECT_EQ(vector[0], 10);
    EXPECT_EQ(vector[2], 30);
    vector[1] = 21;
    EXPECT_EQ(static_cast<const TVXVector<int>&>(vector)[1], 21);
    EXPECT_EQ(VXAssertionCount(), before);
}

TEST(TVXVectorTest, InsertionPlacesACopyBeforeThePosition) {
    TVXVector<int> vector = makeVector({10, 20});
    const int front = 5;
    const int middle = 15;
    const int back = 25;
    const uint32_t before = VXAssertionCount();
    EXPECT_TRUE(vector.insertAt(0, &front));
    EXPECT_TRUE(vector.insertAt(2, &middle));
    EXPECT_TRUE(vector.insertAt(vector.size(), &back)); // position size appends
    EXPECT_EQ(VXAssertionCount(), before);
    EXPECT_EQ(contents(vector), (std::vector<int>{5, 10, 15, 20, 25}));

    TVXVector<int> empty;
    EXPECT_TRUE(empty.insertAt(0, &front));
    EXPECT_EQ(contents(empty), (std::vector<int>{5}));
}

TEST(TVXVectorTest, InsertionOfAnElementOfTheSameVectorCopiesIt) {
    TVXVector<int> vector = makeVector({1, 2, 3});
    EXPECT_TRUE(vector.insertAt(0, &vector[2]));
    EXPECT_EQ(contents(vector), (std::vector<int>{3, 1, 2, 3}));
}

TEST(TVXVectorTest, BadInsertionIsReportedAndLeavesTheVectorUnchanged) {
    const int value = 7;
    struct Case {
        const char* what;
        int32_t position;
        const int* element;
        const char* message;
    };
    const Case cases[] = {
        {"position size + 1", 3, &value, "Index our of range"},
        {"position -1", -1, &value, "Index our of range"},
        {"null element", 1, nullptr, "Invalid parameter"},
        {"bad position and null element", 4, nullptr, "Index our of range"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.what);
        TVXVector<int> vector = makeVector({10, 20});
        SlogCapture log;
        const uint32_t before = VXAssertionCount();
        EXPECT_FALSE(vector.insertAt(testCase.position, testCase.element));
        EXPECT_EQ(VXAssertionCount(), before + 1);
        EXPECT_TRUE(hasAssertion(log, "TVXVector", testCase.message));
        EXPECT_EQ(contents(vector), (std::vector<int>{10, 20}));
    }
}

TEST(TVXVectorTest, ClearRemovesTheElementsAndReleasesTheStorage) {
    TVXVector<int> vector = makeVector({1, 2, 3});
    vector.reserve(100);
    vector.clear();
    EXPECT_EQ(vector.size(), 0);
    EXPECT_TRUE(vector.isEmpty());
    EXPECT_EQ(vector.capacity(), 0u);
    EXPECT_EQ(vector.begin(), vector.end());
    vector.append(4);
    EXPECT_EQ(contents(vector), (std::vector<int>{4}));
}

TEST(TVXVectorTest, StringElementsShareTheirTextAndReleaseItOnClear) {
    const CVXString text("shared text");
    TVXVector<CVXString> vector;
    vector.append(text);
    EXPECT_EQ(text.referenceCount(), 2u);
    EXPECT_STREQ(vector[0].c_str(), "shared text");
    TVXVector<CVXString> copy = vector;
    EXPECT_EQ(text.referenceCount(), 3u);
    vector.clear();
    copy.clear();
    EXPECT_EQ(text.referenceCount(), 1u);
}

TEST(TVXVectorTest, CopiesAreIndependent) {
    TVXVector<int> original = makeVector({1, 2});
    TVXVector<int> copy = original;
    copy[0] = 9;
    copy.append(3);
    TVXVector<int> assigned;
    assigned = original;
    original.clear();
    EXPECT_EQ(contents(copy), (std::vector<int>{9, 2, 3}));
    EXPECT_EQ(contents(assigned), (std::vector<int>{1, 2}));
}

TEST(TVXSortedVectorTest, LowerBoundIsTheFirstPositionNotOrderingBeforeTheKey) {
    TVXSortedVector<int, CAscending> vector(true);
    EXPECT_EQ(vector.lowerBound(5), 0);
    for (int value : {10, 20, 20, 20, 30, 40}) {
        ASSERT_TRUE(vector.insert(value));
    }
    EXPECT_EQ(vector.lowerBound(5), 0);
    EXPECT_EQ(vector.lowerBound(10), 0);
    EXPECT_EQ(vector.lowerBound(15), 1);
    EXPECT_EQ(vector.lowerBound(20), 1);
    EXPECT_EQ(vector.lowerBound(25), 4);
    EXPECT_EQ(vector.lowerBound(40), 5);
    EXPECT_EQ(vector.lowerBound(41), 6);
}

TEST(TVXSortedVectorTest, InsertionKeepsComparatorOrder) {
    TVXSortedVector<int, CAscending> vector;
    for (int value : {50, 10, 40, 20, 30, 60, 0}) {
        EXPECT_TRUE(vector.insert(value));
    }
    EXPECT_EQ(std::vector<int>(vector.begin(), vector.end()),
              (std::vector<int>{0, 10, 20, 30, 40, 50, 60}));
}

TEST(TVXSortedVectorTest, AnEquivalentElementIsRefusedWhenDuplicatesAreNotAllowed) {
    TVXSortedVector<CTagged, CByKey> vector(false);
    EXPECT_FALSE(vector.allowsDuplicates());
    EXPECT_TRUE(vector.insert({2, 'a'}));
    EXPECT_TRUE(vector.insert({1, 'b'}));
    EXPECT_TRUE(vector.insert({3, 'c'}));
    const uint32_t before = VXAssertionCount();
    for (int key : {1, 2, 3}) {
        EXPECT_FALSE(vector.insert({key, 'x'}));
    }
    EXPECT_EQ(VXAssertionCount(), before);
    ASSERT_EQ(vector.size(), 3);
    EXPECT_EQ(vector[0].tag, 'b');
    EXPECT_EQ(vector[1].tag, 'a');
    EXPECT_EQ(vector[2].tag, 'c');
}

TEST(TVXSortedVectorTest, AnEquivalentElementGoesBeforeItsPeersWhenDuplicatesAreAllowed) {
    TVXSortedVector<CTagged, CByKey> vector(true);
    EXPECT_TRUE(vector.insert({2, 'a'}));
    EXPECT_TRUE(vector.insert({2, 'b'}));
    EXPECT_TRUE(vector.insert({1, 'c'}));
    EXPECT_TRUE(vector.insert({2, 'd'}));
    std::string tags;
    for (const CTagged& element : vector) {
        tags += element.tag;
    }
    EXPECT_EQ(tags, "cdba");
}

TEST(TVXSortedVectorTest, AssignmentCopiesTheElementsAndTheDuplicatesFlag) {
    TVXSortedVector<int, CAscending> refusing(false);
    refusing.insert(1);
    refusing.insert(2);
    TVXSortedVector<int, CAscending> target(true);
    target.insert(7);
    target.insert(7);

    target = refusing;
    EXPECT_FALSE(target.allowsDuplicates());
    EXPECT_EQ(std::vector<int>(target.begin(), target.end()), (std::vector<int>{1, 2}));
    EXPECT_FALSE(target.insert(2));

    TVXSortedVector<int, CAscending> allowing(true);
    TVXSortedVector<int, CAscending> copy(allowing);
    EXPECT_TRUE(copy.allowsDuplicates());
    EXPECT_TRUE(copy.insert(5));
    EXPECT_TRUE(copy.insert(5));
    EXPECT_EQ(copy.size(), 2);
}

} // namespace
