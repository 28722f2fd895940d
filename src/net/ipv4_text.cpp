#include "net/ipv4_text.h"

namespace portrelay {
namespace {

// A part of a dotted address: 1 or more digits, value 0..255.
std::optional<uint32_t> octetOf(const std::string& part) {
  if (part.empty()) return std::nullopt;
  uint32_t value = 0;
  for (char c : part) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > 255) return std::nullopt;  // also ends overlong parts
  }
  return value;
}

}  // namespace

std::vector<std::string> splitOnDots(const std::string& text) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == '.') parts.emplace_back();
    else parts.back().push_back(c);
  }
  return parts;
}

bool isValidIPv4(const std::string& text) { return ipv4FromText(text).has_value(); }

std::optional<uint32_t> ipv4FromText(const std::string& text) {
  const std::vector<std::string> parts = splitOnDots(text);
  if (parts.size() != 4) return std::nullopt;
  uint32_t address = 0;
  for (size_t i = 0; i < 4; ++i) {
    const auto octet = octetOf(parts[i]);
    if (!octet) return std::nullopt;
    address |= *octet << (8 * i);  // first part in the lowest byte: network order in memory
  }
  return address;
}

bool isMulticastGroup(uint32_t address) {
  return (address & 0xF0) == 0xE0;  // the first part lies in the lowest byte (ipv4FromText)
}

}  // namespace portrelay
