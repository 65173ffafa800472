// The block CRC: MSB-first CRC-32 (polynomial 0x04C11DB7) in its augmented form over the adjust
// block's bytes 4 to the end, compared with the little-endian word stored in bytes 0 to 3.
#pragma once

#include <cstdint>

// Result codes of getStoredCrc and calculateCrc.
constexpr int32_t MURELADJ_CRC_OK = 0;
constexpr int32_t MURELADJ_CRC_INVALID_ARGUMENT = 4;

// Smallest block length the CRC routines accept.
constexpr uint32_t MURELADJ_CRC_MIN_LENGTH = 12;

// Entry i of the MSB-first CRC-32 table of polynomial 0x04C11DB7 (no initial value, no final XOR).
uint32_t adjustCrcTableEntry(uint8_t index);

// The register routine: the first four bytes are loaded big-endian and complemented, every further
// byte is shifted in through the table, the register is complemented at the end. False when bytes
// or crc is missing or count is below 4.
bool computeAdjustCrc32(const uint8_t* bytes, uint32_t count, uint32_t* crc);

// Bytes 0 to 3 as a little-endian word: 0, or 4 for missing arguments or length below 12.
int32_t getStoredCrc(const uint8_t* data, uint32_t length, uint32_t* crc);

// CRC over bytes 4 to length-1: 0, or 4 for missing arguments, length below 12 or a refusing
// register routine.
int32_t calculateCrc(const uint8_t* data, uint32_t length, uint32_t* crc);
