#include "app/MurelAdjCrc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

namespace {

TEST(MurelAdjCrc, CheckValuesAndTheBytesABlockCrcCovers) {
    // The augmented form: the last four bytes are XORed in, not shifted through.
    const std::pair<std::string, uint32_t> checks[] = {
        {std::string("abc\0\0\0\0", 7), 0x648CBB73u},
        {std::string("123456789\0\0\0\0", 13), 0xFC891918u},
        {"\x12\x34\x56\x78", 0x12345678u}};
    for (const auto& [bytes, expected] : checks) {
        uint32_t crc = 0;
        ASSERT_TRUE(computeAdjustCrc32(reinterpret_cast<const uint8_t*>(bytes.data()),
                                       static_cast<uint32_t>(bytes.size()), &crc));
        EXPECT_EQ(crc, expected) << bytes.size();
    }

    // The block CRC covers bytes 4 to the end, also of the shortest block accepted (12 bytes);
    // bytes 0 to 3 hold the stored CRC, little-endian. (Whole blocks: through the binary.)
    const uint8_t block[12] = {0x78, 0x56, 0x34, 0x12, 'a', 'b', 'c', 0, 0, 0, 0, 0};
    uint32_t crc = 0;
    ASSERT_EQ(getStoredCrc(block, 12, &crc), MURELADJ_CRC_OK);
    EXPECT_EQ(crc, 0x12345678u);
    uint32_t direct = 0;
    ASSERT_EQ(calculateCrc(block, 12, &crc), MURELADJ_CRC_OK);
    ASSERT_TRUE(computeAdjustCrc32(block + 4, 8, &direct));
    EXPECT_EQ(crc, direct);
}

TEST(MurelAdjCrc, MissingArgumentsAndShortInputAreRefused) {
    const uint8_t data[12] = {};
    uint32_t crc = 0xA5A5A5A5u;
    EXPECT_FALSE(computeAdjustCrc32(nullptr, 4, &crc));
    EXPECT_FALSE(computeAdjustCrc32(data, 4, nullptr));
    EXPECT_FALSE(computeAdjustCrc32(data, 3, &crc));
    for (auto routine : {getStoredCrc, calculateCrc}) {
        EXPECT_EQ(routine(data, 11, &crc), MURELADJ_CRC_INVALID_ARGUMENT);
        EXPECT_EQ(routine(nullptr, 2036, &crc), MURELADJ_CRC_INVALID_ARGUMENT);
        EXPECT_EQ(routine(data, 12, nullptr), MURELADJ_CRC_INVALID_ARGUMENT);
    }
    EXPECT_EQ(crc, 0xA5A5A5A5u);
}

} // namespace
