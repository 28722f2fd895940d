#include "riglink/crc16.h"

#include <array>

namespace portrelay {
namespace {

using CrcTable = std::array<uint16_t, 256>;

CrcTable buildTable() {
  CrcTable table{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t c = static_cast<uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
    table[i] = c;
  }
  return table;
}

// Built on first use (thread-safe static initialisation), never changed.
const CrcTable& table() {
  static const CrcTable instance = buildTable();
  return instance;
}

}  // namespace

uint16_t crc16(const uint8_t* data, size_t length) {
  const CrcTable& t = table();
  uint16_t c = 0;
  for (size_t i = 0; i < length; ++i) c = static_cast<uint16_t>((c >> 8) ^ t[(c ^ data[i]) & 0xFF]);
  return c;
}

uint16_t crc16Update(uint16_t crc, uint8_t byte) {
  return static_cast<uint16_t>((crc >> 8) ^ table()[(crc ^ byte) & 0xFF]);
}

void storeCrcInEndPair(uint8_t* frame, size_t length) {
  if (length < 2) return;
  const uint16_t crc = crc16(frame, length - 2);
  frame[length - 2] = static_cast<uint8_t>(crc & 0xFF);
  frame[length - 1] = static_cast<uint8_t>(crc >> 8);
}

}  // namespace portrelay
