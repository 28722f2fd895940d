// Unit conversions and the gravity split every telemetry reader shares.
#pragma once
#include "common/sample_record.h"

namespace portrelay {

inline constexpr double kGravity = 9.80665;
// The games' radians become degrees with one of two values of pi: most
// readers use the shorter one, iRacing, rFactor 2, the truck simulators and
// WRC the full double.
inline constexpr double kReaderPi = 3.14159265358979;
inline constexpr double kFullPi = 3.141592653589793;

inline double toDegrees(double radians, double pi = kReaderPi) { return radians / pi * 180.0; }
inline double toRadians(double degrees, double pi = kReaderPi) { return degrees / 180.0 * pi; }

// A rotation as a quaternion (w, x, y, z).
struct Quaternion {
  double w = 1.0, x = 0.0, y = 0.0, z = 0.0;
};

// Kinematic games report the acceleration without gravity; proper games the
// acceleration felt, gravity included.
enum class Completion { Kinematic, Proper };

// Body-frame gravity components from roll and pitch (yaw taken as 0), then the
// missing half of each acceleration pair: *_accel_g = *_gravi + *_accel for a
// kinematic game, *_accel = *_accel_g - *_gravi for a proper one.
void splitGravity(SampleRecord& record, Completion completion, double pi = kReaderPi);

}  // namespace portrelay
