// F1 23/24 end to end through gamesim on loopback: during a steady turn, a
// steady pitch and a steady roll, each rotation rate equals the rate of change
// of its own attitude channel and the other two rates stay at zero.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "gamesim/udp_games_sim.h"
#include "sources/readers/network_games.h"
#include "support/game_fixtures.h"

namespace portrelay::readers {
namespace {

using namespace channel;
using namespace std::chrono_literals;

struct Manoeuvre {
  const char* name;
  double yawRate, pitchRate, rollRate;  // rad/s, from a level car heading 0.4 rad
};

constexpr Manoeuvre kManoeuvres[] = {
    {"turn right", 0.5, 0.0, 0.0},
    {"turn left", -0.5, 0.0, 0.0},
    {"pitch", 0.0, 0.3, 0.0},
    {"roll", 0.0, 0.0, -0.4},
};

constexpr double kStep = 0.02;  // s between samples
constexpr int kSamples = 8;     // centred around a level attitude

gamesim::MotionSample sampleOf(const Manoeuvre& m, int k) {
  gamesim::MotionSample s;
  s.time = 10.0 + kStep * k;
  const double t = kStep * (k - kSamples / 2);
  s.yaw = 0.4 + m.yawRate * t;
  s.pitch = m.pitchRate * t;
  s.roll = m.rollRate * t;
  s.yawRate = m.yawRate;
  s.pitchRate = m.pitchRate;
  s.rollRate = m.rollRate;
  return s;
}

double degrees(double radians) { return radians * 180.0 / gamesim::kPi; }

struct Reading {
  double yaw, pitch, roll;           // degrees
  double yawRate, pitchRate, rollRate;  // degrees per second
};

TEST(F1RotationRates, EachRateFollowsItsOwnAngle) {
  testing::IsolatedGames scope;
  const uint16_t port = testing::freeUdpPort();
  F1Reader reader(port);
  ASSERT_TRUE(reader.attach());
  gamesim::F1Sim game(port);
  ASSERT_TRUE(game.start());
  for (const uint16_t format : {gamesim::f1::kFormat2023, gamesim::f1::kFormat2024}) {
    game.setState(format);
    for (const Manoeuvre& m : kManoeuvres) {
      SCOPED_TRACE(::testing::Message() << format << " " << m.name);
      std::vector<Reading> readings;
      for (int k = 0; k < kSamples; ++k) {
        game.write(sampleOf(m, k));
        SampleRecord record;
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        bool arrived = false;
        while (!(arrived = reader.read(record)) && std::chrono::steady_clock::now() < deadline)
          std::this_thread::sleep_for(1ms);
        ASSERT_TRUE(arrived) << k;
        std::this_thread::sleep_for(5ms);  // the extended packet, if it came later
        reader.read(record);
        const double* d = record.data;
        readings.push_back({d[yaw_position], d[pitch_position], d[roll_position], d[yaw_speed], d[pitch_speed],
                            d[roll_speed]});
      }
      for (int k = 1; k + 1 < kSamples; ++k) {
        const Reading &before = readings[k - 1], &now = readings[k], &after = readings[k + 1];
        const auto changeRate = [](double a, double b) { return (b - a) / (2 * kStep); };
        const double tolerance = 0.01;  // deg/s: float rounding of the angles
        // The manoeuvre itself: the angles move at its rates.
        EXPECT_NEAR(changeRate(before.yaw, after.yaw), degrees(m.yawRate), tolerance) << k;
        EXPECT_NEAR(changeRate(before.pitch, after.pitch), degrees(m.pitchRate), tolerance) << k;
        EXPECT_NEAR(changeRate(before.roll, after.roll), degrees(m.rollRate), tolerance) << k;
        EXPECT_NEAR(now.yawRate, changeRate(before.yaw, after.yaw), tolerance) << k;
        EXPECT_NEAR(now.pitchRate, changeRate(before.pitch, after.pitch), tolerance) << k;
        EXPECT_NEAR(now.rollRate, changeRate(before.roll, after.roll), tolerance) << k;
      }
    }
  }
  game.stop();
  reader.detach();
}

}  // namespace
}  // namespace portrelay::readers
