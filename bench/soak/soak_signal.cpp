#include "soak_signal.h"

#include <algorithm>
#include <cmath>

namespace portrelay::soak {
namespace {

constexpr double kTwoPi = 6.283185307179586;
// The page stores g in 32-bit floats: a radius is off by a few 1e-7 m/s^2 at
// most, while a chord point 1/1000 of the way from its end is off by 1e-3
// or more for any two samples a second apart.
constexpr double kRadiusTolerance = 2e-4;
// A sample's angle, within this fraction of one sample's step.
constexpr double kAngleTolerance = 0.05;

}  // namespace

gamesim::MotionSample sampleAt(int64_t n) {
  gamesim::MotionSample s;
  const double t = static_cast<double>(n) * kSampleSeconds;
  s.time = t;
  const double angle = kTwoPi * static_cast<double>(n % kTagsPerTurn) / static_cast<double>(kTagsPerTurn);
  s.lateralAccel = kTagRadius * std::cos(angle);
  s.longitudinalAccel = kTagRadius * std::sin(angle);
  s.verticalAccel = 1.5 * std::sin(kTwoPi * 0.3 * t);  // slot 2, heave (the game adds gravity)
  s.yawRate = 0.1 * std::sin(kTwoPi * 0.2 * t);        // rad/s; slot 3 in deg/s
  s.rollRate = 0.08 * std::sin(kTwoPi * 0.25 * t + 1.0);
  s.pitchRate = 0.06 * std::sin(kTwoPi * 0.15 * t + 2.0);
  s.longitudinalSpeed = 20.0 + 5.0 * std::sin(kTwoPi * 0.05 * t);  // the fan's speed
  s.speed = s.longitudinalSpeed;
  return s;
}

std::optional<int64_t> decodeTag(float sway, float surge) {
  const double x = sway, y = surge;
  if (!std::isfinite(x) || !std::isfinite(y)) return std::nullopt;
  if (std::fabs(std::hypot(x, y) - kTagRadius) > kRadiusTolerance) return std::nullopt;
  double turns = std::atan2(y, x) / kTwoPi;
  if (turns < 0) turns += 1.0;
  const double step = turns * static_cast<double>(kTagsPerTurn);
  const double nearest = std::round(step);
  if (std::fabs(step - nearest) > kAngleTolerance) return std::nullopt;
  return static_cast<int64_t>(nearest) % kTagsPerTurn;
}

double liveRatePerSecond(int axis) {
  // Sway and surge: the point runs round the circle once in 10 s; heave: the
  // game's sine. Yaw, roll and pitch: the steepest of the soak's chains (gain
  // up to 2 on the game's sine, or a generated sine of amplitude 2 at 1 Hz).
  constexpr double kCircle = kTwoPi * kTagRadius / (static_cast<double>(kTagsPerTurn) * kSampleSeconds);
  constexpr double kChains = 2.0 * kTwoPi * 1.0;
  const double game[6] = {kCircle, kCircle, 1.5 * kTwoPi * 0.3, 0.1 * 57.29577951308232 * kTwoPi * 0.2,
                          0.08 * 57.29577951308232 * kTwoPi * 0.25, 0.06 * 57.29577951308232 * kTwoPi * 0.15};
  if (axis < 0 || axis > 5) return 0.0;
  if (axis < 3) return game[axis];  // sway, surge and heave keep their chains
  return std::max(2.0 * game[axis], kChains);
}

}  // namespace portrelay::soak
