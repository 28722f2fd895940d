#include "riglink/crc16.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace portrelay {
namespace {

struct CrcCase {
  std::vector<uint8_t> bytes;
  uint16_t crc;
};

TEST(Crc16, CheckValues) {
  const std::string digits = "123456789";
  const CrcCase cases[] = {
      {{digits.begin(), digits.end()}, 0xBB3D},
      {{0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00}, 0x1188},
      {{0xF9, 0xF9, 0x01, 0x00, 0x02, 0x00}, 0xE188},
      {{}, 0x0000},
      {{0x00}, 0x0000},
      {{0xFF}, 0x4040},
  };
  for (const CrcCase& c : cases) EXPECT_EQ(crc16(c.bytes.data(), c.bytes.size()), c.crc);
}

TEST(Crc16, StoredLowByteFirstOverTheEndPair) {
  uint8_t frame[] = {0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x0A, 0x0D};
  storeCrcInEndPair(frame, sizeof frame);
  EXPECT_EQ(frame[6], 0x88);
  EXPECT_EQ(frame[7], 0x11);
}

}  // namespace
}  // namespace portrelay
