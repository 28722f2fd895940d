#include "sources/text_number.h"

#include <charconv>
#include <cmath>

namespace portrelay {

namespace {
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
}  // namespace

double leadingNumber(const char* begin, const char* end) {
  while (begin < end && isSpace(*begin)) ++begin;
  bool negative = false;
  if (begin < end && (*begin == '+' || *begin == '-')) {
    negative = *begin == '-';
    ++begin;
  }
  if (begin < end && (*begin == '+' || *begin == '-')) return 0.0;  // one sign only
  double value = 0.0;
  const auto result = std::from_chars(begin, end, value, std::chars_format::general);
  if (result.ec != std::errc() || !std::isfinite(value)) return 0.0;
  return negative ? -value : value;
}

}  // namespace portrelay
