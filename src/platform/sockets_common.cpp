#include <cstdio>

#include "platform/sockets.h"

namespace portrelay::platform {
namespace {
// Network byte order of the values the layer builds itself (x86-64 is little-endian).
uint16_t swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
constexpr uint16_t kFamilyIPv4 = 2;  // AF_INET on every supported system
}  // namespace

SocketAddress anyAddress(uint16_t port) {
  SocketAddress address;
  address.family = kFamilyIPv4;
  address.port = swap16(port);
  address.address = 0;
  return address;
}

SocketAddress loopbackAddress(uint16_t port) {
  SocketAddress address = anyAddress(port);
  address.address = 0x0100007Fu;  // 127.0.0.1 in network order
  return address;
}

uint16_t portOf(const SocketAddress& address) { return swap16(address.port); }

std::string addressText(const SocketAddress& address) {
  const auto* b = reinterpret_cast<const uint8_t*>(&address.address);
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return text;
}

}  // namespace portrelay::platform
