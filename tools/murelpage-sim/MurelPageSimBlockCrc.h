// CRC of an adjust-block image, as murelpage-sim stores it with --fix-crc: CRC-32 (polynomial
// 0x04C11DB7, initial value 0xFFFFFFFF, no reflection, final XOR 0xFFFFFFFF) over bytes 4..2031,
// XORed with the big-endian word in bytes 2032..2035; stored little-endian in bytes 0..3.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kMurelPageSimBlockSize = 2036;

// Plain CRC-32 as above over size bytes.
uint32_t MurelPageSimCrc32(const uint8_t* bytes, size_t size);

// The CRC the block's bytes 0..3 must hold.
uint32_t MurelPageSimBlockCrc(const uint8_t* block);

// Stores crc little-endian in bytes 0..3.
void MurelPageSimStoreCrc(uint8_t* block, uint32_t crc);
