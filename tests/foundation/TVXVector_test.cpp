// The containers: the vector's checked access and insertion, and the reference-counted buffer
// (sharing, resize, counts updated from many threads; a lost update, a double free or a leak fails
// the sanitizer build). The description's nodes show the sorted vector's order.
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
    for (const auto& [position, element] :
         {std::pair{5, &values[0]}, {-1, &values[0]}, {1, nullptr}}) {
        EXPECT_FALSE(vector.insertAt(position, element)) << position;
    }
    const std::vector<SlogLine> lines = log.take();
    EXPECT_EQ(countAssertionReports(lines, "TVXVector", "Invalid parameter"), 4);
    EXPECT_EQ(countAssertionReports(lines, "TVXVector", "Index our of range"), 2);
    EXPECT_EQ(std::vector<int>(vector.begin(), vector.end()), (std::vector<int>{5, 25, 15, 25}));
}

std::string bytesOf(const CVXRCMemoryBuffer& buffer) {
    return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size());
}

TEST(CVXRCMemoryBufferTest, SharedBlocksAreReportedWhenWrittenAndResizingMakesThemPrivate) {
    CVXRCMemoryBuffer empty(0); // the static empty block: its count never changes
    CVXRCMemoryBuffer(empty).release();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(empty.data()) + empty.referenceCount(), 1u);
    for (uint32_t size : {1u, 9u}) { // the whole rounded-up, 8-byte aligned data area
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
    second.resize(4, true); // forced: a private copy even of the same size
    second.writableData()[1] = 'Y';
    first = std::as_const(first); // itself: nothing changes
    EXPECT_EQ(bytesOf(first) + bytesOf(second) + std::to_string(first.referenceCount()),
              "XbcdXYcd1");
    EXPECT_TRUE(log.take().empty());
}

// The holders drop their references at once; whichever comes last frees.
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
