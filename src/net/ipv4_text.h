// Dotted IPv4 text: splitting, validation and conversion.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace portrelay {

// Splits at every '.'; empty parts are kept ("" gives one empty part, "1..2"
// an empty middle part, "1.2." a trailing empty part).
std::vector<std::string> splitOnDots(const std::string& text);

// Four dot-separated decimal numbers 0..255 (digits only, leading zeros
// allowed: "010" is ten). No check of the address range.
bool isValidIPv4(const std::string& text);

// The address of valid text in network byte order, read as isValidIPv4 reads
// it (decimal, also with leading zeros); nothing for invalid text.
std::optional<uint32_t> ipv4FromText(const std::string& text);

// An IPv4 multicast group (224.0.0.0/4); the address in network byte order.
bool isMulticastGroup(uint32_t address);

}  // namespace portrelay
