// The status getters' percent: the fade's position and the profile weights as
// the host reads them.
#pragma once

namespace portrelay {

// Whole percent of a weight, truncated toward zero and limited to at most
// 100 (NaN reads 100) and, with limitBelow, to at least 0.
inline double wholePercent(double weight, bool limitBelow) {
  const double scaled = weight * 100.0;
  if (!(scaled < 2147483647.0)) return 100.0;  // also catches NaN
  if (scaled <= -2147483648.0) return limitBelow ? 0.0 : -2147483648.0;
  const int p = static_cast<int>(scaled);
  if (p > 100) return 100.0;
  if (limitBelow && p < 0) return 0.0;
  return p;
}

}  // namespace portrelay
