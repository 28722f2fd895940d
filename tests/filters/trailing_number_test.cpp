// Arguments read from the end of an argument list.
#include <gtest/gtest.h>

#include <string>

#include "filters/trailing_number.h"

namespace portrelay {
namespace {

struct NumberCase {
  std::string text;
  bool accepted;
  double value;
  std::string rest;
};

void expectNumber(const NumberCase& c) {
  SCOPED_TRACE(c.text.substr(0, 40));
  std::string_view text = c.text;
  double number = -12345.0;
  EXPECT_EQ(parseTrailingNumber(text, number), c.accepted);
  if (c.accepted) {
    EXPECT_EQ(number, c.value);
    EXPECT_EQ(text, c.rest);
  } else {
    EXPECT_EQ(number, -12345.0);
    EXPECT_EQ(text, c.text);
  }
}

const std::string kNines(400, '9');
const std::string kTiny = "0." + std::string(400, '0') + "1";

const NumberCase kNumberCases[] = {
        NumberCase{"VALUE;2", true, 2.0, "VALUE"},
        NumberCase{"A;B;3", true, 3.0, "A;B"},
        NumberCase{"VALUE; \t7 \n", true, 7.0, "VALUE"},
        NumberCase{"VALUE;0,5", true, 0.5, "VALUE"},
        NumberCase{"VALUE;0,5,5", true, 0.5, "VALUE"},
        NumberCase{"VALUE;1.2.3", true, 1.2, "VALUE"},
        NumberCase{"VALUE;1-2", true, 1.0, "VALUE"},
        NumberCase{"VALUE;+5", true, 5.0, "VALUE"},
        NumberCase{"VALUE;-.5", true, -0.5, "VALUE"},
        NumberCase{"VALUE;5.", true, 5.0, "VALUE"},
        NumberCase{"VALUE;0.000", true, 0.0, "VALUE"},
        NumberCase{"VALUE;0.1", true, 0.1, "VALUE"},
        NumberCase{"VALUE;0x10", true, 16.0, "VALUE"},
        NumberCase{"VALUE;0xfF", true, 255.0, "VALUE"},
        NumberCase{"VALUE;-0x10", true, -16.0, "VALUE"},
        NumberCase{"VALUE;0x", true, 0.0, "VALUE"},
        NumberCase{"VALUE;-0x", true, 0.0, "VALUE"},
        NumberCase{"VALUE;0xFFFFFFFF", true, 4294967295.0, "VALUE"},
        NumberCase{"VALUE;0x00000000FFFFFFFF", true, 4294967295.0, "VALUE"},
        NumberCase{"VALUE;-0x8000000000000000", true, -9223372036854775808.0, "VALUE"},
        NumberCase{"VALUE;-0xFFFFFFFFFF", true, -1099511627775.0, "VALUE"},
        NumberCase{"VALUE;0x100000000", false, 0, ""},
        NumberCase{"VALUE;-0x8000000000000001", false, 0, ""},
        NumberCase{"VALUE;0X10", false, 0, ""},
        NumberCase{"VALUE;0xfg", false, 0, ""},
        NumberCase{"VALUE;0x 1", false, 0, ""},
        NumberCase{"VALUE;+0x10", false, 0, ""},
        NumberCase{"VALUE;1e3", false, 0, ""},
        NumberCase{"VALUE;1 2", false, 0, ""},
        NumberCase{"VALUE;2)", false, 0, ""},
        NumberCase{"VALUE;.", false, 0, ""},
        NumberCase{"VALUE;-", false, 0, ""},
        NumberCase{"VALUE;--1", false, 0, ""},
        NumberCase{"VALUE;x", false, 0, ""},
        NumberCase{"VALUE; ", false, 0, ""},
        NumberCase{"VALUE;", false, 0, ""},
        NumberCase{"VALUE", false, 0, ""},
        NumberCase{"", false, 0, ""},
        NumberCase{"VALUE;" + kNines, false, 0, ""},  // overflow
        NumberCase{"VALUE;" + kTiny, false, 0, ""},   // underflow
};

TEST(TrailingNumber, ReadsOrLeavesTextAlone) {
  for (const NumberCase& c : kNumberCases) expectNumber(c);
}

// The parser's reader remembers what it found; asking about ever shorter
// windows of one text must give the same answers as a fresh reader.
TEST(TrailingNumberReader, RepeatedWindowsAgreeWithFreshReads) {
  const std::string whole = "A;1;B;0x2; 3 ;C4;5,5";
  TrailingNumberReader reader(whole);
  for (size_t end = whole.size(); end > 0; --end) {
    for (size_t begin = 0; begin < end; begin += 3) {
      std::string_view cached = std::string_view(whole).substr(begin, end - begin);
      std::string_view fresh = cached;
      double a = 0.0;
      double b = 0.0;
      std::string_view probe = cached;
      const bool expected = parseTrailingNumber(fresh, b);
      EXPECT_EQ(reader.take(probe, a), expected) << cached;
      if (expected) {
        EXPECT_EQ(a, b) << cached;
        EXPECT_EQ(probe, fresh) << cached;
      }
    }
  }
}

}  // namespace
}  // namespace portrelay
