#include "app/MurelAdjCrc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(MurelAdjCrc, TableAndCheckValues) {
    const std::pair<uint8_t, uint32_t> entries[] = {
        {0, 0}, {1, 0x04C11DB7u}, {2, 0x09823B6Eu}, {128, 0x690CE0EEu}, {255, 0xB1F740B4u}};
    for (const auto& [index, entry] : entries) {
        EXPECT_EQ(adjustCrcTableEntry(index), entry) << int{index};
    }
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
}

TEST(MurelAdjCrc, StoredAndCalculatedCrcOfABlock) {
    std::vector<uint8_t> block(2036);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>((i * 37 + 11) ^ (i >> 3));
    }
    block[0] = 0x78;
    block[1] = 0x56;
    block[2] = 0x34;
    block[3] = 0x12;
    uint32_t crc = 0;
    ASSERT_EQ(getStoredCrc(block.data(), 12, &crc), MURELADJ_CRC_OK);
    EXPECT_EQ(crc, 0x12345678u);

    // The CRC covers bytes 4 to the end, also of a 12-byte block.
    uint32_t direct = 0;
    ASSERT_EQ(calculateCrc(block.data(), 12, &crc), MURELADJ_CRC_OK);
    ASSERT_TRUE(computeAdjustCrc32(block.data() + 4, 8, &direct));
    EXPECT_EQ(crc, direct);
    ASSERT_EQ(calculateCrc(block.data(), 2036, &crc), MURELADJ_CRC_OK);
    for (size_t position : {4, 8, 1000, 2031, 2032, 2035}) {
        block[position] ^= 0x01;
        ASSERT_EQ(calculateCrc(block.data(), 2036, &direct), MURELADJ_CRC_OK);
        EXPECT_NE(direct, crc) << "byte " << position;
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
