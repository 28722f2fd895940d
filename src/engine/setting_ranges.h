// The ranges the host's numeric settings are accepted in. Each bound keeps
// every product the engine forms with the setting (limits × a cue, a weight ×
// a cue, the gain × an output) far inside a float, the type the rig frame and
// the filters carry; NaN and infinities are refused with the rest.
#pragma once
#include <cmath>

namespace portrelay {

inline constexpr double kMaxLimitMagnitude = 1e9;       // rig and input limits
inline constexpr double kMaxBeltWeightMagnitude = 1e3;  // belt-mix weights
inline constexpr double kMaxMotionCancelGain = 1e3;     // |gain|
inline constexpr double kMaxMotionCancelFilter = 1e6;   // cycles

inline bool withinMagnitude(double value, double bound) { return std::isfinite(value) && std::fabs(value) <= bound; }

}  // namespace portrelay
