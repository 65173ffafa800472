// The vector's checked access and insertion, and the sorted vector's placement of equivalent
// elements.
#include "foundation/TVXVector.h"

#include "foundation/VXAssert.h"
#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

namespace {

std::vector<int> contents(const TVXVector<int>& vector) {
    return std::vector<int>(vector.begin(), vector.end());
}

TEST(TVXVectorTest, AccessOutsideTheElementsIsReportedAndYieldsAStandIn) {
    TVXVector<int> empty;
    TVXVector<int> three;
    for (int value : {10, 20, 30}) {
        three.append(value);
    }
    const uint32_t assertions = VXAssertionCount();
    three[1] = 21;
    EXPECT_EQ(std::as_const(three)[1] + three[0] + three[2], 61);
    EXPECT_EQ(VXAssertionCount(), assertions);

    const std::pair<TVXVector<int>*, int32_t> rows[] = {
        {&empty, 0}, {&three, 3}, {&three, -1}, {&three, INT32_MIN}};
    for (const auto& [vector, index] : rows) {
        SCOPED_TRACE(index);
        SlogCapture log;
        int& standIn = (*vector)[index];
        EXPECT_EQ(standIn, 0);
        standIn = 99; // writing through the stand-in must not reach the vector
        EXPECT_EQ(countAssertionReports(log.lines(), "TVXVector", "Invalid parameter"), 1);
    }
    EXPECT_EQ(empty.size(), 0);
    EXPECT_EQ(contents(three), (std::vector<int>{10, 21, 30}));
    SlogCapture log;
    EXPECT_EQ(std::as_const(three)[3], 0); // a fresh stand-in, not 99
    EXPECT_EQ(countAssertionReports(log.lines(), "TVXVector", "Invalid parameter"), 1);
}

TEST(TVXVectorTest, InsertionPlacesACopyBeforeThePositionOrIsRefused) {
    TVXVector<int> vector;
    const int values[] = {5, 15, 25};
    EXPECT_TRUE(vector.insertAt(0, &values[1]));
    EXPECT_TRUE(vector.insertAt(0, &values[0]));
    EXPECT_TRUE(vector.insertAt(vector.size(), &values[2])); // position size appends
    EXPECT_TRUE(vector.insertAt(1, &vector[2]));             // a copy of its own element
    EXPECT_EQ(contents(vector), (std::vector<int>{5, 25, 15, 25}));

    const std::tuple<int32_t, const int*, const char*> rows[] = {
        {5, &values[0], "Index our of range"},
        {-1, &values[0], "Index our of range"},
        {1, nullptr, "Invalid parameter"},
        {6, nullptr, "Index our of range"}};
    for (const auto& [position, element, message] : rows) {
        SCOPED_TRACE(position);
        SlogCapture log;
        EXPECT_FALSE(vector.insertAt(position, element));
        EXPECT_EQ(log.lines().size(), 2u);
        EXPECT_EQ(countAssertionReports(log.lines(), "TVXVector", message), 1);
        EXPECT_EQ(contents(vector), (std::vector<int>{5, 25, 15, 25}));
    }
}

// Ordered by key only (positive when the first orders before the second), so that equivalent
// elements can still be told apart by their tag.
struct CTagged {
    int key;
    char tag;
};
struct CByKey {
    int operator()(const CTagged& first, const CTagged& second) const {
        return first.key < second.key ? 1 : (first.key > second.key ? -1 : 0);
    }
};
using CSorted = TVXSortedVector<CTagged, CByKey>;

std::string tags(const CSorted& vector) {
    std::string result;
    for (const CTagged& element : vector) {
        result += element.tag;
    }
    return result;
}

TEST(TVXSortedVectorTest, EquivalentElementsAreRefusedUnlessDuplicatesAreAllowed) {
    CSorted refusing(false);
    CSorted allowing(true);
    for (const CTagged& element : {CTagged{50, 'a'}, {10, 'b'}, {40, 'c'}, {20, 'd'}, {0, 'e'}}) {
        EXPECT_TRUE(refusing.insert(element));
        EXPECT_TRUE(allowing.insert(element));
    }
    const uint32_t assertions = VXAssertionCount();
    for (int key : {0, 20, 50}) {
        EXPECT_FALSE(refusing.insert({key, 'x'}));
        EXPECT_TRUE(allowing.insert({key, char('0' + key / 10)}));
    }
    EXPECT_EQ(VXAssertionCount(), assertions);
    EXPECT_EQ(tags(refusing), "ebdca");
    // An equivalent element goes to the lower bound, before its peers.
    EXPECT_EQ(tags(allowing), "0eb2dc5a");
    EXPECT_EQ(allowing.lowerBound({20, 'k'}), 3);
    EXPECT_EQ(allowing.lowerBound({60, 'k'}), 8);

    // Assignment and copying take the flag along.
    allowing = refusing;
    EXPECT_FALSE(allowing.insert({40, 'x'}));
    const CSorted flagged(true);
    CSorted copy(flagged);
    EXPECT_TRUE(copy.insert({1, 'a'}) && copy.insert({1, 'b'}));
    EXPECT_EQ(tags(copy), "ba");
}

} // namespace
