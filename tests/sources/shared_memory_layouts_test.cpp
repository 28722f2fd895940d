// The shared-memory readers' decoding, on pages written by gamesim into plain
// buffers: channel mapping, new-data rules and states.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gamesim/assetto_corsa_sim.h"
#include "gamesim/pcars2_sim.h"
#include "gamesim/raceroom_sim.h"
#include "gamesim/rfactor2_sim.h"
#include "gamesim/truck_sim_sim.h"
#include "sources/readers/assetto_corsa.h"
#include "sources/readers/pcars2.h"
#include "sources/readers/raceroom.h"
#include "sources/readers/rfactor2.h"
#include "sources/readers/truck_sim.h"
#include "support/motion_expectations.h"

namespace portrelay::readers {
namespace {

using namespace channel;
using gamesim::LapMotion;
using gamesim::LayoutWriter;
using testing::expectedChannel;

struct Page {
  std::vector<uint8_t> bytes;
  explicit Page(size_t size) : bytes(size, 0) {}
  LayoutWriter writer() { return LayoutWriter(bytes.data(), bytes.size()); }
  ByteView view() const { return {bytes.data(), bytes.size()}; }
};

bool sameRecord(const SampleRecord& a, const SampleRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

SampleRecord filledRecord() {
  SampleRecord record;
  for (int i = 0; i < kGameDataCount; ++i) record.data[i] = 1000.0 + i;
  return record;
}

void expectChannels(const SampleRecord& record, const gamesim::MotionSample& m, std::initializer_list<int> channels,
                    bool singlePrecision, testing::ChannelConventions conventions = {}) {
  for (int index : channels) {
    const double expected = *expectedChannel(index, m, conventions);
    const double tolerance = singlePrecision ? testing::floatTolerance(expected) : 1e-9;
    EXPECT_NEAR(record.data[index], expected, tolerance) << channelName(index) << " at t=" << m.time;
  }
}

TEST(AssettoCorsaPage, ChannelsOfALapSample) {
  Page page(kAcPhysicsSize);
  const auto m = LapMotion().at(17.3);
  gamesim::ac::writePhysics(page.writer(), m, 5);
  SampleRecord record;
  int32_t last = 0;
  ASSERT_TRUE(copyAcPhysics(page.view(), last, record));
  EXPECT_EQ(last, 5);
  expectChannels(record,
                 m,
                 {lateral_accel, longitu_accel, vertica_accel, lateral_speed, longitu_speed, vertica_speed,
                  yaw_position, roll_position, pitch_position, yaw_speed, roll_speed, pitch_speed},
                 true);
}

TEST(AssettoCorsaPage, UnchangedCounterTouchesNothing) {
  Page page(kAcPhysicsSize);
  gamesim::ac::writePhysics(page.writer(), LapMotion().at(1.0), 9);
  SampleRecord record = filledRecord();
  int32_t last = 0;
  ASSERT_TRUE(copyAcPhysics(page.view(), last, record));
  const SampleRecord before = record;
  gamesim::ac::writePhysics(page.writer(), LapMotion().at(2.0), 9);  // new values, same counter
  EXPECT_FALSE(copyAcPhysics(page.view(), last, record));
  EXPECT_TRUE(sameRecord(record, before));
}

TEST(AssettoCorsaPage, FreshPageWithCounterZeroIsNotNew) {
  Page page(kAcPhysicsSize);
  SampleRecord record = filledRecord();
  const SampleRecord before = record;
  int32_t last = 0;
  EXPECT_FALSE(copyAcPhysics(page.view(), last, record));
  EXPECT_TRUE(sameRecord(record, before));
}

TEST(AssettoCorsaPage, SmallPagesAreRefused) {
  Page physics(kAcPhysicsSize - 1);
  gamesim::ac::writePhysics(physics.writer(), LapMotion().at(1.0), 3);
  SampleRecord record = filledRecord();
  const SampleRecord before = record;
  int32_t last = 0;
  EXPECT_FALSE(copyAcPhysics(physics.view(), last, record));
  EXPECT_TRUE(sameRecord(record, before));
  Page graphics(kAcGraphicsSize);
  gamesim::ac::writeGraphics(graphics.writer(), 1, gamesim::ac::kLive);
  EXPECT_EQ(acGraphicsStatus(graphics.view()), 2);
  EXPECT_EQ(acGraphicsStatus({graphics.bytes.data(), 8}), -1);
}

TEST(RaceRoomMemory, ChannelsOfALapSample) {
  Page memory(kRaceRoomSize);
  const auto m = LapMotion().at(41.0);
  gamesim::r3e::writeSample(memory.writer(), m);
  ASSERT_TRUE(raceRoomDriving(memory.view()));
  SampleRecord record;
  copyRaceRoom(memory.view(), record);
  expectChannels(record,
                 m,
                 {lateral_accel, longitu_accel, vertica_accel, lateral_speed, longitu_speed, vertica_speed,
                  yaw_position, roll_position, pitch_position, yaw_speed, roll_speed, pitch_speed, yaw_accel,
                  roll_accel, pitch_accel},
                 false);
}

TEST(RaceRoomMemory, PausedMenusAndReplayAreNotDriving) {
  using namespace gamesim::r3e;
  const std::pair<int32_t, bool> states[] = {{kDriving, true}, {kPaused, false}, {kInMenus, false}, {kInReplay, false}};
  for (const auto& [state, driving] : states) {
    Page memory(kRaceRoomSize);
    writeState(memory.writer(), state);
    EXPECT_EQ(raceRoomDriving(memory.view()), driving) << state;
  }
  Page small(kRaceRoomSize - 8);
  EXPECT_FALSE(raceRoomDriving(small.view()));
}

TEST(ProjectCarsMemory, ChannelsOnlyWhilePlaying) {
  Page memory(kProjectCarsSize);
  const auto m = LapMotion().at(3.3);
  gamesim::pcars2::writeSample(memory.writer(), m, gamesim::pcars2::kPlaying);
  ASSERT_TRUE(projectCarsPlaying(memory.view()));
  SampleRecord record;
  copyProjectCars(memory.view(), record);
  expectChannels(record,
                 m,
                 {lateral_accel, longitu_accel, vertica_accel, lateral_speed, longitu_speed, vertica_speed,
                  yaw_position, roll_position, pitch_position, yaw_speed, roll_speed, pitch_speed},
                 true);
  gamesim::pcars2::writeSample(memory.writer(), m, gamesim::pcars2::kPaused);
  EXPECT_FALSE(projectCarsPlaying(memory.view()));
  gamesim::pcars2::writeSample(memory.writer(), m, gamesim::pcars2::kMenu);
  EXPECT_FALSE(projectCarsPlaying(memory.view()));
}

TEST(RFactor2Page, QuaternionOfEachBranch) {
  struct Case {
    double m[9];
    Quaternion q;
  };
  const Case cases[] = {
      {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 0, 0, 0}},    // identity: trace branch
      {{1, 0, 0, 0, -1, 0, 0, 0, -1}, {0, 1, 0, 0}},  // half turn about x
      {{-1, 0, 0, 0, 1, 0, 0, 0, -1}, {0, 0, 1, 0}},  // about y
      {{-1, 0, 0, 0, -1, 0, 0, 0, 1}, {0, 0, 0, 1}},  // about z
  };
  for (const auto& c : cases) {
    const Quaternion q = quaternionFromMatrix(c.m);
    EXPECT_NEAR(q.w, c.q.w, 1e-12);
    EXPECT_NEAR(q.x, c.q.x, 1e-12);
    EXPECT_NEAR(q.y, c.q.y, 1e-12);
    EXPECT_NEAR(q.z, c.q.z, 1e-12);
  }
}

TEST(RFactor2Page, AttitudeRoundTripOverTheLap) {
  Page page(kRFactor2Size);
  double last = 0.0;
  for (double t = 0.5; t < LapMotion::kLapSeconds; t += 0.7) {
    const auto m = LapMotion().at(t);
    gamesim::rf2::writeSample(page.writer(), m, t);
    SampleRecord record;
    ASSERT_TRUE(copyRFactor2(page.view(), last, record));
    expectChannels(record,
                   m,
                   {yaw_position, roll_position, pitch_position, lateral_accel, longitu_accel, vertica_accel,
                    lateral_speed, longitu_speed, vertica_speed, yaw_speed, roll_speed, pitch_speed, yaw_accel,
                    roll_accel, pitch_accel},
                   false);
  }
}

TEST(RFactor2Page, StampMustGrow) {
  Page page(kRFactor2Size);
  gamesim::rf2::writeSample(page.writer(), LapMotion().at(2.0), 2.0);
  SampleRecord record = filledRecord();
  double last = 0.0;
  ASSERT_TRUE(copyRFactor2(page.view(), last, record));
  const SampleRecord before = record;
  gamesim::rf2::writeSample(page.writer(), LapMotion().at(3.0), 2.0);  // equal stamp
  EXPECT_FALSE(copyRFactor2(page.view(), last, record));
  gamesim::rf2::writeSample(page.writer(), LapMotion().at(3.0), 1.0);  // earlier stamp
  EXPECT_FALSE(copyRFactor2(page.view(), last, record));
  EXPECT_TRUE(sameRecord(record, before));
  gamesim::rf2::writeSample(page.writer(), LapMotion().at(3.0), 2.004);
  EXPECT_TRUE(copyRFactor2(page.view(), last, record));
  EXPECT_EQ(last, 2.004);
}

TEST(RFactor2Page, RollAtAQuarterTurnStaysFinite) {
  Page page(kRFactor2Size);
  gamesim::MotionSample m;
  m.roll = gamesim::kPi / 2;
  gamesim::rf2::writeSample(page.writer(), m, 1.0);
  SampleRecord record;
  double last = 0.0;
  ASSERT_TRUE(copyRFactor2(page.view(), last, record));
  EXPECT_TRUE(std::isfinite(record.data[roll_position]));
  EXPECT_NEAR(record.data[roll_position], 90.0, 1e-6);
}

TEST(TruckSimMemory, ChannelsOfALapSampleFromUnalignedFloats) {
  Page memory(kTruckSimSize);
  const auto m = LapMotion().at(50.0);
  gamesim::scs::writeSample(memory.writer(), m, true);
  SampleRecord record;
  ASSERT_TRUE(copyTruckSim(memory.view(), record));
  testing::ChannelConventions conventions;
  conventions.headingFromZero = true;
  expectChannels(record,
                 m,
                 {lateral_accel, longitu_accel, vertica_accel, lateral_speed, longitu_speed, vertica_speed,
                  yaw_position, roll_position, pitch_position, yaw_speed, roll_speed, pitch_speed, yaw_accel,
                  roll_accel, pitch_accel, speed, rpm},
                 true,
                 conventions);
}

TEST(TruckSimMemory, NotRunningTouchesNothing) {
  Page memory(kTruckSimSize);
  gamesim::scs::writeSample(memory.writer(), LapMotion().at(5.0), false);
  SampleRecord record = filledRecord();
  const SampleRecord before = record;
  EXPECT_FALSE(copyTruckSim(memory.view(), record));
  EXPECT_TRUE(sameRecord(record, before));
}

TEST(TruckSimMemory, AttitudeLimits) {
  struct Case {
    float heading, pitch, roll;  // turns, as the memory holds them
    double yaw, pitchDeg, rollDeg;
  };
  const Case cases[] = {
      {1.2f, 0.3f, 0.0f, 360.0, 90.0, 0.0},
      {-0.1f, -0.3f, 0.6f, 0.0, -90.0, -180.0},
      {0.5f, 0.1f, -0.6f, 180.0, 36.0, 180.0},
  };
  for (const auto& c : cases) {
    Page memory(kTruckSimSize);
    memory.writer().put<uint8_t>(0, 1);
    memory.writer().put<float>(25, c.heading);
    memory.writer().put<float>(29, c.pitch);
    memory.writer().put<float>(33, c.roll);
    SampleRecord record;
    ASSERT_TRUE(copyTruckSim(memory.view(), record));
    EXPECT_NEAR(record.data[yaw_position], c.yaw, 1e-4) << c.heading;
    EXPECT_NEAR(record.data[pitch_position], c.pitchDeg, 1e-4) << c.pitch;
    EXPECT_NEAR(record.data[roll_position], c.rollDeg, 1e-4) << c.roll;
  }
}

}  // namespace
}  // namespace portrelay::readers
