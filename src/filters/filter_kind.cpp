#include "filters/filter_kind.h"

#include <array>

namespace portrelay {
namespace {

struct KindInfo {
  std::string_view keyword;
  int argumentCount;
};

constexpr std::array<KindInfo, 19> kKinds = {{
    {"VALUE", 0},    {"EMALP", 1},   {"EMAHP", 1},    {"MUL", 1},
    {"GAIN", 1},     {"LOGISTIC", 2}, {"CROP", 2},    {"ROLLOVER", 1},
    {"REMAP", 4},    {"NOISE", 3},   {"BITSCALE", 2}, {"BITSCALESIGNED", 2},
    {"SINUS", 2},    {"ABS", 0},     {"SETVALUE", 1}, {"ADD", 1},
    {"SPIKE", 4},    {"EDYNLP", 3},  {"LDYNLP", 3},
}};

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool equalsIgnoringCase(std::string_view text, std::string_view upperKeyword) {
  if (text.size() != upperKeyword.size()) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (upperAscii(text[i]) != upperKeyword[i]) return false;
  return true;
}

}  // namespace

std::string_view filterKindName(FilterKind kind) {
  const auto code = static_cast<uint32_t>(kind);
  return code < kKinds.size() ? kKinds[code].keyword : std::string_view("UNKNOWN");
}

std::optional<FilterKind> keywordKind(std::string_view keyword) {
  for (size_t code = 1; code < kKinds.size(); ++code)
    if (equalsIgnoringCase(keyword, kKinds[code].keyword)) return static_cast<FilterKind>(code);
  return std::nullopt;
}

int filterArgumentCount(FilterKind kind) {
  const auto code = static_cast<uint32_t>(kind);
  return code < kKinds.size() ? kKinds[code].argumentCount : 0;
}

}  // namespace portrelay
