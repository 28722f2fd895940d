// A scripted flight of 60 seconds: take-off roll, rotation and climb, a
// turn, descent, landing and roll-out. Every value is a closed form of the
// time, so any instant can be asked for, in any order.
#pragma once
#include <cstdint>

namespace simserver {

// One instant as the simulator reports it for the user's aircraft: body axes
// x to the right, y up, z forward; SI units and radians.
struct FlightSample {
  double time = 0.0;
  double accel[3] = {};          // m/s^2 (x, y, z)
  double rotationAccel[3] = {};  // rad/s^2 about x, y, z
  double velocity[3] = {};       // m/s
  double rotationVelocity[3] = {};  // rad/s about x (pitch), y (yaw), z (bank)
  double heading = 0.0;  // rad, true
  double bank = 0.0;     // rad
  double pitch = 0.0;    // rad, the simulator's sign: nose up is negative
  int64_t gearOnGround = 0;
  int64_t simOnGround = 0;
};

class FlightScript {
 public:
  static constexpr double kSeconds = 60.0;
  // Phases (seconds): on the ground until lift-off, in the air until touchdown.
  static constexpr double kLiftOff = 16.0;
  static constexpr double kTouchdown = 50.0;
  // The gear's own flag lags the simulator's for this long at both ends.
  static constexpr double kGearLag = 0.5;
  FlightSample at(double seconds) const;  // the time wraps at kSeconds
};

}  // namespace simserver
