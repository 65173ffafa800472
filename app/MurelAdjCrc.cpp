#include "app/MurelAdjCrc.h"

#include <array>

namespace {

constexpr uint32_t CRC_POLYNOMIAL = 0x04C11DB7u;

// Entry i: i placed in the top byte, shifted eight times through the polynomial.
constexpr std::array<uint32_t, 256> makeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crcRegister = i << 24;
        for (int bit = 0; bit < 8; ++bit) {
            crcRegister = (crcRegister & 0x80000000u) != 0 ? (crcRegister << 1) ^ CRC_POLYNOMIAL
                                                           : crcRegister << 1;
        }
        table[i] = crcRegister;
    }
    return table;
}

constexpr std::array<uint32_t, 256> CRC_TABLE = makeCrcTable();

static_assert(CRC_TABLE[1] == 0x04C11DB7u);
static_assert(CRC_TABLE[255] == 0xB1F740B4u);

bool hasValidArguments(const uint8_t* data, uint32_t length, const uint32_t* crc) {
    return data != nullptr && crc != nullptr && length >= MURELADJ_CRC_MIN_LENGTH;
}

} // namespace

uint32_t adjustCrcTableEntry(uint8_t index) {
    return CRC_TABLE[index];
}

bool computeAdjustCrc32(const uint8_t* bytes, uint32_t count, uint32_t* crc) {
    if (bytes == nullptr || crc == nullptr || count < 4) {
        return false;
    }
    uint32_t crcRegister = (static_cast<uint32_t>(bytes[0]) << 24) |
                           (static_cast<uint32_t>(bytes[1]) << 16) |
                           (static_cast<uint32_t>(bytes[2]) << 8) | static_cast<uint32_t>(bytes[3]);
    crcRegister = ~crcRegister;
    for (uint32_t i = 4; i < count; ++i) {
        crcRegister = CRC_TABLE[crcRegister >> 24] ^ ((crcRegister << 8) | bytes[i]);
    }
    *crc = ~crcRegister;
    return true;
}

int32_t getStoredCrc(const uint8_t* data, uint32_t length, uint32_t* crc) {
    if (!hasValidArguments(data, length, crc)) {
        return MURELADJ_CRC_INVALID_ARGUMENT;
    }
    *crc = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
           (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
    return MURELADJ_CRC_OK;
}

int32_t calculateCrc(const uint8_t* data, uint32_t length, uint32_t* crc) {
    if (!hasValidArguments(data, length, crc)) {
        return MURELADJ_CRC_INVALID_ARGUMENT;
    }
    if (!computeAdjustCrc32(data + 4, length - 4, crc)) {
        return MURELADJ_CRC_INVALID_ARGUMENT;
    }
    return MURELADJ_CRC_OK;
}
