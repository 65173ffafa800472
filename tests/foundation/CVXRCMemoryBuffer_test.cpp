#include "foundation/CVXRCMemoryBuffer.h"

#include "foundation/VXAssert.h"
#include "foundation/platform/VXSlog.h"
#include "tests/foundation/VXOsTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

int countLines(const SlogCapture& log, int severity, const std::string& pattern) {
    const std::regex expression(pattern);
    int matches = 0;
    for (const SlogLine& line : log.lines()) {
        matches += line.severity == severity && std::regex_match(line.text, expression);
    }
    return matches;
}

CVXRCMemoryBuffer makeBuffer(const char* bytes) {
    const uint32_t length = static_cast<uint32_t>(std::strlen(bytes));
    CVXRCMemoryBuffer buffer(length);
    if (length > 0) {
        std::memcpy(buffer.writableData(), bytes, length);
    }
    return buffer;
}

std::string bytesOf(const CVXRCMemoryBuffer& buffer, uint32_t count) {
    return std::string(reinterpret_cast<const char*>(buffer.data()), count);
}

TEST(CVXRCMemoryBufferTest, EmptyBuffersShareTheStaticBlockWhoseCountNeverChanges) {
    const uint32_t before = VXAssertionCount();
    CVXRCMemoryBuffer byDefault;
    CVXRCMemoryBuffer sized(0);
    for (const CVXRCMemoryBuffer* buffer : {&byDefault, &sized}) {
        EXPECT_EQ(buffer->size(), 0u);
        EXPECT_EQ(buffer->data(), nullptr);
        EXPECT_EQ(buffer->referenceCount(), 1u);
    }
    {
        CVXRCMemoryBuffer copy(byDefault);
        CVXRCMemoryBuffer assigned;
        assigned = sized;
        EXPECT_EQ(byDefault.referenceCount(), 1u);
        EXPECT_EQ(copy.writableData(), nullptr);
        copy.release();
        assigned.release();
        EXPECT_EQ(sized.referenceCount(), 1u);
    }
    EXPECT_EQ(byDefault.referenceCount(), 1u);
    EXPECT_EQ(VXAssertionCount(), before);
}

TEST(CVXRCMemoryBufferTest, ANewBufferOwnsAnAlignedBlockOfItsSize) {
    for (uint32_t size : {1u, 4u, 7u, 8u, 9u, 2036u}) {
        SCOPED_TRACE(size);
        CVXRCMemoryBuffer buffer(size);
        EXPECT_EQ(buffer.size(), size);
        EXPECT_EQ(buffer.referenceCount(), 1u);
        ASSERT_NE(buffer.data(), nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % 8u, 0u);
        // The whole rounded-up data area is usable (the sanitizer build checks the bounds).
        const uint32_t rounded = (size + 7u) & ~7u;
        std::memset(buffer.writableData(), 0xA5, rounded);
        EXPECT_EQ(buffer.data()[size - 1], 0xA5);
    }
}

TEST(CVXRCMemoryBufferTest, CopiesShareTheBlockAndReleaseLeavesTheOtherIntact) {
    CVXRCMemoryBuffer first = makeBuffer("abcd");
    CVXRCMemoryBuffer second(first);
    EXPECT_EQ(first.referenceCount(), 2u);
    EXPECT_EQ(second.data(), first.data());

    second.release();
    EXPECT_EQ(second.size(), 0u);
    EXPECT_EQ(second.data(), nullptr);
    EXPECT_EQ(first.referenceCount(), 1u);
    EXPECT_EQ(bytesOf(first, 4), "abcd");
    // Releasing the last holder frees the block; a second free or a leak fails the sanitizer run.
    first.release();
    first.release();
    EXPECT_EQ(first.data(), nullptr);
}

TEST(CVXRCMemoryBufferTest, AssignmentReleasesTheOldBlockAndSharesTheNewOne) {
    CVXRCMemoryBuffer target = makeBuffer("old!");
    CVXRCMemoryBuffer oldHolder(target);
    CVXRCMemoryBuffer source = makeBuffer("new!");

    target = source;
    EXPECT_EQ(oldHolder.referenceCount(), 1u);
    EXPECT_EQ(source.referenceCount(), 2u);
    EXPECT_EQ(bytesOf(target, 4), "new!");

    const uint8_t* shared = target.data();
    const CVXRCMemoryBuffer& self = target;
    target = source; // already sharing: nothing changes
    target = self;
    EXPECT_EQ(source.referenceCount(), 2u);
    EXPECT_EQ(target.data(), shared);

    target = CVXRCMemoryBuffer();
    EXPECT_EQ(source.referenceCount(), 1u);
    EXPECT_EQ(target.data(), nullptr);
}

