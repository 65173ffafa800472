// The reference-counted buffer: the static empty block, alignment, sharing and resize.
#include "foundation/CVXRCMemoryBuffer.h"

#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

namespace {

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

} // namespace
