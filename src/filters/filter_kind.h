// The kinds of filter node, their keywords and how many numbers each takes.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace portrelay {

enum class FilterKind : int32_t {
  Value = 0,
  Emalp = 1,
  Emahp = 2,
  Mul = 3,
  Gain = 4,
  Logistic = 5,
  Crop = 6,
  Rollover = 7,
  Remap = 8,
  Noise = 9,
  Bitscale = 10,
  BitscaleSigned = 11,
  Sinus = 12,
  Abs = 13,
  SetValue = 14,
  Add = 15,
  Spike = 16,
  Edynlp = 17,
  Ldynlp = 18,
};

// The keyword of a kind ("VALUE", "EMALP", ...); "UNKNOWN" for any other code.
std::string_view filterKindName(FilterKind kind);

// The kind whose keyword equals `keyword` ignoring ASCII case, for every
// keyword that may open a node (not "VALUE", which only ends a chain).
std::optional<FilterKind> keywordKind(std::string_view keyword);

// How many numbers the keyword of `kind` takes after its inner filter.
int filterArgumentCount(FilterKind kind);

}  // namespace portrelay
