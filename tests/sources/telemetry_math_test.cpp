#include "sources/telemetry_math.h"

#include <gtest/gtest.h>

#include <cmath>

namespace portrelay {
namespace {

using namespace channel;

struct GravityCase {
  double roll, pitch;  // degrees
  double lateral, longitudinal, vertical;
};

TEST(SplitGravity, ComponentsOfRollAndPitch) {
  const double g = kGravity;
  const GravityCase cases[] = {
      {0, 0, 0, 0, g},
      {90, 0, g, 0, 0},
      {-90, 0, -g, 0, 0},
      {0, 90, 0, g, 0},
      {30, 0, g / 2, 0, g * std::sqrt(3.0) / 2},
      {0, -30, 0, -g / 2, g * std::sqrt(3.0) / 2},
      {30, 60, g / 4, g * std::sqrt(3.0) / 2, g * std::sqrt(3.0) / 4},
  };
  for (const auto& c : cases) {
    SampleRecord record;
    record.data[roll_position] = c.roll;
    record.data[pitch_position] = c.pitch;
    splitGravity(record, Completion::Kinematic);
    EXPECT_NEAR(record.data[lateral_gravi], c.lateral, 1e-9) << c.roll << " " << c.pitch;
    EXPECT_NEAR(record.data[longitu_gravi], c.longitudinal, 1e-9) << c.roll << " " << c.pitch;
    EXPECT_NEAR(record.data[vertica_gravi], c.vertical, 1e-9) << c.roll << " " << c.pitch;
  }
}

TEST(SplitGravity, LevelKinematicAddsGravity) {
  SampleRecord record;
  record.data[lateral_accel] = 1.5;
  record.data[longitu_accel] = -2.0;
  record.data[vertica_accel] = 0.25;
  splitGravity(record, Completion::Kinematic);
  EXPECT_EQ(record.data[lateral_gravi], 0.0);
  EXPECT_EQ(record.data[longitu_gravi], 0.0);
  EXPECT_EQ(record.data[vertica_gravi], 9.80665);
  EXPECT_EQ(record.data[lateral_accel_g], 1.5);
  EXPECT_EQ(record.data[longitu_accel_g], -2.0);
  EXPECT_EQ(record.data[vertica_accel_g], 0.25 + 9.80665);
  EXPECT_EQ(record.data[lateral_accel], 1.5);  // the game's own values stay
}

TEST(SplitGravity, ProperRemovesGravity) {
  SampleRecord record;
  record.data[roll_position] = 90.0;
  record.data[lateral_accel_g] = 10.0;
  record.data[vertica_accel_g] = 1.0;
  splitGravity(record, Completion::Proper, kFullPi);
  EXPECT_NEAR(record.data[lateral_accel], 10.0 - 9.80665, 1e-12);
  EXPECT_NEAR(record.data[vertica_accel], 1.0, 1e-12);
  EXPECT_EQ(record.data[lateral_accel_g], 10.0);
}

TEST(DegreeConversion, UsesTheGivenPi) {
  EXPECT_EQ(toDegrees(1.0), 1.0 / 3.14159265358979 * 180.0);
  EXPECT_EQ(toDegrees(1.0, kFullPi), 1.0 / 3.141592653589793 * 180.0);
  EXPECT_NE(toDegrees(1.0), toDegrees(1.0, kFullPi));
  EXPECT_EQ(toRadians(180.0, kFullPi), kFullPi);
}

}  // namespace
}  // namespace portrelay
