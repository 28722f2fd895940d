// NoLimits 2's telemetry answers: framing, attitude, rates, gravity by
// rotation, leaky speeds, and the state kept between answers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "gamesim/nolimits2_sim.h"
#include "sources/readers/nolimits2.h"
#include "support/motion_expectations.h"

namespace portrelay::readers {
namespace {

using namespace channel;
using gamesim::LapMotion;
using gamesim::MotionSample;

constexpr double kDeg = 57.29577951308232;

std::vector<uint8_t> answerFor(const MotionSample& m, int32_t frame, int32_t state = gamesim::nl2::kPlaying) {
  return gamesim::nl2::encode({gamesim::nl2::kTelemetryAnswer, kNoLimitsTelemetryRequestId,
                               gamesim::nl2::telemetryData(m, state, frame)});
}

// An answer with a given rotation and felt acceleration (in g).
std::vector<uint8_t> answerWith(const Quaternion& q, int32_t frame, double ax = 0, double ay = 0, double az = 0) {
  std::vector<uint8_t> bytes = answerFor(MotionSample{}, frame);
  const auto putFloat = [&](size_t offset, double value) {
    const auto f = static_cast<float>(value);
    uint32_t raw;
    std::memcpy(&raw, &f, 4);
    for (int i = 0; i < 4; ++i) bytes[offset + static_cast<size_t>(i)] = static_cast<uint8_t>(raw >> (24 - 8 * i));
  };
  putFloat(57, q.x);
  putFloat(61, q.y);
  putFloat(65, q.z);
  putFloat(69, q.w);
  putFloat(73, ax);
  putFloat(77, ay);
  putFloat(81, az);
  return bytes;
}

Quaternion aboutX(double angle) { return {std::cos(angle / 2), std::sin(angle / 2), 0, 0}; }

bool decode(const std::vector<uint8_t>& answer, NoLimitsState& state, SampleRecord& record, double ms = 10.0) {
  return decodeNoLimitsAnswer({answer.data(), answer.size()}, ms, state, record);
}

TEST(NoLimitsAnswer, LapSample) {
  const MotionSample m = LapMotion().at(12.3);
  NoLimitsState state;
  SampleRecord record;
  ASSERT_TRUE(decode(answerFor(m, 42), state, record));
  for (int index : {yaw_position, roll_position, pitch_position, lateral_accel, longitu_accel, vertica_accel, speed}) {
    const double expected = *testing::expectedChannel(index, m, {});
    EXPECT_NEAR(record.data[index], expected, 2 * testing::floatTolerance(expected)) << channelName(index);
  }
  EXPECT_EQ(record.data[ldg_gear], 42.0);
  EXPECT_EQ(state.lastFrame, 42);
  const double g = std::hypot(record.data[lateral_gravi], record.data[longitu_gravi], record.data[vertica_gravi]);
  EXPECT_NEAR(g, 9.80665, 1e-5);  // a rotation keeps gravity's length
  EXPECT_DOUBLE_EQ(record.data[vertica_accel], record.data[vertica_accel_g] - record.data[vertica_gravi]);
}

TEST(NoLimitsAnswer, LevelAndStillMeansGravityStraightDown) {
  NoLimitsState state;
  SampleRecord record;
  ASSERT_TRUE(decode(answerWith({1, 0, 0, 0}, 1, 0, 1, 0), state, record));
  EXPECT_NEAR(record.data[vertica_gravi], 9.80665, 1e-12);
  EXPECT_NEAR(record.data[lateral_gravi], 0.0, 1e-12);
  EXPECT_NEAR(record.data[vertica_accel_g], 9.80665, 1e-12);
  EXPECT_NEAR(record.data[vertica_accel], 0.0, 1e-12);
}

// Gravity follows the car's up axis, not its heading: a car standing still
// feels only gravity, so its kinematic accelerations are 0 and its integrated
// speeds stay at rest, whichever way it points and however it leans. gamesim
// builds the felt acceleration from rotation matrices of its own.
TEST(NoLimitsAnswer, StandingCarAtAnyHeadingOrBank) {
  struct Attitude {
    double headingDeg, rollDeg, pitchDeg;
  };
  for (const Attitude a : {Attitude{0, 0, 0}, Attitude{90, 0, 0}, Attitude{180, 0, 0}, Attitude{-90, 0, 0},
                           Attitude{90, 30, 0}, Attitude{200, -25, 10}}) {
    SCOPED_TRACE(::testing::Message() << "heading " << a.headingDeg << " roll " << a.rollDeg << " pitch " << a.pitchDeg);
    MotionSample m;
    m.yaw = a.headingDeg / kDeg;
    m.roll = a.rollDeg / kDeg;
    m.pitch = a.pitchDeg / kDeg;
    NoLimitsState state;
    SampleRecord record;
    for (int32_t frame = 1; frame <= 500; ++frame) ASSERT_TRUE(decode(answerFor(m, frame), state, record));
    for (int index : {lateral_accel, longitu_accel, vertica_accel, lateral_speed, longitu_speed, vertica_speed})
      EXPECT_NEAR(record.data[index], 0.0, 1e-4) << channelName(index);
    const double lean = std::cos(m.roll) * std::cos(m.pitch);  // of the up axis from the car's
    EXPECT_NEAR(record.data[vertica_accel_g], 9.80665 * lean, 1e-4);
    EXPECT_NEAR(record.data[roll_position], a.rollDeg, 1e-3);
    EXPECT_NEAR(record.data[pitch_position], a.pitchDeg, 1e-3);
    if (a.rollDeg != 0.0) {
      EXPECT_GT(std::fabs(record.data[lateral_accel_g]), 4.0);  // the lean is felt sideways
    }
  }
}

TEST(NoLimitsAnswer, RejectedAnswersTouchNothing) {
  const MotionSample m = LapMotion().at(3.0);
  NoLimitsState state;
  SampleRecord record;
  ASSERT_TRUE(decode(answerFor(m, 7), state, record));
  std::vector<std::vector<uint8_t>> bad = {answerFor(m, 7), answerFor(m, 8, gamesim::nl2::kNotPlaying)};
  bad.push_back(answerFor(m, 9));
  bad.back()[2] = 5;  // not a telemetry answer
  bad.push_back(answerFor(m, 9));
  bad.back()[85] = 'X';
  bad.push_back(answerFor(m, 9));
  bad.back().pop_back();  // 85 bytes
  bad.push_back(answerWith({0, 0, 0, 0}, 9));
  bad.push_back(answerWith({NAN, 0, 0, 1}, 9));
  bad.push_back(answerWith({1, 0, 0, 0}, 9, INFINITY));
  for (size_t i = 0; i < bad.size(); ++i) {
    const SampleRecord before = record;
    const NoLimitsState kept = state;
    EXPECT_FALSE(decode(bad[i], state, record)) << i;
    EXPECT_EQ(std::memcmp(&before, &record, sizeof before), 0) << i;
    EXPECT_EQ(std::memcmp(&kept, &state, sizeof kept), 0) << i;
  }
}

TEST(NoLimitsAnswer, RatesFollowSmallStepsAndHoldOverLargeOnes) {
  NoLimitsState state;
  SampleRecord record;
  ASSERT_TRUE(decode(answerWith(aboutX(0.0), 1), state, record));
  EXPECT_EQ(record.data[pitch_speed], 0.0);  // nothing to compare with yet
  ASSERT_TRUE(decode(answerWith(aboutX(0.01), 2), state, record));
  const double first = 0.01 / 0.01 * 0.99 * 0.98;  // one step of the filter from rest
  EXPECT_NEAR(record.data[pitch_speed], first * kDeg, 1e-3);
  EXPECT_NEAR(record.data[fr_lft_susp_pos], 0.01, 1e-6);
  const double held = record.data[pitch_speed];
  ASSERT_TRUE(decode(answerWith(aboutX(0.01 + 1.0), 3), state, record));  // 57 degrees at once
  EXPECT_EQ(record.data[pitch_speed], held);
  EXPECT_NEAR(record.data[fr_lft_susp_pos], 1.0, 1e-6);
  ASSERT_TRUE(decode(answerWith(aboutX(0.01 + 1.0), 4), state, record));  // no rotation at all
  EXPECT_EQ(record.data[pitch_speed], held);
}

// A small step of one angle of gamesim's car moves that angle's rate alone
// (one step of the filter from rest), with the sign of the angle's change,
// whichever way the car points.
TEST(NoLimitsAnswer, EachRateFollowsItsOwnAngle) {
  struct Step {
    const char* name;
    double MotionSample::*angle;
    int position, rate;
  };
  const Step steps[] = {{"yaw", &MotionSample::yaw, yaw_position, yaw_speed},
                        {"pitch", &MotionSample::pitch, pitch_position, pitch_speed},
                        {"roll", &MotionSample::roll, roll_position, roll_speed}};
  for (const Step& s : steps) {
    for (const double heading : {0.0, 1.5707963267948966, -2.5}) {
      for (const double step : {0.01, -0.01}) {
        SCOPED_TRACE(::testing::Message() << s.name << " heading " << heading << " step " << step);
        NoLimitsState state;
        SampleRecord record;
        MotionSample m;
        m.yaw = heading;
        ASSERT_TRUE(decode(answerFor(m, 1), state, record));
        const double before = record.data[s.position];
        m.*s.angle += step;
        ASSERT_TRUE(decode(answerFor(m, 2), state, record));
        const double change = record.data[s.position] - before;  // degrees in one 10-ms frame
        ASSERT_NEAR(change, step * kDeg, 1e-3);
        const double expected = change / 0.01 * 0.99 * 0.98;
        for (const int rate : {yaw_speed, pitch_speed, roll_speed})
          EXPECT_NEAR(record.data[rate], rate == s.rate ? expected : 0.0, 0.01) << channelName(rate);
      }
    }
  }
}

TEST(NoLimitsAnswer, SpeedsLeakAndSettle) {
  NoLimitsState state;
  SampleRecord record;
  int32_t frame = 1;
  // A steady lateral push of 1 g for 0.1 s (ten answers 10 ms apart).
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(decode(answerWith({1, 0, 0, 0}, frame++, -1.0, 1.0), state, record));
  EXPECT_GT(record.data[lateral_speed], 0.0);
  EXPECT_NEAR(record.data[lateral_accel], 9.80665, 1e-5);
  // Then none: the filtered acceleration fades, and once it has been quiet
  // for more than 50 answers and the speed is small, it is set to rest.
  bool rested = false;
  for (int i = 0; i < 3000 && !rested; ++i) {
    ASSERT_TRUE(decode(answerWith({1, 0, 0, 0}, frame++, 0.0, 1.0), state, record));
    rested = record.data[lateral_speed] == 0.0 && state.heldSpeed[0] == 0.0;
  }
  EXPECT_TRUE(rested);
}

TEST(NoLimitsAnswer, ALongGapIntegratesNothing) {
  NoLimitsState state;
  SampleRecord record;
  ASSERT_TRUE(decode(answerWith({1, 0, 0, 0}, 1, -2.0, 1.0), state, record, 3.6e6));  // an hour since the last
  EXPECT_EQ(record.data[lateral_speed], 0.0);
  ASSERT_TRUE(decode(answerWith({1, 0, 0, 0}, 2, -2.0, 1.0), state, record, 10.0));
  EXPECT_GT(record.data[lateral_speed], 0.0);
  EXPECT_LT(record.data[lateral_speed], 1.0);
}

// ---- the stream ----

struct Stream {
  NoLimitsStream stream;
  std::array<uint8_t, kNoLimitsAnswerLength> answer{};
  bool feed(const std::vector<uint8_t>& bytes) {
    EXPECT_LE(bytes.size(), stream.room());
    std::memcpy(stream.tail(), bytes.data(), bytes.size());
    stream.appended(bytes.size());
    return stream.takeNewestAnswer(answer);
  }
  int32_t frame() const { return answer[13] << 24 | answer[14] << 16 | answer[15] << 8 | answer[16]; }
};

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(NoLimitsStream, AnswerSplitOverTwoReceives) {
  Stream s;
  const auto a = answerFor(MotionSample{}, 5);
  EXPECT_FALSE(s.feed({a.begin(), a.begin() + 40}));
  EXPECT_TRUE(s.feed({a.begin() + 40, a.end()}));
  EXPECT_EQ(s.frame(), 5);
  EXPECT_EQ(s.stream.size(), 0u);
}

TEST(NoLimitsStream, NewestOfSeveralAndOthersSkipped) {
  Stream s;
  const auto ok = gamesim::nl2::encode({gamesim::nl2::kOk, 1, {}});
  const auto tail = answerFor(MotionSample{}, 9);
  EXPECT_TRUE(s.feed(join({{'x', 'y', 'L'}, answerFor(MotionSample{}, 7), ok, answerFor(MotionSample{}, 8),
                           {tail.begin(), tail.begin() + 20}})));
  EXPECT_EQ(s.frame(), 8);
  EXPECT_EQ(s.stream.size(), 20u);  // the start of the next answer waits
}

TEST(NoLimitsStream, ResynchronisesAfterAFalseStart) {
  Stream s;
  std::vector<uint8_t> bogus = {'N', 0, 6, 0, 0, 0, 0, 0xFF, 0xFF};  // claims 65535 bytes of data
  std::vector<uint8_t> broken = answerFor(MotionSample{}, 3);
  broken.back() = 'Q';  // no closing 'L'
  EXPECT_TRUE(s.feed(join({bogus, broken, answerFor(MotionSample{}, 4)})));
  EXPECT_EQ(s.frame(), 4);
  EXPECT_EQ(s.stream.size(), 0u);
}

TEST(NoLimitsStream, GarbageNeverFillsIt) {
  Stream s;
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(s.feed(std::vector<uint8_t>(1000, 'N')));
  EXPECT_LT(s.stream.size(), 10u);
  // What is left may look like the start of a long message: the answers that
  // follow are found once it has proved not to be one.
  int feeds = 1;
  while (!s.feed(answerFor(MotionSample{}, feeds)) && feeds < 30) ++feeds;
  EXPECT_LT(feeds, 30);
  EXPECT_EQ(s.frame(), feeds);
}

}  // namespace
}  // namespace portrelay::readers
