// The containers: the vector's checked access and insertion, the sorted vector's placement of
// equivalent elements, and the reference-counted buffer (sharing, resize, counts updated from many
// threads; a lost update, a double free or a leak fails the sanitizer build).
#include "foundation/CVXRCMemoryBuffer.h"
#include "foundation/TVXVector.h"

#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(TVXVectorTest, AccessAndInsertionOutsideAreReportedAndChangeNothing) {
    TVXVector<int> vector;
    const int values[] = {5, 15, 25};
    EXPECT_TRUE(vector.insertAt(0, &values[1]) && vector.insertAt(0, &values[0]));
    EXPECT_TRUE(vector.insertAt(vector.size(), &values[2])); // position size appends
    EXPECT_TRUE(vector.insertAt(1, &vector[2]));             // a copy of its own element
    SlogCapture log;
    vector[4] = 99; // writing through the stand-in must not reach the vector
    EXPECT_EQ(std::as_const(vector)[4] + vector[-1], 0);
    EXPECT_FALSE(vector.insertAt(5, &values[0]) || vector.insertAt(-1, &values[0]) ||
                 vector.insertAt(1, nullptr));
    const std::vector<SlogLine> lines = log.take();
    EXPECT_EQ(countAssertionReports(lines, "TVXVector", "Invalid parameter"), 4);
    EXPECT_EQ(countAssertionReports(lines, "TVXVector", "Index our of range"), 2);
    EXPECT_EQ(std::vector<int>(vector.begin(), vector.end()), (std::vector<int>{5, 25, 15, 25}));
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

TEST(TVXSortedVectorTest, EquivalentElementsAreRefusedUnlessDuplicatesAreAllowed) {
    TVXSortedVector<CTagged, CByKey> refusing(false);
    TVXSortedVector<CTagged, CByKey> allowing(true);
    for (const CTagged& element : {CTagged{50, 'a'}, {10, 'b'}, {40, 'c'}, {20, 'd'}, {0, 'e'}}) {
        EXPECT_TRUE(refusing.insert(element) && allowing.insert(element));
    }
    for (int key : {0, 20, 50}) {
        EXPECT_FALSE(refusing.insert({key, 'x'}));
        EXPECT_TRUE(allowing.insert({key, char('0' + key / 10)}));
    }
    std::string tags;
    for (const auto* vector : {&refusing, &allowing}) {
        for (const CTagged& element : *vector) {
            tags += element.tag;
        }
    }
    EXPECT_EQ(tags, "ebdca0eb2dc5a"); // an equivalent element goes before its peers
    EXPECT_EQ(allowing.lowerBound({60, 'k'}), 8);
}

std::string bytesOf(const CVXRCMemoryBuffer& buffer) {
    return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size());
}

TEST(CVXRCMemoryBufferTest, CopiesShareTheBlockUntilReleasedOrResized) {
    CVXRCMemoryBuffer empty(0); // the static empty block: its count never changes
    CVXRCMemoryBuffer(empty).release();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(empty.data()) + empty.referenceCount(), 1u);
    for (uint32_t size : {1u, 9u, 2036u}) { // the whole rounded-up, 8-byte aligned data area
        CVXRCMemoryBuffer buffer(size);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % 8u, 0u);
        std::memset(buffer.writableData(), 0xA5, (size + 7u) & ~7u);
    }
    CVXRCMemoryBuffer first(4);
    std::memcpy(first.writableData(), "abcd", 4);
    CVXRCMemoryBuffer second(first);
    SlogCapture log;
    second.writableData()[0] = 'X'; // reported, but still allowed
    EXPECT_EQ(countAssertionReports(log.take(), "CVXRCMemoryBuffer", "Writing to a shared buffer"),
              1);
    second = std::as_const(second); // itself: nothing changes
    second.release();
    first.writableData()[0] = 'a'; // the sole holder writes without a report
    EXPECT_TRUE(log.take().empty());

    // Resizing makes the block private (always when forced) and keeps the leading bytes.
    const uint8_t* block = first.data();
    first.resize(4);
    EXPECT_EQ(first.data(), block);
    second = first;
    first.resize(4, true);
    EXPECT_NE(first.data(), block);
    first.resize(6);
    std::memcpy(first.writableData() + 4, "ef", 2);
    EXPECT_EQ(bytesOf(first) + bytesOf(second) + std::to_string(second.referenceCount()),
              "abcdefabcd1");
    first.resize(3);
    EXPECT_EQ(bytesOf(first), "abc");
}

// The holders drop their references at once: the count stays exact and whichever comes last frees.
TEST(CVXRCMemoryBufferTest, ReferenceCountingIsSafeAcrossThreads) {
    for (int round = 0; round < 200; ++round) {
        CVXRCMemoryBuffer creator(8);
        std::thread threads[2] = {std::thread([copy = creator]() mutable { copy.release(); }),
                                  std::thread([copy = creator]() mutable {
                                      for (int i = 0; i < 100; ++i) {
                                          CVXRCMemoryBuffer(copy).release();
                                      }
                                  })};
        creator.release();
        threads[0].join();
        threads[1].join();
    }
}

} // namespace
