#include "app/MurelAdjCrc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Bit by bit, without a table: CRC with polynomial 0x04C11DB7, initial value 0xFFFFFFFF, no
// reflection, final XOR 0xFFFFFFFF.
uint32_t referenceCrc(const uint8_t* data, size_t count) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < count; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
        }
    }
    return ~crc;
}

std::vector<uint8_t> bytesOf(const char* text, size_t zeros) {
    std::vector<uint8_t> bytes(text, text + strlen(text));
    bytes.insert(bytes.end(), zeros, 0);
    return bytes;
}

// A block-sized image with varied contents.
std::vector<uint8_t> sampleBlock() {
    std::vector<uint8_t> block(2036);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>((i * 37 + 11) ^ (i >> 3));
    }
    return block;
}

TEST(MurelAdjCrc, TableIsTheMsbFirstTableOfThePolynomial) {
    EXPECT_EQ(adjustCrcTableEntry(0), 0x00000000u);
    EXPECT_EQ(adjustCrcTableEntry(1), 0x04C11DB7u);
    EXPECT_EQ(adjustCrcTableEntry(2), 0x09823B6Eu);
    EXPECT_EQ(adjustCrcTableEntry(128), 0x690CE0EEu);
    EXPECT_EQ(adjustCrcTableEntry(255), 0xB1F740B4u);
}

TEST(MurelAdjCrc, CheckValuesOfTheAugmentedForm) {
    uint32_t crc = 0;
    const std::vector<uint8_t> abc = bytesOf("abc", 4);
    ASSERT_TRUE(computeAdjustCrc32(abc.data(), static_cast<uint32_t>(abc.size()), &crc));
    EXPECT_EQ(crc, 0x648CBB73u);

    const std::vector<uint8_t> digits = bytesOf("123456789", 4);
    ASSERT_TRUE(computeAdjustCrc32(digits.data(), static_cast<uint32_t>(digits.size()), &crc));
    EXPECT_EQ(crc, 0xFC891918u);
}

TEST(MurelAdjCrc, FourBytesGiveThemselvesBigEndian) {
    const uint8_t bytes[4] = {0x12, 0x34, 0x56, 0x78};
    uint32_t crc = 0;
    ASSERT_TRUE(computeAdjustCrc32(bytes, 4, &crc));
    EXPECT_EQ(crc, 0x12345678u);
}

TEST(MurelAdjCrc, AugmentedFormIsTheCrcOfAllButTheLastFourXoredWithThem) {
    const std::vector<uint8_t> block = sampleBlock();
    const uint8_t* covered = block.data() + 4;
    const uint32_t count = 2032;
    const uint32_t lastWord = (static_cast<uint32_t>(covered[count - 4]) << 24) |
                              (static_cast<uint32_t>(covered[count - 3]) << 16) |
                              (static_cast<uint32_t>(covered[count - 2]) << 8) | covered[count - 1];
    uint32_t crc = 0;
    ASSERT_TRUE(computeAdjustCrc32(covered, count, &crc));
    EXPECT_EQ(crc, referenceCrc(covered, count - 4) ^ lastWord);

    uint32_t calculated = 0;
    ASSERT_EQ(calculateCrc(block.data(), 2036, &calculated), MURELADJ_CRC_OK);
    EXPECT_EQ(calculated, crc);
}

TEST(MurelAdjCrc, RegisterRoutineRefusesMissingArgumentsAndShortInput) {
    const uint8_t bytes[4] = {1, 2, 3, 4};
    uint32_t crc = 0xA5A5A5A5u;
    EXPECT_FALSE(computeAdjustCrc32(nullptr, 4, &crc));
    EXPECT_FALSE(computeAdjustCrc32(bytes, 4, nullptr));
    EXPECT_FALSE(computeAdjustCrc32(bytes, 3, &crc));
    EXPECT_FALSE(computeAdjustCrc32(bytes, 0, &crc));
    EXPECT_EQ(crc, 0xA5A5A5A5u);
}

TEST(MurelAdjCrc, StoredCrcIsLittleEndianInTheFirstFourBytes) {
    std::vector<uint8_t> block(12, 0xEE);
    block[0] = 0x78;
    block[1] = 0x56;
    block[2] = 0x34;
    block[3] = 0x12;
    uint32_t crc = 0;
    EXPECT_EQ(getStoredCrc(block.data(), 12, &crc), 0);
    EXPECT_EQ(crc, 0x12345678u);
}

TEST(MurelAdjCrc, StoredAndCalculatedCrcRefuseLengthBelowTwelveAndMissingArguments) {
    const std::vector<uint8_t> block = sampleBlock();
    uint32_t crc = 0xA5A5A5A5u;
    EXPECT_EQ(getStoredCrc(block.data(), 11, &crc), 4);
    EXPECT_EQ(getStoredCrc(nullptr, 2036, &crc), 4);
    EXPECT_EQ(getStoredCrc(block.data(), 2036, nullptr), 4);
    EXPECT_EQ(calculateCrc(block.data(), 11, &crc), 4);
    EXPECT_EQ(calculateCrc(block.data(), 0, &crc), 4);
    EXPECT_EQ(calculateCrc(nullptr, 2036, &crc), 4);
    EXPECT_EQ(calculateCrc(block.data(), 2036, nullptr), 4);
    EXPECT_EQ(crc, 0xA5A5A5A5u);

    // Twelve bytes are enough: the CRC then covers bytes 4 to 11.
    EXPECT_EQ(calculateCrc(block.data(), 12, &crc), 0);
    uint32_t direct = 0;
    ASSERT_TRUE(computeAdjustCrc32(block.data() + 4, 8, &direct));
    EXPECT_EQ(crc, direct);
}

TEST(MurelAdjCrc, EveryCoveredByteAndEveryStoredByteMatters) {
    std::vector<uint8_t> block = sampleBlock();
    uint32_t crc = 0;
    ASSERT_EQ(calculateCrc(block.data(), 2036, &crc), 0);
    for (int i = 0; i < 4; ++i) {
        block[i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    uint32_t stored = 0;
    ASSERT_EQ(getStoredCrc(block.data(), 2036, &stored), 0);
    ASSERT_EQ(stored, crc);

    for (size_t position : {size_t{4}, size_t{8}, size_t{1000}, size_t{2031}, size_t{2035}}) {
        std::vector<uint8_t> changed = block;
        changed[position] ^= 0x01;
        uint32_t recalculated = 0;
        ASSERT_EQ(calculateCrc(changed.data(), 2036, &recalculated), 0);
        EXPECT_NE(recalculated, stored) << "byte " << position;
    }
}

} // namespace
