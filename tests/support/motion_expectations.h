// What a reader should have written for a sample of gamesim's lap, channel by channel.
#pragma once
#include <cmath>
#include <optional>
#include <vector>

#include "common/sample_record.h"
#include "gamesim/lap_motion.h"

namespace portrelay::testing {

// How a game carries the angular rates and the heading.
struct ChannelConventions {
  bool ratesInRadians = false;  // iRacing hands its rates over unconverted
  bool headingFromZero = false;  // truck simulators: heading in [0, 360)
};

inline double degreesOf(double radians) { return radians * 180.0 / gamesim::kPi; }

// The value the record should hold at `index` for sample `m`, or nothing for a
// channel this comparison does not cover.
inline std::optional<double> expectedChannel(int index, const gamesim::MotionSample& m, ChannelConventions c) {
  using namespace channel;
  const auto rate = [&](double r) { return c.ratesInRadians ? r : degreesOf(r); };
  switch (index) {
    case lateral_accel: return m.lateralAccel;
    case longitu_accel: return m.longitudinalAccel;
    case vertica_accel: return m.verticalAccel;
    case lateral_speed: return m.lateralSpeed;
    case longitu_speed: return m.longitudinalSpeed;
    case vertica_speed: return m.verticalSpeed;
    case yaw_position: {
      double yaw = degreesOf(m.yaw);
      if (c.headingFromZero && yaw < 0) yaw += 360.0;
      return yaw;
    }
    case roll_position: return degreesOf(m.roll);
    case pitch_position: return degreesOf(m.pitch);
    case yaw_speed: return rate(m.yawRate);
    case roll_speed: return rate(m.rollRate);
    case pitch_speed: return rate(m.pitchRate);
    case yaw_accel: return degreesOf(m.yawAccel);
    case roll_accel: return degreesOf(m.rollAccel);
    case pitch_accel: return degreesOf(m.pitchAccel);
    case speed: return m.speed;
    case rpm: return m.rpm;
    default: return std::nullopt;
  }
}

// Tolerance for a value that went through a 32-bit float on its way.
inline double floatTolerance(double expected) { return 1e-4 + std::fabs(expected) * 1e-5; }

}  // namespace portrelay::testing
