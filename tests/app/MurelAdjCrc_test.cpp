#include "app/MurelAdjCrc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

    std::vector<uint8_t> block(2036);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>((i * 37 + 11) ^ (i >> 3));
    }
    block[0] = 0x78;
    block[1] = 0x56;
    block[2] = 0x34;
    block[3] = 0x12;
    uint32_t crc = 0;
    uint32_t other = 0;
    ASSERT_EQ(getStoredCrc(block.data(), 12, &crc), MURELADJ_CRC_OK);
    EXPECT_EQ(crc, 0x12345678u);
    ASSERT_EQ(calculateCrc(block.data(), 12, &crc), MURELADJ_CRC_OK);
    ASSERT_TRUE(computeAdjustCrc32(block.data() + 4, 8, &other));
    EXPECT_EQ(crc, other);
    ASSERT_EQ(calculateCrc(block.data(), 2036, &crc), MURELADJ_CRC_OK);
    for (size_t position : {4, 8, 1000, 2031, 2032, 2035}) {
        block[position] ^= 0x01;
        ASSERT_EQ(calculateCrc(block.data(), 2036, &other), MURELADJ_CRC_OK);
        EXPECT_NE(other, crc) << "byte " << position;
        block[position] ^= 0x01;
    }
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