TEST(CVXRCMemoryBufferTest, WritingThroughASharedBlockIsReportedButStillAllowed) {
    CVXRCMemoryBuffer first = makeBuffer("abcd");
    {
        const uint32_t before = VXAssertionCount();
        EXPECT_NE(first.writableData(), nullptr);
        EXPECT_EQ(VXAssertionCount(), before);
    }
    CVXRCMemoryBuffer second(first);
    SlogCapture log;
    const uint32_t before = VXAssertionCount();
    uint8_t* bytes = second.writableData();
    EXPECT_EQ(VXAssertionCount(), before + 1);
    EXPECT_EQ(
        countLines(log, VX_SLOG_ERROR,
                   "pid \\d+: CVXRCMemoryBuffer:\\d+: ASSERTION \"Writing to a shared buffer\" "
                   "failed"),
        1);
    EXPECT_EQ(countLines(log, VX_SLOG_CRITICAL,
                         "pid \\d+: ASSERTION \"Writing to a shared buffer\" "
                         "failed in CVXRCMemoryBuffer \\d+"),
              1);
    ASSERT_EQ(bytes, first.data());
    bytes[0] = 'X';
    EXPECT_EQ(bytesOf(first, 4), "Xbcd");
}

TEST(CVXRCMemoryBufferTest, ResizeKeepsTheLeadingBytes) {
    CVXRCMemoryBuffer buffer = makeBuffer("abcd");
    buffer.resize(8);
    EXPECT_EQ(buffer.size(), 8u);
    EXPECT_EQ(buffer.referenceCount(), 1u);
    EXPECT_EQ(bytesOf(buffer, 4), "abcd");

    buffer.resize(3);
    EXPECT_EQ(buffer.size(), 3u);
    EXPECT_EQ(bytesOf(buffer, 3), "abc");

    buffer.resize(0);
    EXPECT_EQ(buffer.size(), 0u);
    EXPECT_EQ(buffer.data(), nullptr);

    buffer.resize(5);
    EXPECT_EQ(buffer.size(), 5u);
    EXPECT_NE(buffer.data(), nullptr);
}

TEST(CVXRCMemoryBufferTest, ResizeToTheSameSizeKeepsTheBlockUnlessForced) {
    CVXRCMemoryBuffer buffer = makeBuffer("abcd");
    const uint8_t* block = buffer.data();
    buffer.resize(4);
    EXPECT_EQ(buffer.data(), block);

    CVXRCMemoryBuffer holder(buffer);
    buffer.resize(4, true);
    EXPECT_NE(buffer.data(), block);
    EXPECT_EQ(buffer.referenceCount(), 1u);
    EXPECT_EQ(holder.referenceCount(), 1u);
    EXPECT_EQ(bytesOf(buffer, 4), "abcd");
    EXPECT_EQ(holder.data(), block);
}

TEST(CVXRCMemoryBufferTest, ResizeOfASharedBufferLeavesTheOtherHolderAlone) {
    CVXRCMemoryBuffer buffer = makeBuffer("abcd");
    CVXRCMemoryBuffer holder(buffer);
    buffer.resize(6);
    std::memcpy(buffer.writableData() + 4, "ef", 2);
    EXPECT_EQ(bytesOf(buffer, 6), "abcdef");
    EXPECT_EQ(holder.size(), 4u);
    EXPECT_EQ(holder.referenceCount(), 1u);
    EXPECT_EQ(bytesOf(holder, 4), "abcd");
}

TEST(CVXRCMemoryBufferTest, ReferenceCountingIsSafeAcrossThreads) {
    constexpr int threadCount = 4;
    constexpr int rounds = 100000;
    CVXRCMemoryBuffer original = makeBuffer("threads!");
    CVXRCMemoryBuffer empty;

    // The threads start together, so their copies and releases of the one block overlap.
    std::atomic<int> waiting{threadCount};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&original, &empty, &waiting] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) {
                std::this_thread::yield();
            }
            std::vector<CVXRCMemoryBuffer> held(8);
            for (int round = 0; round < rounds; ++round) {
                held[static_cast<size_t>(round) % held.size()] = original;
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
    EXPECT_EQ(bytesOf(original, 8), "threads!");
}

TEST(CVXRCMemoryBufferTest, TheLastHolderOnAnyThreadFreesTheBlockOnce) {
    // The creator and its threads drop their references at the same time; whichever release comes
    // last frees the block. A lost update shows as a leak or a double free in the sanitizer build.
    for (int round = 0; round < 200; ++round) {
        CVXRCMemoryBuffer creator = makeBuffer("last");
        std::vector<CVXRCMemoryBuffer> copies(4, creator);
        EXPECT_EQ(creator.referenceCount(), 5u);
        std::vector<std::thread> threads;
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
