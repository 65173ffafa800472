// Pre-faulting memory: the whole pages of the range become resident, their contents and the pages
// around them stay as they were.
#include "foundation/platform/VXMemory.h"

#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

TEST(VXPlatformPrefault, BacksTheWholePagesOfTheRangeAndKeepsTheirContents) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    constexpr size_t PAGES = 8;
    void* mapped =
        mmap(nullptr, PAGES * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    auto* memory = static_cast<unsigned char*>(mapped);
    memory[2 * page + 5] = 0xA5;

    // From the middle of page 1 to the middle of page 6: pages 2 to 5 are whole.
    errno = EBADF;
    VXPlatformPrefault(memory + page + page / 2, 5 * page);
    EXPECT_EQ(errno, EBADF);

    std::vector<unsigned char> resident(PAGES);
    ASSERT_EQ(mincore(mapped, PAGES * page, resident.data()), 0);
    const bool expected[PAGES] = {false, false, true, true, true, true, false, false};
    for (size_t index = 0; index < PAGES; ++index) {
        if (!kUnderEmulator) { // the emulator takes the hint and does nothing
            EXPECT_EQ((resident[index] & 1) != 0, expected[index]) << "page " << index;
        }
    }
    EXPECT_EQ(memory[2 * page + 5], 0xA5);
    for (size_t offset = 3 * page; offset < 6 * page; ++offset) {
        ASSERT_EQ(memory[offset], 0) << offset;
    }
    VXPlatformPrefault(nullptr, page); // nothing to do, no crash
    VXPlatformPrefault(memory + 1, page - 2);
    munmap(mapped, PAGES * page);
}

} // namespace
