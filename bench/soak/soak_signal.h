// The motion the soak's game plays, and how a frame at the rig tells which
// sample it was computed from.
//
// Sample n puts a point on a circle into lateral and longitudinal
// acceleration: (R cos a, R sin a) with a = 2 pi (n mod kTagsPerTurn) /
// kTagsPerTurn. Slots 0 and 1 pass both unchanged into the frame's first two
// floats, so a frame names its sample modulo one turn (10 s). The output fade
// blends two frames along a chord, which lies inside the circle: a blended
// frame is off the radius and is not taken for a sample, so fades never pass
// for old or new samples.
// Heave carries a slow sine on top of gravity; yaw, roll and pitch carry slow
// sines for the filter and limit changes to work on.
#pragma once
#include <cstdint>
#include <optional>

#include "gamesim/lap_motion.h"

namespace portrelay::soak {

inline constexpr int64_t kTagsPerTurn = 5000;  // 10 s of samples at 500 Hz
inline constexpr double kTagRadius = 5.0;      // m/s^2
inline constexpr double kSampleSeconds = 0.002;

// The game's sample number n.
gamesim::MotionSample sampleAt(int64_t n);

// The sample number modulo kTagsPerTurn that a frame's sway and surge floats
// carry, or nothing for a frame that is off the circle (a blend, a held
// value of another kind, garbage).
std::optional<int64_t> decodeTag(float sway, float surge);

// The largest change per second of each of the six frame floats that live
// motion makes, with any chain the soak installs; used for the step bound.
double liveRatePerSecond(int axis);

}  // namespace portrelay::soak
