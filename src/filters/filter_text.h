// White-space handling shared by the filter-string parser and number reader.
#pragma once
#include <string_view>

namespace portrelay {

// The standard white-space set: space, tab, line feed, vertical tab, form
// feed, carriage return.
constexpr bool isFilterSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr std::string_view trimFilterSpace(std::string_view text) {
  while (!text.empty() && isFilterSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isFilterSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace portrelay
