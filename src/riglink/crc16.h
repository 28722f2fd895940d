// CRC-16/ARC of the rig frame protocol (reflected polynomial 0xA001, initial
// value 0, no final XOR), stored on the wire low byte first.
#pragma once
#include <cstddef>
#include <cstdint>

namespace portrelay {

uint16_t crc16(const uint8_t* data, size_t length);

// The CRC after one more byte: crc16Update(crc16(a, n), a[n]) == crc16(a, n + 1).
uint16_t crc16Update(uint16_t crc, uint8_t byte);

// Writes the CRC of the first length-2 bytes into the last two, low byte
// first. Buffers shorter than 2 bytes are left alone.
void storeCrcInEndPair(uint8_t* frame, size_t length);

}  // namespace portrelay
