#include "filters/trailing_number.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

#include "filters/filter_text.h"

namespace portrelay {
namespace {

bool isDecimalChar(char c) {
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == ',';
}

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hexadecimal digits after "0x" ("0x" alone is 0). Unsigned values must fit
// in 32 bits, negative ones in a signed 64-bit integer.
std::optional<double> convertHex(std::string_view digits, bool negative) {
  const uint64_t limit = negative ? (uint64_t{1} << 63) : uint64_t{0xFFFFFFFF};
  uint64_t magnitude = 0;
  for (char c : digits) {
    const auto digit = static_cast<uint64_t>(hexDigitValue(c));
    if (magnitude > (limit - digit) / 16) return std::nullopt;
    magnitude = magnitude * 16 + digit;
  }
  if (!negative) return static_cast<double>(magnitude);
  if (magnitude == (uint64_t{1} << 63)) return static_cast<double>(INT64_MIN);
  return static_cast<double>(-static_cast<int64_t>(magnitude));
}

// The longest leading decimal number of `text` (characters already limited to
// digits, signs, '.' and ','). Conversion is correctly rounded and the same on
// every platform; results too large, or too small to be normal doubles, fail.
std::optional<double> convertDecimal(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const size_t digitsBegin = i;
  size_t digitCount = 0;
  bool nonZeroDigit = false;
  bool pointSeen = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      ++digitCount;
      nonZeroDigit = nonZeroDigit || c != '0';
    } else if ((c == '.' || c == ',') && !pointSeen) {
      pointSeen = true;
    } else {
      break;
    }
  }
  if (digitCount == 0) return std::nullopt;

  std::string number;
  number.reserve(i - digitsBegin + 1);
  if (text[0] == '-') number.push_back('-');
  for (size_t k = digitsBegin; k < i; ++k) number.push_back(text[k] == ',' ? '.' : text[k]);

  double value = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                      std::chars_format::fixed);
  if (result.ec != std::errc() || result.ptr != number.data() + number.size()) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  if (nonZeroDigit && std::fabs(value) < DBL_MIN) return std::nullopt;  // underflow
  return value;
}

}  // namespace

bool parseTrailingNumber(std::string_view& text, double& number) {
  TrailingNumberReader reader(text);
  return reader.take(text, number);
}

size_t TrailingNumberReader::lastSemicolon(size_t begin, size_t end) {
  if (cacheValid_ && end <= knownEnd_) {
    if (knownSemicolon_ != kNone) {
      if (knownSemicolon_ < end) return knownSemicolon_ >= begin ? knownSemicolon_ : kNone;
    } else if (begin >= knownBegin_) {
      return kNone;
    }
  }
  size_t found = kNone;
  for (size_t i = end; i > begin; --i) {
    if (whole_[i - 1] == ';') {
      found = i - 1;
      break;
    }
  }
  cacheValid_ = true;
  knownSemicolon_ = found;
  knownBegin_ = begin;
  knownEnd_ = end;
  return found;
}

const TrailingNumberReader::AfterSemicolon& TrailingNumberReader::shapeAfter(size_t semicolon) {
  if (shape_.semicolon == semicolon) return shape_;
  // Every scan below stops at the next ';' at the latest, so the shapes of
  // different semicolons never cover the same characters.
  const size_t size = whole_.size();
  AfterSemicolon shape;
  shape.semicolon = semicolon;
  size_t i = semicolon + 1;
  while (i < size && isFilterSpace(whole_[i])) ++i;
  shape.start = i;
  while (i < size && isDecimalChar(whole_[i])) ++i;
  shape.decimalEnd = i;
  size_t digits = shape.start + (shape.start < size && whole_[shape.start] == '-' ? 1 : 0) + 2;
  if (digits <= size && whole_.substr(digits - 2, 2) == "0x") {
    while (digits < size && hexDigitValue(whole_[digits]) >= 0) ++digits;
    shape.hexDigitsEnd = digits;
  } else {
    shape.hexDigitsEnd = shape.start;
  }
  shape_ = shape;
  return shape_;
}

bool TrailingNumberReader::take(std::string_view& text, double& number) {
  const auto begin = static_cast<size_t>(text.data() - whole_.data());
  const size_t end = begin + text.size();
  const size_t semicolon = lastSemicolon(begin, end);
  if (semicolon == kNone || semicolon + 1 == end) return false;

  const AfterSemicolon& shape = shapeAfter(semicolon);
  size_t numberEnd = end;
  while (numberEnd > shape.start && isFilterSpace(whole_[numberEnd - 1])) --numberEnd;
  if (shape.start >= numberEnd) return false;  // only white space after the ';'
  const std::string_view trimmed = whole_.substr(shape.start, numberEnd - shape.start);

  std::optional<double> value;
  const size_t sign = trimmed[0] == '-' ? 1 : 0;
  if (trimmed.size() >= sign + 2 && trimmed.substr(sign, 2) == "0x") {
    if (shape.hexDigitsEnd < numberEnd) return false;
    value = convertHex(trimmed.substr(sign + 2), sign == 1);
  } else {
    if (shape.decimalEnd < numberEnd) return false;
    value = convertDecimal(trimmed);
  }
  if (!value) return false;
  number = *value;
  text = text.substr(0, semicolon - begin);
  return true;
}

}  // namespace portrelay
