// Reading filter arguments from the end of an argument list: "VALUE;2;0,5"
// yields 0.5 and leaves "VALUE;2".
#pragma once
#include <cstddef>
#include <string_view>

namespace portrelay {

// Takes the number after the last ';' of `text`. On success stores it, cuts
// `text` before that ';' and returns true; on failure leaves both untouched.
//
// The number is trimmed of white space and is either hexadecimal ("0x1F",
// lower-case x only: unsigned 32-bit, or signed 64-bit with a leading '-') or
// decimal (digits, '+', '-', '.', and ',' as a decimal point; no exponent; the
// longest leading number is taken, so "1.2.3" reads 1.2). Overflow and
// underflow fail.
bool parseTrailingNumber(std::string_view& text, double& number);

// The same rule for a parser that takes numbers again and again from windows
// of one text. It remembers the last ';' and the shape of the text after it;
// while window ends never move right (as in the parser), each character is
// scanned a bounded number of times however often the same list is tried
// (ABS(ABS(...)) tries every level). Any other window is still read correctly.
class TrailingNumberReader {
 public:
  explicit TrailingNumberReader(std::string_view whole) : whole_(whole) {}

  // `text` must lie inside the text given to the constructor.
  bool take(std::string_view& text, double& number);

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  // The shape of the text that follows one ';' (indexes into whole_).
  struct AfterSemicolon {
    size_t semicolon = kNone;
    size_t start = 0;       // first character after the leading white space
    size_t decimalEnd = 0;  // first character from start on that no decimal may hold
    size_t hexDigitsEnd = 0;  // first non-hex-digit after "0x" / "-0x" (when present)
  };

  size_t lastSemicolon(size_t begin, size_t end);
  const AfterSemicolon& shapeAfter(size_t semicolon);

  std::string_view whole_;
  // No ';' lies in (knownSemicolon_, knownEnd_) (in [knownBegin_, knownEnd_)
  // when knownSemicolon_ is kNone).
  bool cacheValid_ = false;
  size_t knownSemicolon_ = kNone;
  size_t knownBegin_ = 0;
  size_t knownEnd_ = 0;
  AfterSemicolon shape_;
};

}  // namespace portrelay
