// A scripted car going round a lap: the motion every simulated game reports.
#pragma once

namespace gamesim {

// One instant of the motion, in the engine's own conventions: the values a
// reader should put into the record (angles here in radians, the record's in
// degrees). Accelerations are kinematic (gravity not included).
struct MotionSample {
  double time = 0.0;  // s since the lap started
  double lateralAccel = 0.0, longitudinalAccel = 0.0, verticalAccel = 0.0;  // m/s^2
  double lateralSpeed = 0.0, longitudinalSpeed = 0.0, verticalSpeed = 0.0;  // m/s
  double yaw = 0.0, pitch = 0.0, roll = 0.0;                                // rad, yaw in (-pi, pi]
  double yawRate = 0.0, pitchRate = 0.0, rollRate = 0.0;                    // rad/s
  double yawAccel = 0.0, pitchAccel = 0.0, rollAccel = 0.0;                 // rad/s^2
  double speed = 0.0;                                                       // m/s
  double rpm = 0.0;
};

// A 60-second lap: three accelerate-and-brake phases, a heading that turns
// once round with two wiggles (the corners), body roll from the cornering
// load, pitch from braking and accelerating, and road bumps. Every value is a
// closed form of the time, so any instant can be asked for, in any order.
class LapMotion {
 public:
  static constexpr double kLapSeconds = 60.0;
  MotionSample at(double seconds) const;
};

// The gravity components (m/s^2) a proper game adds to the acceleration, for a
// given roll and pitch in radians (yaw taken as 0).
struct GravityComponents {
  double lateral = 0.0, longitudinal = 0.0, vertical = 0.0;
};
GravityComponents gravityFor(double roll, double pitch);

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kStandardGravity = 9.80665;

}  // namespace gamesim
