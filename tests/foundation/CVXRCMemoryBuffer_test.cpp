// The reference-counted buffer: the shared empty block, sharing, release, resize and counts
// updated from many threads. A lost update, a double free or a leak fails the sanitizer build.
#include "foundation/CVXRCMemoryBuffer.h"

#include "foundation/VXAssert.h"
#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

namespace {

CVXRCMemoryBuffer makeBuffer(const char* bytes) {
    CVXRCMemoryBuffer buffer(static_cast<uint32_t>(std::strlen(bytes)));
    std::memcpy(buffer.writableData(), bytes, buffer.size());
    return buffer;
}

std::string bytesOf(const CVXRCMemoryBuffer& buffer) {
    return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size());
}

TEST(CVXRCMemoryBufferTest, EmptyBuffersShareAStaticBlockOthersOwnAnAlignedOne) {
    const uint32_t assertions = VXAssertionCount();
    CVXRCMemoryBuffer byDefault;
    CVXRCMemoryBuffer sized(0);
    {
        CVXRCMemoryBuffer copy(byDefault);
        copy = sized;
        EXPECT_EQ(copy.writableData(), nullptr);
        copy.release();
    }
    EXPECT_EQ(sized.data(), nullptr);
    EXPECT_EQ(byDefault.referenceCount(), 1u); // the static block's count never changes
    EXPECT_EQ(VXAssertionCount(), assertions);

    for (uint32_t size : {1u, 7u, 9u, 2036u}) {
        CVXRCMemoryBuffer buffer(size);
        ASSERT_EQ(buffer.size(), size);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % 8u, 0u);
        // The whole rounded-up data area is usable (the sanitizer build checks the bounds).
        std::memset(buffer.writableData(), 0xA5, (size + 7u) & ~7u);
    }
}

TEST(CVXRCMemoryBufferTest, CopiesShareTheBlockUntilReleasedOrResized) {
    CVXRCMemoryBuffer first = makeBuffer("abcd");
    CVXRCMemoryBuffer second(first);
    EXPECT_EQ(second.data(), first.data());
    SlogCapture log;
    second.writableData()[0] = 'X'; // reported, but still allowed
    EXPECT_EQ(countAssertionReports(log.take(), "CVXRCMemoryBuffer", "Writing to a shared buffer"),
              1);
    EXPECT_EQ(bytesOf(first), "Xbcd");
    second.release();
    EXPECT_EQ(second.size(), 0u);
    EXPECT_EQ(first.referenceCount(), 1u);
    first.writableData()[0] = 'a'; // the sole holder writes without a report
    EXPECT_TRUE(log.lines().empty());

    CVXRCMemoryBuffer source = makeBuffer("new!");
    second = first;
    first = source; // releases the old block
    EXPECT_EQ(second.referenceCount(), 1u);
    first = source; // already sharing, and itself: nothing changes
    first = std::as_const(first);
    EXPECT_EQ(source.referenceCount(), 2u);
    first = CVXRCMemoryBuffer();
    EXPECT_EQ(source.referenceCount(), 1u);
    second.release();
    second.release();

    // Resizing makes the block private (always when forced) and keeps the leading bytes.
    CVXRCMemoryBuffer buffer = makeBuffer("abcd");
    const uint8_t* block = buffer.data();
    buffer.resize(4);
    EXPECT_EQ(buffer.data(), block);
    CVXRCMemoryBuffer holder(buffer);
    buffer.resize(4, true);
    EXPECT_NE(buffer.data(), block);
    buffer.resize(6);
    std::memcpy(buffer.writableData() + 4, "ef", 2);
    EXPECT_EQ(bytesOf(buffer), "abcdef");
    EXPECT_EQ(holder.referenceCount(), 1u);
    EXPECT_EQ(bytesOf(holder), "abcd");
    buffer.resize(3);
    EXPECT_EQ(bytesOf(buffer), "abc");
    buffer.resize(0);
    EXPECT_EQ(buffer.data(), nullptr);
    buffer.resize(5);
    EXPECT_EQ(buffer.size(), 5u);
}

TEST(CVXRCMemoryBufferTest, ReferenceCountingIsSafeAcrossThreads) {
    CVXRCMemoryBuffer original = makeBuffer("threads!");
    CVXRCMemoryBuffer empty;
    std::atomic<int> waiting{4}; // the threads start together, so their updates overlap
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&original, &empty, &waiting] {
            for (waiting.fetch_sub(1); waiting.load() > 0;) {
                std::this_thread::yield();
            }
            std::vector<CVXRCMemoryBuffer> held(8);
            for (size_t round = 0; round < 50000; ++round) {
                held[round % held.size()] = original;
                CVXRCMemoryBuffer copy(original);
                CVXRCMemoryBuffer emptyCopy(empty);
                copy.release();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(original.referenceCount(), 1u);
    EXPECT_EQ(empty.referenceCount(), 1u);
    EXPECT_EQ(bytesOf(original), "threads!");

    // The creator and its threads drop their references at once: whichever comes last frees.
    for (int round = 0; round < 100; ++round) {
        CVXRCMemoryBuffer creator = makeBuffer("last");
        std::vector<CVXRCMemoryBuffer> copies(4, creator);
        threads.clear();
        for (CVXRCMemoryBuffer& copy : copies) {
            threads.emplace_back([&copy] {
                CVXRCMemoryBuffer local(copy);
                copy.release();
                local.release();
            });
        }
        creator.release();
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
}

} // namespace
