#include "sources/telemetry_math.h"

#include <cmath>

namespace portrelay {

void splitGravity(SampleRecord& record, Completion completion, double pi) {
  using namespace channel;
  double* d = record.data;
  const double roll = toRadians(d[roll_position], pi);
  const double pitch = toRadians(d[pitch_position], pi);
  d[longitu_gravi] = std::sin(pitch) * kGravity;
  d[lateral_gravi] = std::cos(pitch) * std::sin(roll) * kGravity;
  d[vertica_gravi] = std::cos(pitch) * std::cos(roll) * kGravity;
  if (completion == Completion::Kinematic) {
    d[lateral_accel_g] = d[lateral_gravi] + d[lateral_accel];
    d[longitu_accel_g] = d[longitu_gravi] + d[longitu_accel];
    d[vertica_accel_g] = d[vertica_gravi] + d[vertica_accel];
  } else {
    d[lateral_accel] = d[lateral_accel_g] - d[lateral_gravi];
    d[longitu_accel] = d[longitu_accel_g] - d[longitu_gravi];
    d[vertica_accel] = d[vertica_accel_g] - d[vertica_gravi];
  }
}

}  // namespace portrelay
