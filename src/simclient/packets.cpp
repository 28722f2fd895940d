#include "simclient/packets.h"

#include <cstring>

namespace portrelay::simclient {
namespace {
void putU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
}  // namespace

void PacketComposer::u32(uint32_t value) {
  putU32(buffer_ + size_, value);
  size_ += 4;
}

void PacketComposer::f32(float value) {
  uint32_t raw = 0;
  std::memcpy(&raw, &value, sizeof raw);
  u32(raw);
}

void PacketComposer::bytes(const uint8_t* data, size_t count) {
  std::memcpy(buffer_ + size_, data, count);
  size_ += count;
}

bool PacketComposer::name(std::string_view text) {
  if (text.size() >= kNameFieldSize) return false;
  std::memset(buffer_ + size_, 0, kNameFieldSize);
  std::memcpy(buffer_ + size_, text.data(), text.size());
  size_ += kNameFieldSize;
  return true;
}

size_t PacketComposer::finish(uint32_t sendId) {
  putU32(buffer_, static_cast<uint32_t>(size_));
  putU32(buffer_ + 4, kProtocolVersion);
  putU32(buffer_ + 8, kPacketIdBase + static_cast<uint32_t>(operation_));
  putU32(buffer_ + 12, sendId);
  return size_;
}

}  // namespace portrelay::simclient
