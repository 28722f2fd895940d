#include "simserver/flight_script.h"

#include <cmath>

namespace simserver {
namespace {

constexpr double kPi = 3.14159265358979323846;

// 0 before a, 1 after b, a smooth step between.
double ramp(double t, double a, double b) {
  if (t <= a) return 0.0;
  if (t >= b) return 1.0;
  const double u = (t - a) / (b - a);
  return u * u * (3.0 - 2.0 * u);
}
double rampRate(double t, double a, double b) {
  if (t <= a || t >= b) return 0.0;
  const double u = (t - a) / (b - a);
  return 6.0 * u * (1.0 - u) / (b - a);
}

}  // namespace

FlightSample FlightScript::at(double seconds) const {
  const double t = std::fmod(std::fmod(seconds, kSeconds) + kSeconds, kSeconds);
  FlightSample s;
  s.time = t;
  // Forward speed: 3 m/s^2 down the runway to 48 m/s, 55 m/s in the air,
  // braking at 3 m/s^2 after touchdown.
  double forward = 0.0, forwardAccel = 0.0;
  if (t < kLiftOff) {
    forward = 3.0 * t;
    forwardAccel = 3.0;
  } else if (t < kTouchdown) {
    forward = 48.0 + 7.0 * ramp(t, kLiftOff, 24.0);
    forwardAccel = 7.0 * rampRate(t, kLiftOff, 24.0);
  } else {
    forward = 55.0 - 3.0 * (t - kTouchdown);
    forwardAccel = -3.0;
  }
  // Rotation at 15-17 s, level-off 26-28 s, descent 40-49 s, flare 49-50 s.
  const double noseUp = 0.15 * ramp(t, 15.0, 17.0) - 0.15 * ramp(t, 26.0, 28.0) - 0.04 * ramp(t, 40.0, 42.0) +
                        0.04 * ramp(t, 48.0, 50.0);
  const double noseUpRate = 0.15 * rampRate(t, 15.0, 17.0) - 0.15 * rampRate(t, 26.0, 28.0) -
                            0.04 * rampRate(t, 40.0, 42.0) + 0.04 * rampRate(t, 48.0, 50.0);
  const double climb = 5.0 * (ramp(t, 16.0, 18.0) - ramp(t, 26.0, 28.0)) - 4.0 * (ramp(t, 40.0, 42.0) - ramp(t, 48.0, 50.0));
  const double climbAccel =
      5.0 * (rampRate(t, 16.0, 18.0) - rampRate(t, 26.0, 28.0)) - 4.0 * (rampRate(t, 40.0, 42.0) - rampRate(t, 48.0, 50.0));
  // A right turn through 90 degrees between 28 and 40 s, banked with the rate.
  const double turned = 0.5 * kPi * ramp(t, 28.0, 40.0);
  const double turnRate = 0.5 * kPi * rampRate(t, 28.0, 40.0);
  const double bank = std::atan(turnRate * forward / 9.80665);

  s.velocity[0] = 0.0;
  s.velocity[1] = climb;
  s.velocity[2] = forward;
  s.accel[0] = turnRate * forward;  // the turn's centripetal acceleration
  s.accel[1] = climbAccel;
  s.accel[2] = forwardAccel;
  s.heading = std::fmod(0.6 + turned, 2.0 * kPi);
  s.bank = bank;
  s.pitch = -noseUp;
  s.rotationVelocity[0] = -noseUpRate;
  s.rotationVelocity[1] = turnRate;
  s.rotationVelocity[2] = 0.0;
  s.rotationAccel[0] = 0.0;
  s.rotationAccel[1] = 0.0;
  s.rotationAccel[2] = 0.0;
  // Roll-rate from the bank change (numerically, over 10 ms).
  const double later = std::atan(0.5 * kPi * rampRate(t + 0.01, 28.0, 40.0) * forward / 9.80665);
  s.rotationVelocity[2] = (later - bank) / 0.01;
  const bool onGround = t < kLiftOff || t >= kTouchdown;
  s.simOnGround = onGround ? 1 : 0;
  // The wheels leave the runway a moment after the simulator counts the
  // aircraft airborne, and touch down bouncing.
  const bool gear = t < kLiftOff + kGearLag || t >= kTouchdown + kGearLag;
  s.gearOnGround = gear ? 1 : 0;
  return s;
}

}  // namespace simserver
