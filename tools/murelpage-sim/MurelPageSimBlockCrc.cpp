#include "tools/murelpage-sim/MurelPageSimBlockCrc.h"

uint32_t MurelPageSimCrc32(const uint8_t* bytes, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= static_cast<uint32_t>(bytes[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
        }
    }
    return crc ^ 0xFFFFFFFFu;
}

uint32_t MurelPageSimBlockCrc(const uint8_t* block) {
    const uint32_t tail = (static_cast<uint32_t>(block[2032]) << 24) |
                          (static_cast<uint32_t>(block[2033]) << 16) |
                          (static_cast<uint32_t>(block[2034]) << 8) | block[2035];
    return MurelPageSimCrc32(block + 4, 2032 - 4) ^ tail;
}

void MurelPageSimStoreCrc(uint8_t* block, uint32_t crc) {
    for (int i = 0; i < 4; ++i) {
        block[i] = static_cast<uint8_t>(crc >> (8 * i));
    }
}
