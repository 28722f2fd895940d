#include "gamesim/lap_motion.h"

#include <cmath>

namespace gamesim {

namespace {
// Speed: v = kCruise + kSurge sin(w t), three phases per lap.
constexpr double kCruise = 35.0;
constexpr double kSurge = 12.0;
constexpr double kSurgeFrequency = 2 * kPi * 3 / LapMotion::kLapSeconds;
// Heading: psi = w0 t + kWiggle sin(b t), one turn per lap plus two corners.
constexpr double kTurnRate = 2 * kPi / LapMotion::kLapSeconds;
constexpr double kWiggle = 0.6;
constexpr double kWiggleFrequency = 2 * kPi * 2 / LapMotion::kLapSeconds;
// Body attitude per load: about 2.3 degrees of roll and 1.7 of pitch per g.
constexpr double kRollPerAccel = -0.004;
constexpr double kPitchPerAccel = 0.003;
// Road bumps.
constexpr double kBump = 0.8;
constexpr double kBumpFrequency = 2 * kPi * 1.7;
}  // namespace

MotionSample LapMotion::at(double t) const {
  MotionSample m;
  m.time = t;
  const double w = kSurgeFrequency;
  const double v = kCruise + kSurge * std::sin(w * t);
  const double dv = kSurge * w * std::cos(w * t);
  const double ddv = -kSurge * w * w * std::sin(w * t);
  const double dddv = -kSurge * w * w * w * std::cos(w * t);

  const double b = kWiggleFrequency;
  const double heading = kTurnRate * t + kWiggle * std::sin(b * t);
  const double dpsi = kTurnRate + kWiggle * b * std::cos(b * t);
  const double ddpsi = -kWiggle * b * b * std::sin(b * t);
  const double dddpsi = -kWiggle * b * b * b * std::cos(b * t);

  const double lateral = v * dpsi;  // centripetal load
  const double dLateral = dv * dpsi + v * ddpsi;
  const double ddLateral = ddv * dpsi + 2 * dv * ddpsi + v * dddpsi;

  m.speed = v;
  m.rpm = 1500.0 + 180.0 * v;
  m.longitudinalSpeed = v;
  m.lateralSpeed = 0.03 * lateral;  // a little slip
  m.verticalSpeed = -kBump / kBumpFrequency * std::cos(kBumpFrequency * t);
  m.longitudinalAccel = dv;
  m.lateralAccel = lateral;
  m.verticalAccel = kBump * std::sin(kBumpFrequency * t);

  m.yaw = std::remainder(heading, 2 * kPi);
  m.yawRate = dpsi;
  m.yawAccel = ddpsi;
  m.roll = kRollPerAccel * lateral;
  m.rollRate = kRollPerAccel * dLateral;
  m.rollAccel = kRollPerAccel * ddLateral;
  m.pitch = kPitchPerAccel * dv;
  m.pitchRate = kPitchPerAccel * ddv;
  m.pitchAccel = kPitchPerAccel * dddv;
  return m;
}

GravityComponents gravityFor(double roll, double pitch) {
  GravityComponents g;
  g.longitudinal = std::sin(pitch) * kStandardGravity;
  g.lateral = std::cos(pitch) * std::sin(roll) * kStandardGravity;
  g.vertical = std::cos(pitch) * std::cos(roll) * kStandardGravity;
  return g;
}

}  // namespace gamesim
